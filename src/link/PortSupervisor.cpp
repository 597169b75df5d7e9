#include "link/PortSupervisor.h"

#include <QMutexLocker>

#include <algorithm>
#include <climits>

namespace dialvane {

PortSupervisor::PortSupervisor(LineFactory factory, LinkEventSink& events, const Clock& clock)
    : factory_(std::move(factory)), events_(events), clock_(clock),
      line_({[this] { return stopCalls_ || (pending_ && engine_.waitingForCalls()); },
             [this] { return stopCalls_.load(); }, [this] { beatWhenDue(); },
             [this] { sleepWithoutPort(); }}),
      engine_(line_, events_, LinkConfig{}) {}

void PortSupervisor::post(Request request) {
    QMutexLocker lock(&mutex_);
    queue_.push_back(std::move(request));
    ++posted_;
    recount();
    wake_.wakeAll();
}

// Under the mutex.
void PortSupervisor::recount() {
    pending_ = !queue_.empty();
    stopCalls_ = std::any_of(queue_.begin(), queue_.end(), [](const Request& request) {
        return request.kind != Request::Kind::Retune;
    });
}

void PortSupervisor::waitIdle() {
    QMutexLocker lock(&mutex_);
    const long target = posted_;
    while (done_ < target)
        idle_.wait(&mutex_);
}

void PortSupervisor::setHeartbeat(std::function<void()> beat, Millis interval) {
    QMutexLocker lock(&mutex_);
    beat_ = std::move(beat);
    beatInterval_ = interval;
    wake_.wakeAll();
}

void PortSupervisor::run() {
    for (;;) {
        if (retryDue()) {
            handle({Request::Kind::Reopen, lastRequest_}, true);
            continue;
        }
        std::optional<Request> request = next();
        if (!request) {
            if (line_.isOpen())
                serve();
            continue;
        }
        const bool quit = request->kind == Request::Kind::Quit;
        handle(*request, false);
        {
            QMutexLocker lock(&mutex_);
            ++done_;
            idle_.wakeAll();
        }
        if (quit)
            return;
    }
}

// The next request of the owner, or none when the port is open and waits for calls. With no
// port open there is nothing to serve: it sleeps until a request comes or a retry is due.
std::optional<PortSupervisor::Request> PortSupervisor::next() {
    QMutexLocker lock(&mutex_);
    while (queue_.empty() && !line_.isOpen() && !retryDue()) {
        wake_.wait(&mutex_, sleepMs());
        if (queue_.empty()) {
            lock.unlock();
            beatWhenDue();
            lock.relock();
        }
    }
    if (queue_.empty())
        return std::nullopt;
    Request request = std::move(queue_.front());
    queue_.pop_front();
    recount();
    return request;
}

// The engine answers calls until a request waits. A failure of the port (a failure inside a
// call ends that call first) closes it; the operator is told once, and it is tried again.
void PortSupervisor::serve() {
    try {
        engine_.Serve();
    } catch (const std::exception& failure) {
        engine_.ClosePort();
        line_.detach();
        portFailed(lastRequest_, LinkEvent::PortFailure::FailedWhileOpen, describeFailure(failure),
                   true);
    }
}

namespace {

// The calls' events and journal rows name the device.
PortRequest prepared(PortRequest port) {
    port.config.device = port.device;
    return port;
}

} // namespace

void PortSupervisor::handle(const Request& request, bool retry) {
    if (request.kind == Request::Kind::Retune) {
        retune(prepared(request.port));
        return;
    }
    if (request.kind == Request::Kind::Swap && line_.isOpen()) {
        swap(prepared(request.port));
        return;
    }
    retryAt_.reset(); // a request of the owner replaces any try still to come
    // The calls in progress end as a hang-up would, before the port closes.
    engine_.ClosePort();
    line_.detach();
    if (request.kind == Request::Kind::Close || request.kind == Request::Kind::Quit)
        return;
    const PortRequest port = prepared(request.port);
    lastRequest_ = port;
    QString failure;
    if (!open(port, failure)) {
        // Said once: the tries that follow fail quietly until one works.
        portFailed(port, LinkEvent::PortFailure::CannotOpen, failure, !retry);
        return;
    }
    opened(port, retry);
}

// Opens `port` on the line, which has none; false, with the reason, when it cannot.
bool PortSupervisor::open(const PortRequest& port, QString& failure) {
    try {
        line_.attach(factory_(port, events_));
        engine_.setConfig(port.config);
        engine_.OpenPort(port.connection, port.speed, port.portNumber);
        return true;
    } catch (const std::exception& error) {
        line_.detach();
        failure = describeFailure(error);
        return false;
    }
}

void PortSupervisor::opened(const PortRequest& port, bool restored) {
    LinkEvent opened{LinkEvent::Kind::PortOpened};
    opened.portNumber = port.portNumber;
    opened.device = port.device;
    opened.restored = restored;
    if (restored)
        opened.text =
            QStringLiteral("COM%1 (%2) opened again").arg(port.portNumber).arg(port.device);
    events_.handle(opened);
}

void PortSupervisor::swap(const PortRequest& port) {
    const PortRequest inService = lastRequest_;
    QString failure;
    const auto kept = [&] {
        LinkEvent kept{LinkEvent::Kind::PortKept};
        kept.portNumber = port.portNumber;
        kept.device = port.device;
        kept.text = failure;
        events_.handle(kept);
    };
    if (port.device != inService.device) {
        const TransferLink::PortState state = engine_.portState();
        std::unique_ptr<Line> old = line_.release();
        if (!open(port, failure)) {
            line_.attach(std::move(old));
            engine_.restorePortState(state);
            kept();
            return;
        }
        try {
            old->close(); // its calls end as a hang-up would
        } catch (...) {
            // A port that failed is closed enough.
        }
        lastRequest_ = port;
        opened(port, false);
        return;
    }
    // One device cannot be opened twice: closed, then opened with the new settings or, when
    // they fail, with the old ones again.
    engine_.ClosePort();
    line_.detach();
    if (open(port, failure)) {
        lastRequest_ = port;
        opened(port, false);
        return;
    }
    kept();
    QString again;
    if (open(inService, again))
        opened(inService, true);
    else
        portFailed(inService, LinkEvent::PortFailure::CannotOpen, again, true);
}

// The port stays as it is, open or waiting for its next try.
void PortSupervisor::retune(const PortRequest& port) {
    lastRequest_.config = port.config;
    lastRequest_.reopenInterval = port.reopenInterval;
    engine_.setConfig(lastRequest_.config);
    line_.setCallConfig(lastRequest_.config);
}

void PortSupervisor::portFailed(PortRequest request, LinkEvent::PortFailure failure,
                                const QString& reason, bool say) {
    if (say) {
        LinkEvent closed{LinkEvent::Kind::PortClosed};
        closed.portNumber = request.portNumber;
        closed.device = request.device;
        closed.failure = failure;
        closed.text = reason;
        events_.handle(closed);
    }
    if (request.reopenInterval > Millis(0))
        retryAt_ = clock_.monotonic() + request.reopenInterval;
}

bool PortSupervisor::retryDue() const {
    return retryAt_ && clock_.monotonic() >= *retryAt_;
}

// How long the link's thread may sleep with no port open: until the heartbeat or the next
// try is due, whichever comes first.
unsigned long PortSupervisor::sleepMs() const {
    const Millis now = clock_.monotonic();
    Millis sleep = Millis::max();
    if (beat_)
        sleep = beatInterval_;
    if (retryAt_)
        sleep = std::min(sleep, std::max(Millis(0), *retryAt_ - now));
    return sleep == Millis::max() ? ULONG_MAX : static_cast<unsigned long>(sleep.count());
}

void PortSupervisor::sleepWithoutPort() {
    QMutexLocker lock(&mutex_);
    if (!pending_)
        wake_.wait(&mutex_, sleepMs());
}

void PortSupervisor::beatWhenDue() {
    std::function<void()> beat;
    {
        QMutexLocker lock(&mutex_);
        const Millis now = clock_.monotonic();
        if (!beat_ || (beaten_ && now - *beaten_ < beatInterval_))
            return;
        beaten_ = now;
        beat = beat_;
    }
    beat();
}

} // namespace dialvane
