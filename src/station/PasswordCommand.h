#pragma once
// `dialvane password`: makes the [Security] PasswordHash line for a password the operator
// chooses. On a terminal it asks twice without echo; otherwise it reads one line from standard
// input, so that a script can pipe a password in. The line goes to standard output, alone, and
// the operator puts it in Dialvane.ini: the command writes no file.

#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace dialvane {

// `arguments`: program name, "password", then its options. Returns 0 when the line was printed,
// 1 when there is no password (none given, empty, or the two entries differ), 2 for a command
// line that makes no sense.
int runPasswordCommand(const QStringList& arguments, std::FILE* in, QTextStream& out,
                       QTextStream& err);

} // namespace dialvane
