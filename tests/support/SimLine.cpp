#include "support/SimLine.h"

namespace dialvane::sim {

void SimLine::open(const LineSettings&) {
    open_ = true;
    stop_ = false;
    SetDTR(true);
}

void SimLine::close() {
    open_ = false;
    dtr_ = false;
}

void SimLine::Output(const QByteArray& bytes) {
    transcript_.push_back({Event::Kind::StationSent, now_, bytes, false});
    if (peer_) {
        peer_->onStationBytes(now_, bytes);
        collect();
    }
}

QByteArray SimLine::Input() {
    QByteArray bytes;
    bytes.swap(inbox_);
    return bytes;
}

void SimLine::SetDTR(bool raised) {
    if (raised == dtr_)
        return;
    dtr_ = raised;
    transcript_.push_back({Event::Kind::Dtr, now_, {}, raised});
    if (peer_) {
        peer_->onStationDtr(now_, raised);
        collect();
    }
}

void SimLine::schedule(const Action& action) {
    queue_.push(action);
}

void SimLine::collect() {
    queue_.collect(*peer_);
}

Line::Wake SimLine::waitUntil(Millis deadline) {
    for (;;) {
        if (stop_)
            return Wake::Stop;
        const Millis next = queue_.empty() ? Millis::max() : queue_.top().at;
        if (stopAt_ <= deadline && stopAt_ <= next) {
            now_ = std::max(now_, stopAt_);
            stop_ = true;
            stopAt_ = Millis::max();
            return Wake::Stop;
        }
        if (queue_.empty() || queue_.top().at > deadline) {
            now_ = std::max(now_, deadline);
            return Wake::Deadline;
        }
        const Action action = queue_.pop();
        now_ = std::max(now_, action.at);
        switch (action.kind) {
        case Action::Kind::Bytes:
            inbox_ += action.bytes;
            transcript_.push_back({Event::Kind::StationReceived, now_, action.bytes, false});
            return Wake::Data;
        case Action::Kind::CarrierUp:
        case Action::Kind::CarrierDown: {
            const bool up = action.kind == Action::Kind::CarrierUp;
            if (up == carrier_)
                continue;
            carrier_ = up;
            transcript_.push_back({Event::Kind::Carrier, now_, {}, up});
            return Wake::Carrier;
        }
        case Action::Kind::Timer:
            if (peer_) {
                peer_->onTimer(now_);
                collect();
            }
            continue;
        }
    }
}

QByteArray SimLine::sentBytes() const {
    QByteArray all;
    for (const Event& e : transcript_)
        if (e.kind == Event::Kind::StationSent)
            all += e.bytes;
    return all;
}

} // namespace dialvane::sim
