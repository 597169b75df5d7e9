#pragma once
// The engine's line under the port supervisor: whichever port is open, or none. It forwards
// every operation to that port, and its waits end early (Wake::Stop) as soon as the supervisor
// has a request waiting, so that a reopen or a close never waits for a call. A request that
// lets the calls go on (new settings for the calls to come) wakes only the engine's wait
// between calls, and stops nothing. Waiting is also where the supervisor's heartbeat is fed.

#include "link/Line.h"

#include <QElapsedTimer>

#include <functional>
#include <memory>

namespace dialvane {

class SupervisedLine final : public Line {
public:
    struct Supervisor {
        std::function<bool()> requestWaiting; // a request waits: the wait ends (Wake::Stop)
        std::function<bool()> stopCalls;      // a reopen, close or quit waits: calls end
        std::function<void()> beat;           // feeds the heartbeat when it is due
        // With no port open: sleeps until a request comes or the heartbeat is due.
        std::function<void()> sleepWithoutPort;
    };

    explicit SupervisedLine(Supervisor supervisor);

    // The port the engine uses from now on; null for none.
    void attach(std::unique_ptr<Line> port) { port_ = std::move(port); }
    // Lets the port go as it is, open, so that another can be tried and this one kept.
    std::unique_ptr<Line> release() { return std::move(port_); }
    // Closes the port, whatever it says, and lets it go.
    void detach();
    Line* port() const { return port_.get(); }

    void open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return port_ && port_->isOpen(); }
    bool hasModem() const override { return port_ && port_->hasModem(); }
    QString peerAddress() const override { return port_ ? port_->peerAddress() : QString(); }
    std::vector<TurnedAway> takeTurnedAway() override;
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override { return port_ ? port_->Input() : QByteArray(); }
    int InBufferCount() const override { return port_ ? port_->InBufferCount() : 0; }
    bool CDHolding() const override { return port_ && port_->CDHolding(); }
    void SetDTR(bool raised) override;
    void SetRTS(bool raised) override;
    Millis now() const override { return Millis(clock_.elapsed()); }
    Wake waitUntil(Millis deadline) override;
    bool stopRequested() const override { return supervisor_.stopCalls(); }
    void setCallConfig(const LinkConfig& config) override;

    // No wait on the port lasts longer than this, so that a request is never kept waiting.
    static constexpr Millis kSlice{50};

private:
    Supervisor supervisor_;
    std::unique_ptr<Line> port_;
    QElapsedTimer clock_;
};

} // namespace dialvane
