#pragma once
// The few socket calls a call's connection makes, the same on every platform: a plain
// connection and an encrypted one send, wait and give up alike.

#include <QtGlobal>

#include <chrono>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace dialvane::sockets {

#ifdef Q_OS_WIN
using Socket = SOCKET;
// A caller gone away fails the send; no signal exists to raise.
constexpr int kNoSignal = 0;
constexpr int kShutBoth = SD_BOTH;
inline int pollOne(pollfd* fd, int timeout) {
    return WSAPoll(fd, 1, timeout);
}
inline void closeSocket(Socket s) {
    ::closesocket(s);
}
// The last call found nothing to do now, and may be made again later.
inline bool tryAgainLater() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
inline bool makeNonBlocking(Socket s) {
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}
// No call can be told on its own not to wait: every call is made not to, and a read is waited
// for with a poll.
constexpr bool kReadsWait = false;
constexpr int kDontWait = 0;
inline bool makeReadsWait(Socket s, std::chrono::milliseconds /*slice*/) {
    return makeNonBlocking(s);
}
#else
using Socket = int;
// A caller gone away fails the send instead of raising SIGPIPE in the whole station.
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr int kShutBoth = SHUT_RDWR;
inline int pollOne(pollfd* fd, int timeout) {
    return ::poll(fd, 1, timeout);
}
inline void closeSocket(Socket s) {
    ::close(s);
}
inline bool tryAgainLater() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
inline bool makeNonBlocking(Socket s) {
    const int flags = ::fcntl(s, F_GETFL);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
// A read may wait in the read itself, at most `slice` at a time, so that a block that arrives
// costs one system call; every other call on the socket says it does not wait.
constexpr bool kReadsWait = true;
constexpr int kDontWait = MSG_DONTWAIT;
inline bool makeReadsWait(Socket s, std::chrono::milliseconds slice) {
    const int flags = ::fcntl(s, F_GETFL);
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(slice.count() / 1000);
    limit.tv_usec = static_cast<suseconds_t>(slice.count() % 1000 * 1000);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags & ~O_NONBLOCK) == 0 &&
           ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}
#endif

inline Socket socketOf(qintptr descriptor) {
    return static_cast<Socket>(descriptor);
}

} // namespace dialvane::sockets
