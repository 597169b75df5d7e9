#include "link/CallPool.h"

#include <algorithm>

namespace dialvane {

namespace {

// Passes a call's events on, and a refused end to the defender first, whoever tells it (the
// engine, or the pool for a connection that never became a call): once the journal has the
// call, its address's next connection already meets the count.
class DefendedEvents final : public LinkEventSink {
public:
    DefendedEvents(LinkEventSink& next, Defender* defender, const QHostAddress& from)
        : next_(next), defender_(defender), from_(from) {}
    void handle(const LinkEvent& event) override {
        if (defender_ && event.kind == LinkEvent::Kind::CallEnded &&
            event.summary.outcome == CallOutcome::Refused)
            defender_->refused(from_);
        next_.handle(event);
    }

private:
    LinkEventSink& next_;
    Defender* defender_;
    QHostAddress from_;
};

} // namespace

struct CallPool::Call {
    Call(qintptr descriptor, const QString& peer, const QHostAddress& from, std::uint64_t number,
         LinkConfig config, std::shared_ptr<const TlsContext> tls)
        : line(descriptor, peer, std::move(tls)), from(from), number(number),
          config(std::move(config)) {}

    ConnectionLine line;
    QHostAddress from;
    std::uint64_t number;
    LinkConfig config; // as it was when the call was taken: a reload changes only later calls
    CallThread thread;
    std::atomic<bool> finished{false};
};

CallPool::CallPool(LinkConfig config, int portNumber, LinkEventSink& events,
                   std::shared_ptr<Defender> defender)
    : config_(std::move(config)), portNumber_(portNumber), events_(events),
      defender_(std::move(defender)) {}

CallPool::~CallPool() {
    stopAll();
}

void CallPool::stopAll() {
    for (auto& call : calls_)
        call->line.stop();
    for (auto& call : calls_)
        call->thread.join();
    calls_.clear();
    reaped_ = finished_;
}

int CallPool::callsInProgress() {
    reap();
    return static_cast<int>(calls_.size());
}

int CallPool::callsFrom(const QHostAddress& address) {
    reap();
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const auto& call) {
        return call->from.isEqual(address, QHostAddress::TolerantConversion);
    }));
}

bool CallPool::take(qintptr descriptor, const QString& peer, const QHostAddress& from,
                    std::uint64_t number) {
    auto call = std::make_unique<Call>(descriptor, peer, from, number, config_, tls_);
    Call* running = call.get();
    // A thread the system refused never ran: the descriptor closes with the call.
    if (!call->thread.start([this, running] { run(*running); }, kStackBytes))
        return false;
    calls_.push_back(std::move(call));
    return true;
}

// On the call's thread, from the carrier up to the hang-up.
void CallPool::run(Call& call) {
    DefendedEvents events(events_, defender_.get(), call.from);
    TransferLink engine(call.line, events, call.config);
    bool answered = false;
    try {
        call.line.open(LineSettings{});
        answered = true;
        engine.AnswerCall(portNumber_, call.number);
    } catch (const std::exception& failure) {
        // The connection could not become a call (the engine tells a call it answered
        // itself, failed or not): the journal still keeps it.
        if (!answered) {
            LinkEvent ended{LinkEvent::Kind::CallEnded};
            ended.call = call.number;
            ended.portNumber = portNumber_;
            ended.device = call.config.device;
            ended.summary.start = call.config.clock->localTime();
            ended.summary.port = QStringLiteral("COM%1").arg(portNumber_);
            ended.summary.device = call.config.device;
            ended.summary.peer = call.line.peerAddress();
            // Refused: a failed handshake counts against its address as any refused call. A
            // caller gone before its first byte is a silent call, as on a plain line.
            if (call.line.silent()) {
                ended.summary.outcome = CallOutcome::Dropped;
            } else {
                ended.summary.reason = describeFailure(failure);
                ended.summary.outcome = call.line.stopRequested() ? CallOutcome::Stopped
                                        : dynamic_cast<const CallRefused*>(&failure)
                                            ? CallOutcome::Refused
                                            : CallOutcome::Failed;
            }
            events.handle(ended);
        }
    }
    call.line.close();
    call.finished = true;
    ++finished_;
}

void CallPool::reap() {
    if (finished_ == reaped_)
        return; // asked every poll of the line: with a thousand calls waiting, no walk
    reaped_ = finished_;
    for (auto it = calls_.begin(); it != calls_.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            it = calls_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace dialvane
