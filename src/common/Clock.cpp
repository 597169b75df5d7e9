#include "common/Clock.h"

#include <QElapsedTimer>

namespace dialvane {

namespace {

class SystemClock final : public Clock {
public:
    SystemClock() { elapsed_.start(); }
    std::chrono::milliseconds monotonic() const override {
        return std::chrono::milliseconds(elapsed_.elapsed());
    }
    QDateTime localTime() const override { return QDateTime::currentDateTime(); }

private:
    QElapsedTimer elapsed_;
};

} // namespace

const Clock& systemClock() {
    static const SystemClock clock;
    return clock;
}

} // namespace dialvane
