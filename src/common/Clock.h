#pragma once
// The station's one clock: monotonic time for waits, retries and heartbeats, local wall time
// for file names, the purge and the password of the day. Everything that asks the time is
// handed a Clock, so that a test can set and move it instead of waiting.

#include <QDateTime>

#include <chrono>

namespace dialvane {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds from an arbitrary start; never goes back.
    virtual std::chrono::milliseconds monotonic() const = 0;
    virtual QDateTime localTime() const = 0;
};

// The computer's clocks.
const Clock& systemClock();

} // namespace dialvane
