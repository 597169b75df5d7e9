#pragma once
// `dialvane calls` and `dialvane overdue`: the call journal as an operator asks about it, for
// a station with windows or without. They only read: the configuration (for the folders) and
// the journals.

#include <QStringList>
#include <QTextStream>

namespace dialvane {

class RegistryArea;

// `arguments` as the program got them (program name first, then "calls" or "overdue").
// Returns the exit status: 0 when the report ran, 1 when a journal could not be read, 2 for
// a command line that makes no sense.
int runReport(const QStringList& arguments, QTextStream& out, QTextStream& err,
              RegistryArea* registry = nullptr);

} // namespace dialvane
