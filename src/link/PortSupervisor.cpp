#include "link/PortSupervisor.h"

#include <QMutexLocker>

#include <climits>

namespace dialvane {

PortSupervisor::PortSupervisor(LineFactory factory, LinkEventSink& events, const Clock& clock)
    : factory_(std::move(factory)), events_(events), clock_(clock),
      line_({[this] { return pending_.load(); }, [this] { beatWhenDue(); },
             [this] { sleepWithoutPort(); }}),
      engine_(line_, events_, LinkConfig{}) {}

void PortSupervisor::post(Request request) {
    QMutexLocker lock(&mutex_);
    queue_.push_back(std::move(request));
    ++posted_;
    pending_ = true;
    wake_.wakeAll();
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
    pending_ = !queue_.empty();
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

void PortSupervisor::handle(const Request& request, bool retry) {
    retryAt_.reset(); // a request of the owner replaces any try still to come
    // The calls in progress end as a hang-up would, before the port closes.
    engine_.ClosePort();
    line_.detach();
    if (request.kind != Request::Kind::Reopen)
        return;
    PortRequest port = request.port;
    port.config.device = port.device; // the calls' events and journal rows name it
    lastRequest_ = port;
    try {
        line_.attach(factory_(port, events_));
        engine_.setConfig(port.config);
        engine_.OpenPort(port.connection, port.speed, port.portNumber);
    } catch (const std::exception& failure) {
        line_.detach();
        // Said once: the tries that follow fail quietly until one works.
        portFailed(port, LinkEvent::PortFailure::CannotOpen, describeFailure(failure), !retry);
        return;
    }
    LinkEvent opened{LinkEvent::Kind::PortOpened};
    opened.portNumber = port.portNumber;
    opened.device = port.device;
    opened.restored = retry;
    if (retry)
        opened.text =
            QStringLiteral("COM%1 (%2) opened again").arg(port.portNumber).arg(port.device);
    events_.handle(opened);
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
