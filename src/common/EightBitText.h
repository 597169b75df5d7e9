#pragma once
// 8-bit text: the line, the data files, the logs and the INI files hold one byte per character.
// Bytes from the line go to files unchanged; only what is shown or kept in settings is converted,
// with the system ANSI code page on Windows and Latin-1 elsewhere (lossless for every byte).

#include <QByteArray>
#include <QString>

namespace dialvane {

QString fromEightBit(const QByteArray& bytes);
// Characters the 8-bit character set cannot hold become '?'.
QByteArray toEightBit(const QString& text);

// Bytes from the line for a log, a report or a CSV cell: printable ASCII stays, anything else
// (and the backslash) becomes \xNN, so a site can neither forge a line nor garble a terminal.
QString printable(const QByteArray& bytes);

} // namespace dialvane
