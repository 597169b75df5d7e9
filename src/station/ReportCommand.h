#pragma once
// `dialvane calls` and `dialvane overdue`: the call journal as an operator asks about it, for
// a station with windows or without. They only read: the configuration (for the folders) and
// the journals.

#include <QStringList>
#include <QTextStream>

namespace dialvane {

class RegistryArea;

// `arguments` as the program got them, but for the command moved to the front (program name
// first, then "calls" or "overdue"). Returns the exit status: 2 for a command line that makes
// no sense (an unknown option or outcome, a bad number or date, no line to report on), 1 when
// a journal could not be read or, for `overdue`, when a restaurant is overdue, 0 otherwise.
int runReport(const QStringList& arguments, QTextStream& out, QTextStream& err,
              RegistryArea* registry = nullptr);

} // namespace dialvane
