#include "site/Site.h"

#include "link/Block.h"

namespace dialvane::site {

QByteArray headerBlock(const QByteArray& restoNum, char transaction, char type) {
    return BuildBlock(restoNum.left(6).leftJustified(6, ' ') + transaction + type);
}

Site::Site(SiteScript script) : script_(std::move(script)) {}

void Site::start() {
    carrier_ = true;
    actions_.push_back({script_.callAt, Action::Kind::CarrierUp, {}});
    actions_.push_back({script_.callAt + script_.firstBlockAfter, Action::Kind::Timer, {}});
    if (script_.dropAfterBytes == 0)
        hangUp(script_.callAt + script_.firstBlockAfter, Outcome::Dropped);
}

std::vector<Action> Site::takeActions() {
    std::vector<Action> taken;
    taken.swap(actions_);
    return taken;
}

void Site::onTimer(Millis now) {
    if (outcome_ != Outcome::Running)
        return;
    if (state_ == State::Idle && now >= script_.callAt + script_.firstBlockAfter) {
        headersLeft_ = script_.headersN;
        state_ = State::Header;
        sendCurrent(now);
        return;
    }
    if (giveUpAt_ >= Millis(0) && now >= giveUpAt_)
        hangUp(now, Outcome::GaveUp);
}

void Site::onStationDtr(Millis now, bool raised) {
    if (raised || state_ == State::Idle)
        return;
    // The site's modem sees the station's modem hang up: during the exchange, or while the
    // site lingers on the line after it (its own hang-up still to come).
    if (outcome_ == Outcome::Running)
        hangUp(now, Outcome::HungUpByStation);
    else if (lingering_)
        actions_.push_back({now, Action::Kind::CarrierDown, {}});
    lingering_ = false;
}

void Site::onStationBytes(Millis now, const QByteArray& bytes) {
    if (outcome_ != Outcome::Running || state_ == State::Idle)
        return;
    long allowed = 0;
    const bool drop = countBytes(now, bytes.size(), &allowed);
    bytesReceived_ += allowed;
    if (drop) {
        hangUp(now, Outcome::Dropped);
        return;
    }
    armGiveUp(now);
    if (state_ == State::Header || state_ == State::Data || state_ == State::End) {
        for (char c : bytes)
            if (c == ACK || c == NAK)
                answerSending(now, c);
        return;
    }
    inbox_ += bytes;
    takeFetchedBytes(now);
}

// ---- Sending a file, or the header of either transaction -----------------------------------

void Site::sendCurrent(Millis now) {
    armGiveUp(now);
    const Millis at = now + script_.answerDelay;
    if (state_ == State::Header) {
        const char code = headersLeft_ > 0 ? 'N' : script_.transaction;
        log_.push_back({at, 0, true, QByteArray("header ") + code});
        send(at, headerBlock(script_.restoNum, code, script_.type));
        return;
    }
    const bool end = state_ == State::End;
    const int number = currentNumber();
    QByteArray block = BuildBlock(end ? kEndMarker : script_.records[record_]);
    if (number == script_.silentBlock && !faultDone_[1]) {
        faultDone_[1] = true;
        log_.push_back({at, number, true, "silent"});
        return;
    }
    if (number == script_.nakBlock && !faultDone_[0]) {
        faultDone_[0] = true;
        block[0] = 'X';
        log_.push_back({at, number, true, "broken"});
    } else if (number == script_.garbageBlock && !faultDone_[2]) {
        faultDone_[2] = true;
        block = QByteArray(1, STX) + "garbage" + QByteArray(1, ETX);
        log_.push_back({at, number, true, "garbage"});
    } else {
        log_.push_back({at, number, true, end ? "end" : "data"});
    }
    send(at, block);
}

int Site::currentNumber() const {
    switch (state_) {
    case State::Data:
        return static_cast<int>(record_ + 1);
    case State::End:
        return static_cast<int>(script_.records.size() + 1);
    default:
        return 0;
    }
}

void Site::answerSending(Millis now, char answer) {
    log_.push_back({now, currentNumber(), false, answer == NAK ? "NAK" : "ACK"});
    if (answer == NAK) {
        ++failures_;
        sendCurrent(now);
        return;
    }
    switch (state_) {
    case State::Header:
        if (headersLeft_ > 0) {
            --headersLeft_;
        } else if (sending()) {
            state_ = script_.records.empty() ? State::End : State::Data;
        } else {
            state_ = State::FileAck;
            files_.emplace_back();
            return;
        }
        break;
    case State::Data:
        if (++record_ == script_.records.size())
            state_ = State::End;
        break;
    case State::End:
        hangUp(now + script_.hangUpAfter, Outcome::Completed);
        return;
    default:
        return;
    }
    sendCurrent(now);
}

void Site::send(Millis at, const QByteArray& bytes) {
    if (outcome_ != Outcome::Running)
        return;
    long allowed = 0;
    const bool drop = countBytes(at, bytes.size(), &allowed);
    if (allowed > 0)
        actions_.push_back({at, Action::Kind::Bytes, bytes.left(allowed)});
    bytesSent_ += allowed;
    if (drop)
        hangUp(at, Outcome::Dropped);
}

// ---- Fetching the station's files ------------------------------------------------------------

void Site::takeFetchedBytes(Millis now) {
    for (;;) {
        if (state_ == State::FileAck) {
            if (inbox_.isEmpty())
                return;
            if (inbox_[0] == ACK)
                state_ = State::FileBlock;
            inbox_.remove(0, 1);
            continue;
        }
        if (state_ != State::FileBlock)
            return;
        const qsizetype start = inbox_.indexOf(STX);
        if (start < 0) {
            inbox_.clear();
            return;
        }
        inbox_.remove(0, start);
        if (inbox_.size() < kBlockSize)
            return;
        const QByteArray block = inbox_.left(kBlockSize);
        inbox_.remove(0, kBlockSize);
        const int number = ++block_;
        const QByteArray field = block.mid(1, kRecordWidth);

        if (!IsValidBlock(block)) {
            log_.push_back({now, number, false, "NAK (framing)"});
            answer(now, QByteArray(1, NAK));
        } else if (number == script_.silentBlock) {
            log_.push_back({now, number, false, "silent"});
        } else if (number == script_.nakBlock) {
            ++failures_;
            log_.push_back({now, number, false, "NAK"});
            answer(now, QByteArray(1, NAK));
        } else if (number == script_.garbageBlock) {
            ++failures_;
            log_.push_back({now, number, false, "garbage"});
            answer(now, QByteArray(1, ACK) + "Z");
        } else if (isEndRecord(field)) {
            log_.push_back({now, number, false, "end ACK"});
            answer(now, QByteArray(1, ACK));
            if (files_.size() == 3) {
                hangUp(now + script_.answerDelay + script_.hangUpAfter, Outcome::Completed);
                return;
            }
            files_.emplace_back();
            state_ = State::FileAck;
        } else {
            files_.back().push_back(field);
            log_.push_back({now, number, false, "ACK"});
            answer(now, QByteArray(1, ACK));
        }
    }
}

void Site::answer(Millis now, const QByteArray& bytes) {
    send(now + script_.answerDelay, bytes);
}

// ---- The line --------------------------------------------------------------------------------

void Site::hangUp(Millis at, Outcome outcome) {
    if (outcome_ != Outcome::Running)
        return;
    outcome_ = outcome;
    state_ = State::Done;
    carrier_ = false;
    lingering_ = true; // until the carrier goes at `at`, or the station hangs up first
    actions_.push_back({at, Action::Kind::CarrierDown, {}});
}

void Site::armGiveUp(Millis now) {
    giveUpAt_ = now + script_.giveUpAfter;
    actions_.push_back({giveUpAt_, Action::Kind::Timer, {}});
}

bool Site::countBytes(Millis /*at*/, long count, long* allowed) {
    if (script_.dropAfterBytes < 0) {
        *allowed = count;
        return false;
    }
    const long remaining = script_.dropAfterBytes - crossed_;
    if (count < remaining) {
        crossed_ += count;
        *allowed = count;
        return false;
    }
    *allowed = remaining;
    crossed_ = script_.dropAfterBytes;
    return true;
}

} // namespace dialvane::site
