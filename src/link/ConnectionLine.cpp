#include "link/ConnectionLine.h"

#include <QMutexLocker>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace dialvane {

namespace {

#ifdef Q_OS_WIN
using Socket = SOCKET;
constexpr int kNoSignal = 0;
int pollOne(pollfd* fd, int timeout) {
    return WSAPoll(fd, 1, timeout);
}
void closeSocket(Socket s) {
    ::closesocket(s);
}
bool wouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
bool interrupted() {
    return false;
}
bool makeNonBlocking(Socket s) {
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}
constexpr int kShutBoth = SD_BOTH;
#else
using Socket = int;
constexpr int kNoSignal = MSG_NOSIGNAL;
int pollOne(pollfd* fd, int timeout) {
    return ::poll(fd, 1, timeout);
}
void closeSocket(Socket s) {
    ::close(s);
}
bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}
bool interrupted() {
    return errno == EINTR;
}
bool makeNonBlocking(Socket s) {
    const int flags = ::fcntl(s, F_GETFL);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
constexpr int kShutBoth = SHUT_RDWR;
#endif

Socket socketOf(qintptr descriptor) {
    return static_cast<Socket>(descriptor);
}

} // namespace

ConnectionLine::ConnectionLine(qintptr descriptor, QString peer)
    : descriptor_(descriptor), peer_(std::move(peer)) {
    clock_.start();
}

ConnectionLine::~ConnectionLine() {
    hangUp(); // also a descriptor never opened is still ours to close
}

void ConnectionLine::open(const LineSettings& /*settings*/) {
    if (descriptor_ < 0 || !makeNonBlocking(socketOf(descriptor_))) {
        hangUp();
        throw LineError(QStringLiteral("The call from %1 could not be answered: its connection "
                                       "cannot be used")
                            .arg(peer_));
    }
    opened_ = true;
}

void ConnectionLine::close() {
    hangUp();
}

void ConnectionLine::hangUp() {
    QMutexLocker lock(&mutex_);
    if (descriptor_ < 0)
        return;
    closeSocket(socketOf(descriptor_));
    descriptor_ = -1;
    buffer_.clear();
    unsent_.clear();
    seenBytes_ = 0;
}

void ConnectionLine::stop() {
    stop_ = true;
    QMutexLocker lock(&mutex_);
    // Shutting the connection wakes the call's thread from any wait on it at once.
    if (descriptor_ >= 0)
        ::shutdown(socketOf(descriptor_), kShutBoth);
}

void ConnectionLine::Output(const QByteArray& bytes) {
    if (!isOpen())
        return; // the caller is gone; the engine learns it at its next wait
    unsent_ += bytes;
    // A caller that reads nothing while the station sends cannot make it hold much either.
    if (!flushOutput() || unsent_.size() > kMaxBuffered)
        hangUp();
}

// Sends what the system takes now; false when the connection failed.
bool ConnectionLine::flushOutput() {
    while (!unsent_.isEmpty()) {
        const auto sent = ::send(socketOf(descriptor_), unsent_.constData(),
                                 static_cast<int>(unsent_.size()), kNoSignal);
        if (sent < 0)
            return wouldBlock() || interrupted();
        unsent_.remove(0, sent);
    }
    return true;
}

// Only what a wait has read counts as received: bytes a caller sent before its call was
// answered are the call's first bytes, not something to flush away at the carrier's rise.
QByteArray ConnectionLine::Input() {
    seenBytes_ = 0;
    return std::exchange(buffer_, {});
}

int ConnectionLine::InBufferCount() const {
    return static_cast<int>(buffer_.size());
}

void ConnectionLine::SetDTR(bool raised) {
    if (!raised)
        hangUp();
}

// At most kMaxBuffered a time: a caller that never stops sending still lets the call go on.
bool ConnectionLine::readWaiting() {
    char chunk[16 * 1024];
    for (qint64 read = 0; read < kMaxBuffered;) {
        const auto got = ::recv(socketOf(descriptor_), chunk, sizeof chunk, 0);
        if (got > 0) {
            read += got;
            buffer_.append(chunk, got);
            if (buffer_.size() > kMaxBuffered) {
                buffer_ = buffer_.right(kMaxBuffered);
                seenBytes_ = std::min(seenBytes_, kMaxBuffered - 1);
            }
            continue;
        }
        if (got == 0)
            return false; // the caller closed
        return wouldBlock() || interrupted();
    }
    return true;
}

Line::Wake ConnectionLine::waitUntil(Millis deadline) {
    for (;;) {
        if (stop_)
            return Wake::Stop;
        if (!isOpen())
            return Wake::Deadline;
        // What the caller sent before hanging up is delivered before the hang-up.
        const bool connected = readWaiting() && flushOutput();
        if (buffer_.size() > seenBytes_) {
            seenBytes_ = buffer_.size();
            return Wake::Data;
        }
        if (!connected) {
            hangUp();
            return Wake::Carrier;
        }
        const Millis left = deadline - now();
        if (left <= Millis(0))
            return Wake::Deadline;
        // One wait to the deadline: a thousand silent callers cost no polling.
        pollfd fd{};
        fd.fd = socketOf(descriptor_);
        fd.events = POLLIN | (unsent_.isEmpty() ? 0 : POLLOUT);
        pollOne(&fd, static_cast<int>(std::min<Millis::rep>(left.count(), 1 << 30)));
    }
}

} // namespace dialvane
