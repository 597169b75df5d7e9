#pragma once
// A clock a test sets: monotonic time moves only when told, local time with it.

#include "common/Clock.h"

namespace dialvane::test {

class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 12, 5), QTime(14, 5, 9)))
        : start_(std::move(start)) {}
    std::chrono::milliseconds monotonic() const override { return now_; }
    QDateTime localTime() const override { return start_.addMSecs(now_.count()); }
    void advance(std::chrono::milliseconds by) { now_ += by; }

private:
    QDateTime start_;
    std::chrono::milliseconds now_{0};
};

} // namespace dialvane::test
