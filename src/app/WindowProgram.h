#pragma once
// The hand-over from `dialvane` to the window program beside it, dialvane-window. The window
// program takes the same arguments and is the same process to whoever started `dialvane`
// (its pid, its signals, its exit status), so a desktop entry, a script or a supervisor that
// started `dialvane` for the window sees no difference.

#include <QStringList>

namespace dialvane {

// The window program's path: beside the running program, in a build tree as in /usr/bin.
QString windowProgramPath();

// `arguments` as the program got them (its own path first). Returns only when the window
// program could not be started: it says why on standard error (when it is missing, which
// package holds it) and returns 1.
int startWindowProgram(const QStringList& arguments);

} // namespace dialvane
