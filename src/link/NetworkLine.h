#pragma once
// A network line for tcp:HOST:PORT or, encrypted, tls:HOST:PORT (see PortAddress.h). The station
// listens there, and every accepted connection is a call of its own: a call taker (see CallPool.h)
// answers it on a thread of its own with a ConnectionLine, so that one call's silences, re-sends or
// send delay never slow another. The listening line itself never has a carrier. It is the one place
// that decides who may call: a caller outside the allow list, or beyond the calls taken at once, is
// closed before a byte is read, and its engine journals it.

#include "link/AllowList.h"
#include "link/Defender.h"
#include "link/Line.h"
#include "link/PortAddress.h"
#include "link/TlsContext.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTcpServer>

#include <atomic>
#include <memory>
#include <utility>

namespace dialvane {

// Who answers the calls of a network line.
class CallTaker {
public:
    virtual ~CallTaker() = default;
    virtual int callsInProgress() = 0;
    // The calls in progress from one address.
    virtual int callsFrom(const QHostAddress& address) = 0;
    // Ends every call as a hang-up would and returns once they are over.
    virtual void stopAll() = 0;
    // Answers the call of an accepted connection from `peer` ("address:port", at address
    // `from`), numbered `call`, and owns the descriptor from here on; false when no call could
    // be started (the descriptor is closed).
    virtual bool take(qintptr descriptor, const QString& peer, const QHostAddress& from,
                      std::uint64_t call) = 0;
    // The settings of the calls taken from now on.
    virtual void setConfig(const LinkConfig& /*config*/) {}
    // The encryption of the calls taken from now on; null for none.
    virtual void encrypt(std::shared_ptr<const TlsContext> /*tls*/) {}
};

class NetworkLine final : public Line {
public:
    // `address` is where to listen, as parsePortValue read it: one it refused fails at open()
    // with its error. `portNumber` is for messages. At most `maxCalls` calls run at once, at
    // most `maxPerAddress` of them (0: no limit) from one address, answered by `taker`;
    // without a taker every caller is busy. Closing the line ends the taker's calls (as a
    // hang-up would) before the port closes. An address the `defender` blocks is turned away
    // first, journaled for the first connection of its block only; a stranger outside the allow
    // list counts with it as a refused call.
    NetworkLine(int portNumber, PortAddress address, AllowList allowed = {}, int maxCalls = 1,
                std::unique_ptr<CallTaker> taker = nullptr, int maxPerAddress = 0,
                std::shared_ptr<Defender> defender = nullptr);
    ~NetworkLine() override;

    void open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return server_.isListening(); }
    bool hasModem() const override { return false; }

    // Nothing to send or read, and never a carrier: the calls have lines of their own.
    void Output(const QByteArray&) override {}
    QByteArray Input() override { return {}; }
    int InBufferCount() const override { return 0; }
    bool CDHolding() const override { return false; }
    void SetDTR(bool) override {}
    void SetRTS(bool) override {}

    Millis now() const override { return Millis(clock_.elapsed()); }
    // Accepts callers until the deadline; returns Data as soon as one was turned away.
    Wake waitUntil(Millis deadline) override;
    std::vector<TurnedAway> takeTurnedAway() override { return std::exchange(turnedAway_, {}); }
    void setCallConfig(const LinkConfig& config) override {
        if (taker_)
            taker_->setConfig(config);
    }

    // The files of a tls: line, read at each open: a file that cannot be used fails it.
    void setTls(TlsSettings tls) { tls_ = std::move(tls); }

    // The port actually listened on (useful when PORT is 0).
    quint16 listeningPort() const { return server_.serverPort(); }

    static constexpr Millis kPollInterval{50};

private:
    // Keeps accepted descriptors as they are: the socket object is made on the call's thread.
    class Listener final : public QTcpServer {
    public:
        std::vector<qintptr> accepted;

    protected:
        void incomingConnection(qintptr descriptor) override { accepted.push_back(descriptor); }
    };

    void answer(qintptr descriptor);
    bool shedCaller();
    QString describe(const QString& what) const;

    int portNumber_;
    PortAddress address_;
    AllowList allowed_;
    int maxCalls_;
    std::unique_ptr<CallTaker> taker_;
    int maxPerAddress_;
    TlsSettings tls_;
    std::shared_ptr<Defender> defender_;
    // Held in reserve: when no descriptor is left to accept a caller, this one is let go so
    // that the caller can be accepted and turned away rather than left waiting for ever.
    qintptr spare_ = -1;
    Listener server_;
    std::vector<TurnedAway> turnedAway_;
    QString acceptFailure_;
    QElapsedTimer clock_;
};

// TCP keepalive on an accepted connection, tuned so that a vanished peer is noticed within
// about a minute.
void enableKeepAlive(qintptr descriptor);

} // namespace dialvane
