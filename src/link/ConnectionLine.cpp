#include "link/ConnectionLine.h"

#include "link/SocketCalls.h"

#include <QMutexLocker>

namespace dialvane {

using namespace sockets;

ConnectionLine::ConnectionLine(qintptr descriptor, QString peer,
                               std::shared_ptr<const TlsContext> tls)
    : descriptor_(descriptor), peer_(std::move(peer)), tls_(std::move(tls)) {
    clock_.start();
}

ConnectionLine::~ConnectionLine() {
    hangUp(); // also a descriptor never opened is still ours to close
}

void ConnectionLine::open(const LineSettings& /*settings*/) {
    // An encrypted connection is read through its session, which must never wait.
    readsWait_ = kReadsWait && !tls_;
    if (descriptor_ < 0 || !(readsWait_ ? makeReadsWait(socketOf(descriptor_), kReadSlice)
                                        : makeNonBlocking(socketOf(descriptor_)))) {
        hangUp();
        throw LineError(QStringLiteral("The call from %1 could not be answered: its connection "
                                       "cannot be used")
                            .arg(peer_));
    }
    if (tls_)
        shakeHands();
    else {
        outbox_ = std::make_shared<AnswerTimer::Outbox>();
        outbox_->descriptor = descriptor_;
    }
    opened_ = true;
}

// The caller has the context's limit to finish its handshake; a stop ends the wait at once.
void ConnectionLine::shakeHands() {
    session_ = std::make_unique<TlsSession>(*tls_, descriptor_);
    const Millis limit = tls_->handshakeLimit(), deadline = now() + limit;
    for (;;) {
        const TlsSession::Step step = session_->handshake();
        if (step == TlsSession::Step::Done)
            return;
        QString refusal;
        if (stop_) {
            refusal = QStringLiteral("the port closed during the TLS handshake");
        } else if (step == TlsSession::Step::Closed && session_->bytesReceived() == 0) {
            silent_ = true; // a health check, a port scan: as on a plain line, no refusal
            refusal = QStringLiteral("the caller hung up before a byte");
        } else if (step == TlsSession::Step::Closed || step == TlsSession::Step::Failed) {
            refusal = session_->failure();
        } else if (now() >= deadline) {
            refusal = QStringLiteral("the TLS handshake took longer than %1 s")
                          .arg(static_cast<double>(limit.count()) / 1000.0);
        }
        if (!refusal.isEmpty()) {
            hangUp();
            throw CallRefused(refusal);
        }
        pollfd fd{};
        fd.fd = socketOf(descriptor_);
        fd.events = step == TlsSession::Step::WantWrite ? POLLOUT : POLLIN;
        pollOne(&fd, static_cast<int>(std::max<Millis::rep>(1, (deadline - now()).count())));
    }
}

std::optional<QString> ConnectionLine::certifiedRestaurant() const {
    return session_ ? session_->restaurant() : std::nullopt;
}

void ConnectionLine::close() {
    hangUp();
}

void ConnectionLine::hangUp() {
    QMutexLocker lock(&mutex_);
    if (descriptor_ < 0)
        return;
    if (session_)
        session_->close();
    if (outbox_) {
        // Answers not yet due go no more, and the timer never writes to a reused descriptor.
        const std::lock_guard closing(outbox_->mutex);
        outbox_->descriptor = -1;
        outbox_->waiting.clear();
    }
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
    if (outbox_ && waitingAnswers()) {
        // After the answers handed over, with the last of them (its thread runs already).
        AnswerTimer::shared().schedule(outbox_, AnswerTimer::Clock::now(), bytes);
        return;
    }
    unsent_ += bytes;
    // A caller that reads nothing while the station sends cannot make it hold much either.
    if (!flushOutput() || unsent_.size() > kMaxBuffered)
        hangUp();
}

bool ConnectionLine::waitingAnswers() const {
    const std::lock_guard lock(outbox_->mutex);
    return !outbox_->waiting.empty();
}

bool ConnectionLine::OutputAt(const QByteArray& bytes, Millis due) {
    // What waits to go from this thread goes first, from this thread.
    if (!isOpen() || !outbox_ || !unsent_.isEmpty())
        return false;
    return AnswerTimer::shared().schedule(outbox_, AnswerTimer::Clock::now() + (due - now()),
                                          bytes);
}

// Sends what the system takes now; false when the connection failed.
bool ConnectionLine::flushOutput() {
    while (session_ && !unsent_.isEmpty()) {
        // No more than a record at a time: a write to be tried again is tried with as much.
        const auto io =
            session_->write(unsent_.constData(), std::min<qint64>(unsent_.size(), 16384));
        if (io.step != TlsSession::Step::Done)
            return io.step == TlsSession::Step::WantRead || io.step == TlsSession::Step::WantWrite;
        unsent_.remove(0, io.bytes);
    }
    while (!unsent_.isEmpty()) {
        const auto sent = ::send(socketOf(descriptor_), unsent_.constData(),
                                 static_cast<int>(unsent_.size()), kNoSignal | kDontWait);
        if (sent < 0)
            return tryAgainLater();
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
// A read stops once the system has nothing more at hand (a short read, or a session with no
// input held back), so a paced call costs one read per block and never one that finds nothing.
bool ConnectionLine::readWaiting(bool wait) {
    char chunk[16 * 1024];
    wantWrite_ = false;
    for (qint64 read = 0; read < kMaxBuffered; wait = false) {
        qint64 got = 0;
        if (session_) {
            const auto io = session_->read(chunk, sizeof chunk);
            if (io.step == TlsSession::Step::WantWrite)
                wantWrite_ = true;
            if (io.step == TlsSession::Step::WantRead || io.step == TlsSession::Step::WantWrite)
                return true;
            got = io.step == TlsSession::Step::Done ? io.bytes : 0;
        } else {
            got = ::recv(socketOf(descriptor_), chunk, sizeof chunk, wait ? 0 : kDontWait);
        }
        if (got > 0) {
            read += got;
            buffer_.append(chunk, got);
            if (buffer_.size() > kMaxBuffered) {
                buffer_ = buffer_.right(kMaxBuffered);
                seenBytes_ = std::min(seenBytes_, kMaxBuffered - 1);
            }
            if (session_ ? !session_->holdsInput() : got < qint64(sizeof chunk))
                return true;
            continue;
        }
        if (got == 0)
            return false; // the caller closed, or its encryption failed
        return tryAgainLater();
    }
    return true;
}

// A plain connection with nothing to send and a slice or more to wait waits in its read: a
// block that arrives costs one system call. Otherwise the descriptor is asked first and read
// only when it has something: a wait that runs out costs one poll, a block one poll and a read.
Line::Wake ConnectionLine::waitUntil(Millis deadline) {
    for (;;) {
        if (stop_)
            return Wake::Stop;
        if (!isOpen())
            return Wake::Deadline;
        // A session may hold input the descriptor no longer shows: look without waiting.
        const bool held = session_ && session_->holdsInput();
        const Millis left = held ? Millis(0) : std::max(deadline - now(), Millis(0));
        bool connected = true;
        if (readsWait_ && unsent_.isEmpty() && left >= kReadSlice) {
            connected = readWaiting(true); // a stop shuts the connection: the read returns
            if (stop_)
                return Wake::Stop;
        } else {
            pollfd fd{};
            fd.fd = socketOf(descriptor_);
            fd.events = POLLIN | (unsent_.isEmpty() && !wantWrite_ ? 0 : POLLOUT);
            const int ready =
                pollOne(&fd, static_cast<int>(std::min<Millis::rep>(left.count(), 1 << 30)));
            if (stop_)
                return Wake::Stop;
            const bool readable =
                held || (ready > 0 && ((fd.revents & (POLLIN | POLLHUP | POLLERR)) != 0 ||
                                       (wantWrite_ && (fd.revents & POLLOUT) != 0)));
            // What the caller sent before hanging up is delivered before the hang-up.
            connected = !readable || readWaiting();
        }
        connected = connected && flushOutput();
        if (buffer_.size() > seenBytes_) {
            seenBytes_ = buffer_.size();
            return Wake::Data;
        }
        if (!connected) {
            hangUp();
            return Wake::Carrier;
        }
        if (now() >= deadline)
            return Wake::Deadline;
    }
}

} // namespace dialvane
