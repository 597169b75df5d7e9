#pragma once
// One accepted connection as the line of its call: the carrier is up from the start and drops
// when either end closes. Made anywhere, opened and used on the call's own thread.
//
// It works on the descriptor itself (poll, recv, send), with no socket object and no event
// loop: a call's thread then holds one descriptor, the connection, and nothing else, so a
// thousand callers cost a thousand descriptors, and a station short of descriptors loses
// callers, never its own wake-up pipes. What the caller sends is read no further ahead than
// kMaxBuffered, so a flood costs the station no more than that per call.

#include "link/Line.h"

#include <QElapsedTimer>
#include <QMutex>

#include <atomic>

namespace dialvane {

class ConnectionLine final : public Line {
public:
    ConnectionLine(qintptr descriptor, QString peer);
    ~ConnectionLine() override;

    // Makes the descriptor non-blocking. Throws LineError when it cannot.
    void open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return descriptor_ >= 0 && opened_; }
    bool hasModem() const override { return false; }

    // What the system cannot take at once waits, bounded, and goes at the next wait.
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override;
    bool CDHolding() const override { return isOpen(); }
    // Lowering DTR hangs up: the connection closes.
    void SetDTR(bool raised) override;
    void SetRTS(bool) override {}

    Millis now() const override { return Millis(clock_.elapsed()); }
    Wake waitUntil(Millis deadline) override;
    bool stopRequested() const override { return stop_; }
    QString peerAddress() const override { return peer_; }

    // From any thread: ends the call as a hang-up would, at once, whatever it waits for.
    void stop();

    // A receive buffer larger than this is a flood, not a call: the oldest bytes are dropped.
    static constexpr qint64 kMaxBuffered = 64 * 1024;

private:
    // Reads what waits, bounded; false once the caller has closed or the connection failed.
    bool readWaiting();
    bool flushOutput();
    void hangUp();

    qintptr descriptor_;
    bool opened_ = false;
    QString peer_;
    QMutex mutex_; // between stop() and the closing, so no reused descriptor is shut
    std::atomic<bool> stop_{false};
    QByteArray buffer_;
    qint64 seenBytes_ = 0;
    QByteArray unsent_;
    QElapsedTimer clock_;
};

} // namespace dialvane
