#include "link/NetworkLine.h"

#include "link/LinkEvents.h"

#include <QCoreApplication>
#include <QHostAddress>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
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
                         std::unique_ptr<CallTaker> taker)
    : portNumber_(portNumber), address_(std::move(address)), allowed_(std::move(allowed)),
      maxCalls_(maxCalls), taker_(std::move(taker)) {
    clock_.start();
    // An accept that fails for want of resources (no descriptor left) leaves QTcpServer paused
    // and its socket readable for ever: a deaf line that spins. It is a failure of the line.
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
    if (const QString failure = listenOn(server_, address_); !failure.isEmpty())
        throw LineError(QStringLiteral("COM%1: %2").arg(portNumber_).arg(failure));
}

void NetworkLine::close() {
    if (taker_)
        taker_->stopAll();
    server_.close();
    for (qintptr descriptor : std::exchange(server_.accepted, {}))
        closeDescriptor(descriptor);
    // QTcpServer::close leaves its socket engine to deleteLater, and the link's thread runs no
    // event loop: without this every reopen would keep one engine until the program ends.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Line::Wake NetworkLine::waitUntil(Millis deadline) {
    for (;;) {
        if (!acceptFailure_.isEmpty()) {
            const QString failure = std::exchange(acceptFailure_, {});
            close();
            throw LineError(describe(QStringLiteral("cannot accept calls: ") + failure));
        }
        if (!server_.isListening())
            return Wake::Deadline;
        if (taker_)
            taker_->callsInProgress(); // lets the threads of ended calls go
        const std::size_t turnedAway = turnedAway_.size();
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
    const std::uint64_t call = takeCallNumber();
    QHostAddress address;
    const QString peer = peerOf(descriptor, &address);
    if (!allowed_.allows(address)) {
        closeDescriptor(descriptor);
        turnedAway_.push_back(
            {call, peer, CallOutcome::Refused, QStringLiteral("%1 is not in AllowFrom").arg(peer)});
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
    if (!taker_->take(descriptor, peer, call))
        turnedAway_.push_back(
            {call, peer, CallOutcome::Busy,
             QStringLiteral("COM%1 could not start another call").arg(portNumber_)});
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

// ---- The line of one call --------------------------------------------------------------------

ConnectionLine::ConnectionLine(qintptr descriptor, QString peer)
    : descriptor_(descriptor), peer_(std::move(peer)) {
    clock_.start();
}

ConnectionLine::~ConnectionLine() {
    close();
    if (descriptor_ >= 0) // never opened: the descriptor is still ours to close
        closeDescriptor(descriptor_);
}

void ConnectionLine::open(const LineSettings& /*settings*/) {
    auto socket = std::make_unique<QTcpSocket>();
    const qintptr descriptor = std::exchange(descriptor_, -1);
    if (!socket->setSocketDescriptor(descriptor)) {
        closeDescriptor(descriptor);
        throw LineError(QStringLiteral("The call from %1 could not be answered: %2")
                            .arg(peer_, socket->errorString()));
    }
    // The socket reads no further ahead than the call: what a flood sends beyond waits in the
    // system's buffers (which slow the sender) instead of growing the station's memory.
    socket->setReadBufferSize(kMaxBuffered);
    QMutexLocker lock(&mutex_);
    socket_ = std::move(socket);
}

void ConnectionLine::close() {
    hangUp();
}

void ConnectionLine::hangUp() {
    QMutexLocker lock(&mutex_);
    if (!socket_)
        return;
    socket_->abort();
    socket_.reset();
    buffer_.clear();
    seenBytes_ = 0;
}

void ConnectionLine::stop() {
    stop_ = true;
    QMutexLocker lock(&mutex_);
    // Shutting the connection wakes the call's thread from any wait on it at once.
    if (socket_)
#ifdef Q_OS_WIN
        ::shutdown(static_cast<SOCKET>(socket_->socketDescriptor()), SD_BOTH);
#else
        ::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_RDWR);
#endif
}

void ConnectionLine::Output(const QByteArray& bytes) {
    if (!socket_)
        return; // the caller is gone; the engine learns it at its next wait
    socket_->write(bytes);
    socket_->flush();
}

QByteArray ConnectionLine::Input() {
    if (socket_)
        buffer_ += socket_->readAll();
    QByteArray bytes;
    bytes.swap(buffer_);
    seenBytes_ = 0;
    return bytes;
}

int ConnectionLine::InBufferCount() const {
    return static_cast<int>(buffer_.size() + (socket_ ? socket_->bytesAvailable() : 0));
}

void ConnectionLine::SetDTR(bool raised) {
    if (!raised)
        hangUp();
}

Line::Wake ConnectionLine::waitUntil(Millis deadline) {
    for (;;) {
        if (stop_)
            return Wake::Stop;
        if (!socket_)
            return Wake::Deadline;
        // What the caller sent before hanging up is delivered before the hang-up.
        buffer_ += socket_->readAll();
        if (buffer_.size() > kMaxBuffered)
            buffer_ = buffer_.right(kMaxBuffered);
        if (buffer_.size() > seenBytes_) {
            seenBytes_ = buffer_.size();
            return Wake::Data;
        }
        if (socket_->state() != QAbstractSocket::ConnectedState) {
            hangUp();
            return Wake::Carrier;
        }
        const Millis left = deadline - now();
        if (left <= Millis(0))
            return Wake::Deadline;
        // One wait to the deadline: a thousand silent callers cost no polling.
        socket_->waitForReadyRead(static_cast<int>(std::min<Millis::rep>(left.count(), 1 << 30)));
    }
}

} // namespace dialvane
