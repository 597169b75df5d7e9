#include "link/NetworkLine.h"

#include "link/LinkEvents.h"

#include <QCoreApplication>
#include <QHostAddress>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace dialvane {

namespace {

// The caller's "address:port", read from the descriptor itself: no socket object is made on
// the listening thread.
QString peerOf(qintptr descriptor, QHostAddress* address) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    auto* peer = reinterpret_cast<sockaddr*>(&storage);
    if (::getpeername(static_cast<int>(descriptor), peer, &length) != 0)
        return QStringLiteral("unknown");
    *address = QHostAddress(peer);
    quint16 port = 0;
    if (storage.ss_family == AF_INET)
        port = ntohs(reinterpret_cast<sockaddr_in*>(peer)->sin_port);
    else if (storage.ss_family == AF_INET6)
        port = ntohs(reinterpret_cast<sockaddr_in6*>(peer)->sin6_port);
    return QStringLiteral("%1:%2").arg(address->toString()).arg(port);
}

// A descriptor of no use but to be given up when none is left.
qintptr openSpare() {
#ifdef Q_OS_WIN
    return -1; // descriptors are not counted there
#else
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
#endif
}

void closeDescriptor(qintptr descriptor) {
#ifdef Q_OS_WIN
    ::closesocket(static_cast<SOCKET>(descriptor));
#else
    ::close(static_cast<int>(descriptor));
#endif
}

} // namespace

// ---- The listening line ----------------------------------------------------------------------

NetworkLine::NetworkLine(int portNumber, PortAddress address, AllowList allowed, int maxCalls,
                         std::unique_ptr<CallTaker> taker, int maxPerAddress,
                         std::shared_ptr<Defender> defender)
    : portNumber_(portNumber), address_(std::move(address)), allowed_(std::move(allowed)),
      maxCalls_(maxCalls), taker_(std::move(taker)), maxPerAddress_(maxPerAddress),
      defender_(std::move(defender)) {
    clock_.start();
    // An accept that fails for want of resources (no descriptor left) leaves QTcpServer paused
    // and its socket readable for ever: a deaf line that spins. The caller is turned away with
    // the spare descriptor; without one, it is a failure of the line.
    QObject::connect(&server_, &QTcpServer::acceptError, &server_,
                     [this] { acceptFailure_ = server_.errorString(); });
}

NetworkLine::~NetworkLine() {
    close();
}

QString NetworkLine::describe(const QString& what) const {
    return QStringLiteral("COM%1 (%2): %3").arg(portNumber_).arg(address_.value, what);
}

void NetworkLine::open(const LineSettings& /*settings: speeds mean nothing here*/) {
    // The reason already names the value, in the words --check uses for it.
    const auto tls = loadTlsFor(address_, tls_);
    if (!tls.failure.isEmpty())
        throw LineError(QStringLiteral("COM%1: %2").arg(portNumber_).arg(tls.failure));
    if (const QString failure = listenOn(server_, address_); !failure.isEmpty())
        throw LineError(QStringLiteral("COM%1: %2").arg(portNumber_).arg(failure));
    if (taker_)
        taker_->encrypt(tls.context);
    if (spare_ < 0)
        spare_ = openSpare();
}

void NetworkLine::close() {
    if (taker_)
        taker_->stopAll();
    server_.close();
    for (qintptr descriptor : std::exchange(server_.accepted, {}))
        closeDescriptor(descriptor);
    if (spare_ >= 0)
        closeDescriptor(std::exchange(spare_, -1));
    // QTcpServer::close leaves its socket engine to deleteLater, and the link's thread runs no
    // event loop: without this every reopen would keep one engine until the program ends.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Line::Wake NetworkLine::waitUntil(Millis deadline) {
    for (;;) {
        const std::size_t turnedAway = turnedAway_.size();
        if (!acceptFailure_.isEmpty()) {
            const QString failure = std::exchange(acceptFailure_, {});
            if (!shedCaller()) {
                close();
                throw LineError(describe(QStringLiteral("cannot accept calls: ") + failure));
            }
        }
        if (!server_.isListening())
            return Wake::Deadline;
        if (taker_)
            taker_->callsInProgress(); // lets the threads of ended calls go
        for (qintptr descriptor : std::exchange(server_.accepted, {}))
            answer(descriptor);
        if (turnedAway_.size() > turnedAway)
            return Wake::Data;
        const Millis left = deadline - now();
        if (left <= Millis(0))
            return Wake::Deadline;
        server_.waitForNewConnection(static_cast<int>(std::min(left, kPollInterval).count()));
    }
}

