#pragma once
// A peer's actions in the order they fall due: by time, and in the order decided for equal
// times. The simulated line runs it in virtual time, dialvane-site against a real clock.

#include "site/Peer.h"

#include <queue>
#include <vector>

namespace dialvane::site {

class ActionQueue {
public:
    void push(const Action& action) { queue_.push({action, sequence_++}); }
    // Takes everything `peer` has decided since it was last asked.
    void collect(Peer& peer) {
        for (const Action& action : peer.takeActions())
            push(action);
    }
    bool empty() const { return queue_.empty(); }
    const Action& top() const { return queue_.top().action; }
    Action pop() {
        Action action = queue_.top().action;
        queue_.pop();
        return action;
    }
    // True while an action other than a timer waits: bytes or a carrier change still to come.
    bool lineActionsLeft() const {
        for (auto copy = queue_; !copy.empty(); copy.pop())
            if (copy.top().action.kind != Action::Kind::Timer)
                return true;
        return false;
    }

private:
    struct Pending {
        Action action;
        long sequence;
        bool operator>(const Pending& other) const {
            return action.at != other.action.at ? action.at > other.action.at
                                                : sequence > other.sequence;
        }
    };
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> queue_;
    long sequence_ = 0;
};

} // namespace dialvane::site
