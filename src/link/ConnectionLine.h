#pragma once
// One accepted connection as the line of its call: the carrier is up from the start and drops
// when either end closes. Made anywhere, opened and used on the call's own thread.
//
// It works on the descriptor itself (poll, recv, send), with no socket object and no event
// loop: a call's thread then holds one descriptor, the connection, and nothing else, so a
// thousand callers cost a thousand descriptors, and a station short of descriptors loses
// callers, never its own wake-up pipes. What the caller sends is read no further ahead than
// kMaxBuffered, so a flood costs the station no more than that per call.
//
// On an encrypted line the same descriptor carries TLS (see TlsSession.h): the handshake is
// part of open(), on the call's thread, so a slow or failing caller holds up no one else; the
// bytes the engine reads and writes are the decrypted ones, with the same waits and bounds.

#include "link/AnswerTimer.h"
#include "link/Line.h"
#include "link/TlsSession.h"

#include <QElapsedTimer>
#include <QMutex>

#include <atomic>
#include <memory>

namespace dialvane {

class ConnectionLine final : public Line {
public:
    // With `tls`, the connection is encrypted with that context.
    ConnectionLine(qintptr descriptor, QString peer,
                   std::shared_ptr<const TlsContext> tls = nullptr);
    ~ConnectionLine() override;

    // Makes the descriptor non-blocking and, on an encrypted line, does the handshake. Throws
    // LineError when the descriptor cannot be used, CallRefused (with the reason) when the
    // handshake fails, takes longer than the context allows or is stopped, or the caller's
    // certificate names no restaurant; the connection is then closed.
    void open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return descriptor_ >= 0 && opened_; }
    bool hasModem() const override { return false; }

    // What the system cannot take at once waits, bounded, and goes at the next wait.
    void Output(const QByteArray& bytes) override;
    // A plain connection's answers go from the station's answer timer (see AnswerTimer.h); an
    // encrypted one sends only from the call's own thread, and takes nothing.
    bool OutputAt(const QByteArray& bytes, Millis due) override;
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
    std::optional<QString> certifiedRestaurant() const override;
    // The caller hung up before sending a byte: its handshake never began.
    bool silent() const { return silent_; }

    // From any thread: ends the call as a hang-up would, at once, whatever it waits for.
    void stop();

    // A receive buffer larger than this is a flood, not a call: the oldest bytes are dropped.
    static constexpr qint64 kMaxBuffered = 64 * 1024;
    // The longest a plain connection's read waits in one go: a longer wait is made of several,
    // and a shorter one is a poll.
    static constexpr Millis kReadSlice{1000};

private:
    // Reads what waits, bounded; false once the caller has closed or the connection failed.
    // With `wait`, the first read waits for something (at most kReadSlice).
    bool readWaiting(bool wait = false);
    bool flushOutput();
    bool waitingAnswers() const; // handed to the timer and not yet sent
    void hangUp();
    void shakeHands();

    qintptr descriptor_;
    bool opened_ = false;
    QString peer_;
    QMutex mutex_; // between stop() and the closing, so no reused descriptor is shut
    std::atomic<bool> stop_{false};
    QByteArray buffer_;
    qint64 seenBytes_ = 0;
    QByteArray unsent_;
    QElapsedTimer clock_;
    std::shared_ptr<const TlsContext> tls_;
    std::unique_ptr<TlsSession> session_; // while encrypted
    bool silent_ = false;
    bool wantWrite_ = false; // the session waits for room to write before it can read on
    bool readsWait_ = false; // a plain connection: its reads may wait in the read
    std::shared_ptr<AnswerTimer::Outbox> outbox_; // answers handed to the timer, while open
};

} // namespace dialvane
