#include "link/Defender.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstring>
#include <utility>

namespace dialvane {

using std::chrono::milliseconds;

Defender::Defender(DefenderSettings settings, const Clock& clock, std::size_t capacity)
    : settings_(settings), clock_(clock), capacity_(std::max<std::size_t>(capacity, 1)) {
    // Grown once, up front: a flood of new addresses never rehashes the table.
    if (settings_.blockAfter > 0)
        table_.reserve(capacity_);
}

std::size_t Defender::KeyHash::operator()(const Key& key) const noexcept {
    std::uint64_t high = 0, low = 0;
    std::memcpy(&high, key.data(), 8);
    std::memcpy(&low, key.data() + 8, 8);
    return std::hash<std::uint64_t>()(high * 0x9E3779B97F4A7C15ull ^ low);
}

Defender::Key Defender::keyOf(const QHostAddress& address) {
    const Q_IPV6ADDR v6 = address.toIPv6Address(); // IPv4 comes back mapped
    Key key{};
    std::memcpy(key.data(), v6.c, key.size());
    return key;
}

bool Defender::blocked(const Entry& entry, milliseconds now) const {
    return entry.blockedUntil > now;
}

// Nothing left to remember: no block, and no window still counting.
bool Defender::stale(const Entry& entry, milliseconds now) const {
    return !blocked(entry, now) && now - entry.windowStart >= settings_.window;
}

Defender::Entry& Defender::track(const Key& key, milliseconds now) {
    if (const auto found = table_.find(key); found != table_.end())
        return found->second;
    if (table_.size() >= capacity_) {
        std::erase_if(table_, [&](const auto& item) { return stale(item.second, now); });
        if (table_.size() >= capacity_)
            table_.erase(
                std::min_element(table_.begin(), table_.end(), [](const auto& a, const auto& b) {
                    return a.second.lastHeard < b.second.lastHeard;
                }));
    }
    Entry& entry = table_[key];
    entry.windowStart = now;
    return entry;
}

Defender::Verdict Defender::admit(const QHostAddress& address) {
    if (settings_.blockAfter <= 0)
        return Verdict::Admit;
    const milliseconds now = clock_.monotonic();
    const QMutexLocker lock(&mutex_);
    const auto found = table_.find(keyOf(address));
    if (found == table_.end() || !blocked(found->second, now))
        return Verdict::Admit;
    found->second.lastHeard = now;
    return std::exchange(found->second.blockSaid, true) ? Verdict::TurnAway
                                                        : Verdict::TurnAwayFirst;
}

void Defender::refused(const QHostAddress& address) {
    if (settings_.blockAfter <= 0)
        return;
    const milliseconds now = clock_.monotonic();
    const QMutexLocker lock(&mutex_);
    Entry& entry = track(keyOf(address), now);
    entry.lastHeard = now;
    if (blocked(entry, now))
        return; // a call taken before the block began: the block stands as it is
    if (now - entry.windowStart >= settings_.window || entry.blockedUntil > milliseconds(0)) {
        entry = Entry{}; // a new window; a block that is over is forgotten with the old one
        entry.windowStart = now;
        entry.lastHeard = now;
    }
    if (++entry.refusals >= settings_.blockAfter) {
        entry.blockedUntil = now + settings_.blockFor;
        entry.blockSaid = false;
    }
}

std::size_t Defender::tracked() const {
    const QMutexLocker lock(&mutex_);
    return table_.size();
}

} // namespace dialvane
