#pragma once
// `dialvane calls`, `dialvane overdue` and `dialvane status`: the call journal and the running
// station as an operator asks about them, for a station with windows or without. They only
// read: the configuration (for the folders), the journals and the service's status file.

#include <QStringList>
#include <QTextStream>

namespace dialvane {

class RegistryArea;

// `arguments` as the program got them, but for the command moved to the front (program name
// first, then "calls", "overdue" or "status"). Returns the exit status: 2 for a command line that
// makes no sense (an unknown option or outcome, a bad number or date, no line to report on), 1 when
// a journal could not be read, for `overdue` when a restaurant is overdue, for `status` when
// the station does not run with its port open (see printStatus), 78 when
// Dialvane.ini is there but cannot be read, 0 otherwise.
int runReport(const QStringList& arguments, QTextStream& out, QTextStream& err,
              RegistryArea* registry = nullptr);

} // namespace dialvane
