#pragma once
// Telling a supervisor (systemd) how the station is: ready, what it is doing, stopping, and
// alive. Every call does nothing when the program was not started by such a supervisor or was
// built without libsystemd.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

namespace dialvane::readiness {

void ready();
void status(const QString& text);
void stopping();
void watchdog();

// Half of the supervisor's watchdog time, when it asked for a watchdog.
std::optional<std::chrono::milliseconds> watchdogInterval();

} // namespace dialvane::readiness
