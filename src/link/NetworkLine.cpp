#include "link/NetworkLine.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace dialvane {

bool parseNetworkAddress(const QString& address, QString* host, quint16* port) {
    if (!address.startsWith(QStringLiteral("tcp:")))
        return false;
    const QString rest = address.mid(4);
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const uint number = rest.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535)
        return false;
    *host = rest.left(colon);
    if (host->startsWith(QLatin1Char('[')) && host->endsWith(QLatin1Char(']')))
        *host = host->mid(1, host->size() - 2);
    *port = static_cast<quint16>(number);
    return true;
}

NetworkLine::NetworkLine(int portNumber, const QString& address, AllowList allowed)
    : portNumber_(portNumber), address_(address), allowed_(std::move(allowed)) {
    clock_.start();
}

NetworkLine::~NetworkLine() {
    close();
}

QString NetworkLine::describe(const QString& what) const {
    return QStringLiteral("COM%1 (%2): %3").arg(portNumber_).arg(address_, what);
}

void NetworkLine::open(const LineSettings& /*settings: speeds mean nothing here*/) {
    if (!parseNetworkAddress(address_, &host_, &port_))
        throw LineError(
            describe(QStringLiteral("not a network address of the form tcp:HOST:PORT")));
    listen();
    open_ = true;
}

void NetworkLine::listen() {
    QHostAddress address(host_);
    if (address.isNull()) {
        const QHostInfo info = QHostInfo::fromName(host_);
        if (info.addresses().isEmpty())
            throw LineError(describe(QStringLiteral("unknown host %1").arg(host_)));
        address = info.addresses().constFirst();
    }
    if (!server_.listen(address, port_))
        throw LineError(describe(QStringLiteral("cannot listen: ") + server_.errorString()));
    port_ = server_.serverPort();
}

void NetworkLine::close() {
    hangUp();
    server_.close();
    releaseDeferredDeletes();
    open_ = false;
}

// QTcpServer::close leaves its socket engine to deleteLater. The link's thread runs no event
// loop, so without this every call would keep one engine until the program ends (about 600
// bytes a call, measured over 10,000 calls).
void NetworkLine::releaseDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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

void NetworkLine::hangUp() {
    if (!socket_)
        return;
    socket_->abort();
    socket_.reset();
    buffer_.clear();
    seenBytes_ = 0;
}

void NetworkLine::Output(const QByteArray& bytes) {
    if (!socket_)
        return; // the caller is gone; the engine learns it at its next wait
    socket_->write(bytes);
    socket_->flush();
}

QByteArray NetworkLine::Input() {
    if (socket_)
        buffer_ += socket_->readAll();
    QByteArray bytes;
    bytes.swap(buffer_);
    seenBytes_ = 0;
    return bytes;
}

int NetworkLine::InBufferCount() const {
    return static_cast<int>(buffer_.size() + (socket_ ? socket_->bytesAvailable() : 0));
}

void NetworkLine::SetDTR(bool raised) {
    if (raised || !socket_)
        return;
    hangUp();
    listenAgain();
}

// After a call the station listens again. Should the address have been taken meanwhile, the
// line closes and the next wait reports why: the operator must learn that calls are no longer
// answered.
void NetworkLine::listenAgain() {
    if (!open_ || server_.isListening())
        return;
    try {
        listen();
    } catch (const LineError& failure) {
        open_ = false;
        pendingFailure_ = failure.description();
    }
}

Line::Wake NetworkLine::waitUntil(Millis deadline) {
    for (;;) {
        if (!pendingFailure_.isEmpty()) {
            const QString failure = pendingFailure_;
            pendingFailure_.clear();
            throw LineError(failure);
        }
        if (!open_)
            return Wake::Deadline;
        if (socket_) {
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
                listenAgain();
                return Wake::Carrier;
            }
        }
        const Millis left = deadline - now();
        if (left <= Millis(0))
            return Wake::Deadline;
        const int slice = static_cast<int>(std::min(left, kPollInterval).count());
        if (socket_) {
            socket_->waitForReadyRead(slice);
        } else if (server_.waitForNewConnection(slice) && server_.hasPendingConnections()) {
            socket_.reset(server_.nextPendingConnection());
            socket_->setParent(nullptr);
            const QString caller = QStringLiteral("%1:%2")
                                       .arg(socket_->peerAddress().toString())
                                       .arg(socket_->peerPort());
            // Closed before a byte is read; the line goes on listening.
            if (!allowed_.allows(socket_->peerAddress())) {
                socket_->abort();
                socket_.reset();
                refused_ << caller;
                continue;
            }
            socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
            enableKeepAlive(socket_->socketDescriptor());
            peer_ = caller;
            // Later callers are refused while this call runs.
            server_.close();
            releaseDeferredDeletes();
            return Wake::Carrier;
        }
    }
}

} // namespace dialvane
