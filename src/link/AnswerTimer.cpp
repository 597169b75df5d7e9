#include "link/AnswerTimer.h"

#include "link/SocketCalls.h"

#include <system_error>

namespace dialvane {

using namespace sockets;

AnswerTimer& AnswerTimer::shared() {
    static AnswerTimer timer;
    return timer;
}

AnswerTimer::~AnswerTimer() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

bool AnswerTimer::schedule(const std::shared_ptr<Outbox>& outbox, Clock::time_point due,
                           QByteArray bytes) {
    {
        const std::lock_guard lock(mutex_);
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                return false; // a system short of threads: the call waits for the moment itself
            }
        }
    }
    {
        const std::lock_guard lock(outbox->mutex);
        // Never before what the connection handed over earlier.
        if (!outbox->waiting.empty())
            due = std::max(due, outbox->waiting.back().first);
        outbox->waiting.emplace_back(due, std::move(bytes));
    }
    bool sooner = false;
    {
        const std::lock_guard lock(mutex_);
        sooner = due_.empty() || due < due_.top().at;
        due_.push({due, outbox});
    }
    if (sooner)
        changed_.notify_one();
    return true;
}

// Sleeps until the first answer has been due for kGather, then sends every answer due by
// then: a wake-up sends the answers of all the calls whose moments fell in that span.
void AnswerTimer::run() {
    std::unique_lock lock(mutex_);
    std::vector<std::shared_ptr<Outbox>> ready;
    while (!ending_) {
        if (due_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const Clock::time_point wakeAt = due_.top().at + kGather;
        if (Clock::now() < wakeAt) {
            changed_.wait_until(lock, wakeAt);
            continue;
        }
        const Clock::time_point now = Clock::now();
        while (!due_.empty() && due_.top().at <= now) {
            ready.push_back(due_.top().outbox);
            due_.pop();
        }
        lock.unlock();
        for (const auto& outbox : ready)
            sendDue(*outbox, now);
        ready.clear();
        lock.lock();
    }
}

void AnswerTimer::sendDue(Outbox& outbox, Clock::time_point now) {
    const std::lock_guard lock(outbox.mutex);
    while (outbox.descriptor >= 0 && !outbox.waiting.empty() &&
           outbox.waiting.front().first <= now) {
        const QByteArray& bytes = outbox.waiting.front().second;
        const auto sent = ::send(socketOf(outbox.descriptor), bytes.constData(),
                                 static_cast<int>(bytes.size()), kNoSignal | kDontWait);
        if (sent != bytes.size()) {
            // A caller that reads nothing while it is answered: the call ends as a hang-up.
            ::shutdown(socketOf(outbox.descriptor), kShutBoth);
            outbox.waiting.clear();
            return;
        }
        outbox.waiting.pop_front();
    }
}

} // namespace dialvane
