#pragma once
// A line in virtual time for tests: no thread, no real clock. The far end is a Peer (usually
// the simulated restaurant Site) that reacts to what the station sends and schedules what it
// sends back; waitUntil jumps the clock straight to the next scheduled event, so a call that
// takes minutes on a real line runs in microseconds.

#include "link/Line.h"
#include "site/ActionQueue.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace dialvane::sim {

using site::Action;
using site::Peer;

class SimLine final : public Line {
public:
    // Everything that crossed the line, in order, for tests to assert on.
    struct Event {
        enum class Kind { StationSent, StationReceived, Carrier, Dtr } kind;
        Millis at;
        QByteArray bytes;   // StationSent / StationReceived
        bool level = false; // Carrier / Dtr
    };

    // Puts `peer` at the far end and schedules what it has decided so far.
    void attach(Peer& peer) {
        peer_ = &peer;
        queue_.collect(peer);
    }

    void open(const LineSettings&) override {
        open_ = true;
        stop_ = false;
        SetDTR(true);
    }
    void close() override {
        later_.clear();
        open_ = false;
        dtr_ = false;
    }
    bool isOpen() const override { return open_; }
    bool hasModem() const override { return hasModem_; }
    void setHasModem(bool modem) { hasModem_ = modem; }

    // A line without a modem sends answers on its own when they fall due, as a network line
    // does; a hang-up or a dropped carrier takes back what has not gone.
    bool OutputAt(const QByteArray& bytes, Millis due) override {
        if (hasModem_ || !open_)
            return false;
        later_.emplace_back(later_.empty() ? due : std::max(due, later_.back().first), bytes);
        return true;
    }
    void Output(const QByteArray& bytes) override {
        if (later_.empty())
            send(bytes);
        else // after what waits, with the last of it
            later_.emplace_back(later_.back().first, bytes);
    }
    void send(const QByteArray& bytes) {
        if (now_ >= failOutputAt_)
            throw LineError(QStringLiteral("COM1: the port failed"));
        transcript_.push_back({Event::Kind::StationSent, now_, bytes, false});
        if (peer_) {
            peer_->onStationBytes(now_, bytes);
            queue_.collect(*peer_);
        }
    }
    QByteArray Input() override { return std::exchange(inbox_, {}); }
    int InBufferCount() const override { return static_cast<int>(inbox_.size()); }
    bool CDHolding() const override { return carrier_; }
    void SetDTR(bool raised) override {
        if (!raised)
            later_.clear();
        if (raised == dtr_)
            return;
        dtr_ = raised;
        transcript_.push_back({Event::Kind::Dtr, now_, {}, raised});
        if (peer_) {
            peer_->onStationDtr(now_, raised);
            queue_.collect(*peer_);
        }
    }
    void SetRTS(bool) override {}

    Millis now() const override { return now_; }
    bool stopRequested() const override { return stop_; }
    Wake waitUntil(Millis deadline) override {
        for (;;) {
            if (stop_)
                return Wake::Stop;
            const Millis next = queue_.empty() ? Millis::max() : queue_.top().at;
            if (!later_.empty() && later_.front().first <= std::min({deadline, next, stopAt_})) {
                now_ = std::max(now_, later_.front().first);
                send(later_.front().second);
                later_.erase(later_.begin());
                continue;
            }
            if (stopAt_ <= deadline && stopAt_ <= next) {
                now_ = std::max(now_, std::exchange(stopAt_, Millis::max()));
                stop_ = true;
                return Wake::Stop;
            }
            if (queue_.empty() || next > deadline) {
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
                if (!up)
                    later_.clear();
                transcript_.push_back({Event::Kind::Carrier, now_, {}, up});
                return Wake::Carrier;
            }
            case Action::Kind::Timer:
                if (peer_) {
                    peer_->onTimer(now_);
                    queue_.collect(*peer_);
                }
                continue;
            }
        }
    }

    // Scheduling from the test itself: carrier changes, stray bytes, a stop when the clock
    // reaches `at` (mid-call, for instance).
    void schedule(const Action& action) { queue_.push(action); }
    void requestStopAt(Millis at) { stopAt_ = at; }
    // From `at` on, sending fails as a port that went away does.
    void failOutputFrom(Millis at) { failOutputAt_ = at; }
    // Time the station spends away from the line: a slow disk, say.
    void spend(Millis span) { now_ += span; }

    const std::vector<Event>& transcript() const { return transcript_; }
    bool dtr() const { return dtr_; }
    // Bytes the station sent, all of them, in order.
    QByteArray sentBytes() const {
        QByteArray all;
        for (const Event& e : transcript_)
            if (e.kind == Event::Kind::StationSent)
                all += e.bytes;
        return all;
    }

private:
    Peer* peer_ = nullptr;
    site::ActionQueue queue_;
    Millis now_{0};
    QByteArray inbox_;
    bool open_ = false;
    bool hasModem_ = true;
    bool carrier_ = false;
    bool dtr_ = false;
    bool stop_ = false;
    Millis stopAt_ = Millis::max();
    Millis failOutputAt_ = Millis::max();
    std::vector<Event> transcript_;
    std::vector<std::pair<Millis, QByteArray>> later_; // handed over by OutputAt, by due
};

} // namespace dialvane::sim
