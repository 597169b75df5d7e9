#pragma once
// Descriptors, the one resource a network line under attack runs out of first. At start the
// station takes every descriptor the system lets it have, and a MaxCalls beyond what they can
// serve is lowered, so that a flood of callers meets "busy", never a station that cannot open
// a file for the calls it already took.

#include <cstdint>

namespace dialvane {

// What one call may hold at once: its connection, the file it receives or sends, a transfer
// log, and its trace.
inline constexpr int kDescriptorsPerCall = 4;
// Kept for the station itself: the port, the journal, the settings, Qt's own.
inline constexpr int kDescriptorsKept = 64;

// Raises the soft limit on open descriptors to the hard one and returns the limit in effect
// (a large number where the system sets none).
long raiseDescriptorLimit();

// The most calls `limit` descriptors can serve at once (at least 1).
int callsAllowedBy(long limit);

} // namespace dialvane
