#include "link/CallPool.h"

#include "link/LinkObserver.h"

namespace dialvane {

struct CallPool::Call {
    Call(qintptr descriptor, const QString& peer) : line(descriptor, peer) {}

    ConnectionLine line;
    std::unique_ptr<LinkObserver> observer;
    std::unique_ptr<QThread> thread;
    std::atomic<bool> finished{false};
};

CallPool::CallPool(LinkConfig config, int portNumber, ObserverFactory observerFor)
    : config_(std::move(config)), portNumber_(portNumber), observerFor_(std::move(observerFor)) {}

CallPool::~CallPool() {
    for (auto& call : calls_)
        call->line.stop();
    for (auto& call : calls_)
        call->thread->wait();
}

int CallPool::callsInProgress() {
    reap();
    return static_cast<int>(calls_.size());
}

bool CallPool::take(qintptr descriptor, const QString& peer) {
    auto call = std::make_unique<Call>(descriptor, peer);
    call->observer = observerFor_();
    Call* running = call.get();
    call->thread.reset(QThread::create([this, running] { run(*running); }));
    call->thread->setStackSize(kStackBytes);
    call->thread->start();
    // A thread the system refused never ran: the descriptor closes with the call.
    if (!call->thread->isRunning() && !call->thread->isFinished())
        return false;
    calls_.push_back(std::move(call));
    return true;
}

// On the call's thread, from the carrier up to the hang-up.
void CallPool::run(Call& call) {
    TransferLink engine(call.line, *call.observer, config_);
    try {
        call.line.open(LineSettings{});
        engine.AnswerCall(portNumber_);
    } catch (const std::exception& failure) {
        call.observer->lineNotice(describeFailure(failure));
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
            (*it)->thread->wait();
            it = calls_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace dialvane
