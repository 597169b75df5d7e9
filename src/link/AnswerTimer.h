#pragma once
// The answers of every call on the network lines, sent when they fall due from one thread.
//
// A call answers each block a send delay after it ended and then waits for the next one. Were
// it to wait for the moment itself, each block would wake its thread twice (the moment, the
// next block); a thousand calls at once would wake the station ten thousand times a second.
// Handed here, an answer goes with the others that fall due within kGather of it, in one
// wake-up of this thread, and the call's thread is woken only by the next block.
//
// An answer never goes before its moment, and no later than kGather after it (and the
// system's own lateness). A connection's answers go in the order they were handed over, and
// none goes once the connection is closed: the two share an Outbox whose lock the timer holds
// while it sends, so a descriptor closed (and perhaps reused by another call) is never
// written to.

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace dialvane {

class AnswerTimer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kGather{1};

    // What one connection has handed over and not yet sent.
    struct Outbox {
        std::mutex mutex;
        qintptr descriptor = -1; // -1 once the connection is closed: nothing more goes
        std::deque<std::pair<Clock::time_point, QByteArray>> waiting;
    };

    // The station's one timer; its thread starts with the first answer.
    static AnswerTimer& shared();
    ~AnswerTimer();

    // `bytes` go on `outbox`'s connection at `due`, after what it holds already. A send the
    // system does not take whole shuts the connection: its call then ends as a hang-up. False
    // when the timer's thread cannot be started: nothing was taken.
    bool schedule(const std::shared_ptr<Outbox>& outbox, Clock::time_point due, QByteArray bytes);

private:
    struct Due {
        Clock::time_point at;
        std::shared_ptr<Outbox> outbox;
        bool operator>(const Due& other) const { return at > other.at; }
    };

    void run();
    static void sendDue(Outbox& outbox, Clock::time_point now);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> due_;
    bool ending_ = false;
    std::thread thread_;
};

} // namespace dialvane
