#include "station/Readiness.h"

#ifdef DIALVANE_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace dialvane::readiness {

namespace {

void notify(const QByteArray& state) {
#ifdef DIALVANE_HAVE_SYSTEMD
    sd_notify(0, state.constData());
#else
    Q_UNUSED(state);
#endif
}

} // namespace

void ready() {
    notify("READY=1");
}

void status(const QString& text) {
    // One line: a restaurant number from the line never carries a line end here, but be sure.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    notify("STATUS=" + line.toUtf8());
}

void stopping() {
    notify("STOPPING=1");
}

void watchdog() {
    notify("WATCHDOG=1");
}

std::optional<std::chrono::milliseconds> watchdogInterval() {
#ifdef DIALVANE_HAVE_SYSTEMD
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        return std::chrono::milliseconds(usec / 2000);
#endif
    return std::nullopt;
}

} // namespace dialvane::readiness
