#include "support/SimModem.h"

namespace dialvane::sim {

using site::Action;

void SimModem::call(site::Site& site, Millis when) {
    site_ = &site;
    ringsThisCall_ = 0;
    at(when, Event::Ring);
}

void SimModem::at(Millis when, Event event) {
    events_.emplace(when, event);
    actions_.push_back({when, Action::Kind::Timer, {}});
}

void SimModem::say(Millis when, const QByteArray& text) {
    actions_.push_back({when, Action::Kind::Bytes, text});
}

void SimModem::onTimer(Millis now) {
    while (!events_.empty() && events_.begin()->first <= now) {
        const Event event = events_.begin()->second;
        events_.erase(events_.begin());
        if (event == Event::Ring)
            ring(now);
        else if (!vanished_ && site_) {
            // Answered: the site's own call begins now.
            online_ = true;
            say(now, "\r\nCONNECT 9600\r\n");
            actions_.push_back({now, Action::Kind::CarrierUp, {}});
            site_->start();
            takeSiteActions();
        }
    }
    if (online_ && site_) {
        site_->onTimer(now);
        takeSiteActions();
    }
}

void SimModem::ring(Millis now) {
    if (vanished_ || online_ || !site_)
        return;
    ++rings_;
    ++ringsThisCall_;
    say(now, "\r\nRING\r\n");
    if (autoAnswer_ && !hung_) {
        at(now + Millis(2000), Event::Answer);
        return;
    }
    if (ringsThisCall_ < kRingsBeforeTheSiteGivesUp)
        at(now + kRingInterval, Event::Ring);
    else
        site_ = nullptr; // the caller gives up
}

void SimModem::onStationBytes(Millis now, const QByteArray& bytes) {
    if (vanished_)
        return;
    if (online_) {
        site_->onStationBytes(now, bytes);
        takeSiteActions();
        return;
    }
    typed_ += bytes;
    for (qsizetype end; (end = typed_.indexOf('\r')) >= 0;) {
        const QByteArray line = typed_.left(end);
        typed_.remove(0, end + 1);
        command(now, line);
    }
}

void SimModem::command(Millis now, const QByteArray& line) {
    commands_.push_back(line);
    if (hung_)
        return;
    QByteArray compact = line.toUpper();
    compact.replace(' ', "");
    if (compact == "ATZ")
        autoAnswer_ = false;
    else if (compact == "ATS0=1")
        autoAnswer_ = true;
    else if (compact == "ATS0=0")
        autoAnswer_ = false;
    const bool known = compact == "AT" || compact == "ATZ" || compact.startsWith("ATS0=");
    say(now + kAnswerDelay, line + "\r" + (known ? "\r\nOK\r\n" : "\r\nERROR\r\n"));
}

void SimModem::onStationDtr(Millis now, bool raised) {
    if (vanished_)
        return;
    if (!raised && hung_ && dtrClearsHang_)
        hung_ = false;
    if (!raised && online_) {
        online_ = false;
        autoAnswer_ = autoAnswer_ && !resetsOnHangUp;
        actions_.push_back({now, Action::Kind::CarrierDown, {}});
        site_->onStationDtr(now, false);
        takeSiteActions();
        site_ = nullptr;
    }
}

void SimModem::takeSiteActions() {
    for (const Action& action : site_->takeActions()) {
        actions_.push_back(action);
        if (action.kind == Action::Kind::CarrierDown && online_) {
            // The site hung up: the modem says so once back in command mode.
            online_ = false;
            autoAnswer_ = autoAnswer_ && !resetsOnHangUp;
            say(action.at + kAnswerDelay, "\r\nNO CARRIER\r\n");
        }
    }
}

std::vector<Action> SimModem::takeActions() {
    std::vector<Action> taken;
    taken.swap(actions_);
    return taken;
}

} // namespace dialvane::sim
