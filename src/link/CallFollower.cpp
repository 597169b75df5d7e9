#include "link/CallFollower.h"

namespace dialvane {

bool CallFollower::started(std::uint64_t call) {
    running_.insert(call);
    return follows(call);
}

bool CallFollower::ended(std::uint64_t call) {
    const bool wasFollowed = follows(call);
    running_.erase(call);
    return wasFollowed;
}

std::optional<std::uint64_t> CallFollower::followed() const {
    if (running_.empty())
        return std::nullopt;
    return *running_.rbegin();
}

} // namespace dialvane
