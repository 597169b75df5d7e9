#pragma once
// `dialvane --check`: what the station would run with, and whether it can. It prints the
// effective configuration with where each value comes from, then one line per check, "OK" or
// "FAIL" and the reason. It reads; it never writes, creates or deletes a file, and it opens the
// port only to see that it can, closing it at once.

#include <QString>
#include <QTextStream>

namespace dialvane {

class RegistryArea;

// Returns the exit status: 0 when every check passed, 78 when Dialvane.ini is there but cannot
// be read (see configurationFault), 1 otherwise.
int runCheck(const QString& programFolder, QTextStream& out, RegistryArea* registry = nullptr);

// Below this much free space a folder fails the check: a receive could not be installed.
inline constexpr qint64 kMinimumFreeBytes = 16 * 1024 * 1024;

} // namespace dialvane