// Closed before a byte is read when the caller may not call or there is no room for its call.
void NetworkLine::answer(qintptr descriptor) {
    QHostAddress address;
    const QString peer = peerOf(descriptor, &address);
    const Defender::Verdict verdict =
        defender_ ? defender_->admit(address) : Defender::Verdict::Admit;
    if (verdict == Defender::Verdict::TurnAway) {
        // Said when its block began: a scanner's every retry must not add a journal row.
        closeDescriptor(descriptor);
        return;
    }
    const std::uint64_t call = takeCallNumber();
    if (verdict == Defender::Verdict::TurnAwayFirst) {
        closeDescriptor(descriptor);
        turnedAway_.push_back({call, peer, CallOutcome::Refused,
                               QStringLiteral("%1 blocked after %2 refused calls")
                                   .arg(address.toString())
                                   .arg(defender_->settings().blockAfter)});
        return;
    }
    if (!allowed_.allows(address)) {
        if (defender_)
            defender_->refused(address);
        closeDescriptor(descriptor);
        turnedAway_.push_back(
            {call, peer, CallOutcome::Refused, QStringLiteral("%1 is not in AllowFrom").arg(peer)});
        return;
    }
    if (taker_ && maxPerAddress_ > 0 && taker_->callsFrom(address) >= maxPerAddress_) {
        closeDescriptor(descriptor);
        turnedAway_.push_back({call, peer, CallOutcome::Busy,
                               QStringLiteral("%1 calls in progress from %2 (MaxCallsPerAddress)")
                                   .arg(maxPerAddress_)
                                   .arg(address.toString())});
        return;
    }
    if (!taker_ || taker_->callsInProgress() >= maxCalls_) {
        closeDescriptor(descriptor);
        turnedAway_.push_back({call, peer, CallOutcome::Busy,
                               QStringLiteral("%1 calls in progress on COM%2 (MaxCalls)")
                                   .arg(taker_ ? maxCalls_ : 0)
                                   .arg(portNumber_)});
        return;
    }
    enableKeepAlive(descriptor);
    if (!taker_->take(descriptor, peer, address, call))
        turnedAway_.push_back(
            {call, peer, CallOutcome::Busy,
             QStringLiteral("COM%1 could not start another call").arg(portNumber_)});
}

// No descriptor was left to accept a caller: the spare one makes room for it, it is turned
// away as busy, and the spare is taken again. False when there is no spare to let go.
bool NetworkLine::shedCaller() {
    if (spare_ < 0)
        return false;
    closeDescriptor(std::exchange(spare_, -1));
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    const auto listening = static_cast<int>(server_.socketDescriptor());
    const int descriptor = ::accept(listening, reinterpret_cast<sockaddr*>(&storage), &length);
    if (descriptor >= 0) {
        QHostAddress address;
        const QString peer = peerOf(descriptor, &address);
        closeDescriptor(descriptor);
        turnedAway_.push_back(
            {takeCallNumber(), peer, CallOutcome::Busy,
             QStringLiteral("no descriptor left for another call on COM%1").arg(portNumber_)});
    }
    spare_ = openSpare();
    server_.resumeAccepting();
    return spare_ >= 0;
}

// A peer that vanishes without closing (a router restarted, a cable pulled) is noticed within
// about a minute: probes after 30 s of silence, every 10 s, three unanswered end the call.
void enableKeepAlive(qintptr descriptor) {
#ifdef Q_OS_LINUX
    const int on = 1, idle = 30, interval = 10, count = 3;
    const auto fd = static_cast<int>(descriptor);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#else
    (void)descriptor; // elsewhere the socket option alone, with the system's timings
#endif
}

} // namespace dialvane
