#pragma once
// The defender of a network line: an address that keeps making calls the station refuses (a
// zero or unsafe header, a stranger outside AllowFrom, a failed handshake) is a scanner or a
// misconfigured site, and after `blockAfter` refusals within `window` it is turned away at
// accept, unread, for `blockFor`. Being in AllowFrom does not exempt an address: an allowed
// range is where a compromised machine would call from.
//
// Counting: the first refusal opens a window of `window`; the refusals inside it are counted,
// and one that comes after it opens a new one. The block starts at the refusal that reaches
// `blockAfter` and ends `blockFor` later, when the address starts from nothing again.
//
// Memory: at most `capacity` addresses are tracked, whatever number of addresses try. A new
// address at the cap first clears out those whose window and block are both over, then evicts
// the one heard from longest ago. Each entry costs kBytesPerEntry (hash node, key, counters and
// its bucket), so the default cap holds the tracking table under half a megabyte.
//
// Thread-safe: the acceptor consults it and the calls' threads feed it. Time is the clock's
// monotonic time. Nothing here throws but std::bad_alloc.

#include "common/Clock.h"

#include <QHostAddress>
#include <QMutex>

#include <array>
#include <cstddef>
#include <unordered_map>

namespace dialvane {

struct DefenderSettings {
    int blockAfter = 10; // refusals that block an address; 0: the defender is off
    std::chrono::milliseconds window = std::chrono::minutes(15);   // they are counted over
    std::chrono::milliseconds blockFor = std::chrono::minutes(15); // and how long it lasts
    bool operator==(const DefenderSettings&) const = default;
};

class Defender {
public:
    static constexpr std::size_t kDefaultCapacity = 4096;

    explicit Defender(DefenderSettings settings = {}, const Clock& clock = systemClock(),
                      std::size_t capacity = kDefaultCapacity);

    enum class Verdict {
        Admit,
        TurnAwayFirst, // the first caller turned away in this block: say so once
        TurnAway,      // turned away again: said already
    };
    // Whether a connection from `address` may become a call.
    Verdict admit(const QHostAddress& address);
    // A call from `address` ended refused.
    void refused(const QHostAddress& address);

    std::size_t tracked() const;
    const DefenderSettings& settings() const { return settings_; }

    // One tracked address, as the table holds it.
    using Key = std::array<quint8, 16>; // IPv4 as IPv4-mapped IPv6: one address, one entry
    struct Entry {
        std::chrono::milliseconds windowStart{0};
        std::chrono::milliseconds blockedUntil{0};
        std::chrono::milliseconds lastHeard{0};
        int refusals = 0;
        bool blockSaid = false;
    };
    static constexpr std::size_t kBytesPerEntry =
        sizeof(void*) + sizeof(std::size_t) + sizeof(Key) + sizeof(Entry) + sizeof(void*);

private:
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };
    using Table = std::unordered_map<Key, Entry, KeyHash>;

    static Key keyOf(const QHostAddress& address);
    bool blocked(const Entry& entry, std::chrono::milliseconds now) const;
    bool stale(const Entry& entry, std::chrono::milliseconds now) const;
    Entry& track(const Key& key, std::chrono::milliseconds now);

    const DefenderSettings settings_;
    const Clock& clock_;
    const std::size_t capacity_;
    mutable QMutex mutex_;
    Table table_;
};

} // namespace dialvane
