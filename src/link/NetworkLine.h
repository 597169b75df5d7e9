#pragma once
// A network line for tcp:HOST:PORT: the station listens there, an accepted connection is a
// call with the carrier up, and its end is the carrier drop. Lowering DTR hangs up (closes
// the connection). One call at a time: while a call runs the station stops listening, so a
// second caller is refused at once rather than left waiting in the backlog.

#include "link/AllowList.h"
#include "link/Line.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <utility>

namespace dialvane {

class NetworkLine final : public Line {
public:
    // `address` is "tcp:HOST:PORT"; `portNumber` is for messages.
    NetworkLine(int portNumber, const QString& address, AllowList allowed = {});
    ~NetworkLine() override;

    void open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool hasModem() const override { return false; }

    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override;
    bool CDHolding() const override { return socket_ != nullptr; }
    void SetDTR(bool raised) override;
    void SetRTS(bool) override {}

    Millis now() const override { return Millis(clock_.elapsed()); }
    Wake waitUntil(Millis deadline) override;
    QString peerAddress() const override { return peer_; }
    QStringList takeRefusedCallers() override { return std::exchange(refused_, {}); }

    // The port actually listened on (useful when PORT is 0).
    quint16 listeningPort() const { return server_.serverPort(); }

    static constexpr Millis kPollInterval{50};
    // A receive buffer larger than this is a flood, not a call: the excess is dropped.
    static constexpr qint64 kMaxBuffered = 64 * 1024;

private:
    void listen();
    void hangUp();
    void listenAgain();
    static void releaseDeferredDeletes();
    QString describe(const QString& what) const;

    int portNumber_;
    QString address_;
    QString host_;
    quint16 port_ = 0;
    bool open_ = false;
    QTcpServer server_;
    std::unique_ptr<QTcpSocket> socket_;
    QString pendingFailure_;
    QString peer_; // of the current or last call
    AllowList allowed_;
    QStringList refused_;
    QByteArray buffer_;
    qint64 seenBytes_ = 0;
    QElapsedTimer clock_;
};

// TCP keepalive on an accepted connection, tuned so that a vanished peer is noticed within
// about a minute.
void enableKeepAlive(qintptr descriptor);

// Splits "tcp:HOST:PORT"; false when the text is not of that form.
bool parseNetworkAddress(const QString& address, QString* host, quint16* port);

} // namespace dialvane
