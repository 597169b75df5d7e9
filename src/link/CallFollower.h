#pragma once
// Which call a single view follows when a network line has several at once: the most recent
// (by call number, taken when the call was accepted), and when that one ends the most recent
// of those still running. Plain bookkeeping, no threads: the status window's presenter and the
// service's status line each keep one, fed by the same events.

#include <cstdint>
#include <optional>
#include <set>

namespace dialvane {

class CallFollower {
public:
    // A call started; true when the view now follows it.
    bool started(std::uint64_t call);
    // A call ended; true when it was the one followed (the view turns to `followed()`, if any).
    bool ended(std::uint64_t call);

    std::optional<std::uint64_t> followed() const;
    bool follows(std::uint64_t call) const { return followed() == call; }
    int running() const { return static_cast<int>(running_.size()); }

private:
    std::set<std::uint64_t> running_;
};

} // namespace dialvane
