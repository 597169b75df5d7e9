#pragma once
// A line in virtual time for tests: no thread, no real clock. The far end is a Peer (usually
// the simulated restaurant Site) that reacts to what the station sends and schedules what it
// sends back; waitUntil jumps the clock straight to the next scheduled event, so a call that
// takes minutes on a real line runs in microseconds.

#include "link/Line.h"
#include "site/ActionQueue.h"

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
        collect();
    }

    void open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool hasModem() const override { return hasModem_; }
    void setHasModem(bool modem) { hasModem_ = modem; }

    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override { return static_cast<int>(inbox_.size()); }
    bool CDHolding() const override { return carrier_; }
    void SetDTR(bool raised) override;
    void SetRTS(bool) override {}

    Millis now() const override { return now_; }
    Wake waitUntil(Millis deadline) override;
    bool stopRequested() const override { return stop_; }

    // Scheduling from the test itself: carrier changes, stray bytes, a stop when the clock
    // reaches `at` (mid-call, for instance).
    void schedule(const Action& action);
    void requestStopAt(Millis at) { stopAt_ = at; }

    const std::vector<Event>& transcript() const { return transcript_; }
    bool dtr() const { return dtr_; }
    // Bytes the station sent, all of them, in order.
    QByteArray sentBytes() const;

private:
    void collect();

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
    std::vector<Event> transcript_;
};

} // namespace dialvane::sim
