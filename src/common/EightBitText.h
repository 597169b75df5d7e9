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

// The characters no journal cell, log line, trace or window may hold raw: the C0 and C1
// controls (U+0000-U+001F, U+007F-U+009F) and the Unicode line and paragraph separators
// (U+2028, U+2029). Any of them could end a row or a log line for some reader (U+0085 and
// U+2028 are line breaks to many), or drive a terminal.
bool isControlCharacter(char32_t c);

// The one escaping of texts for a log, a CSV cell or a window: each control character above
// becomes \xNN (\u2028, \u2029 for the separators); everything else stays as it is, the
// backslash of a Windows path included, so a file name still reads as one.
QString escapeControls(const QString& text);

// Bytes from the line for a log, a report or a CSV cell: printable ASCII stays, anything else
// (and the backslash) becomes \xNN, so a site can neither forge a line nor garble a terminal.
QString printable(const QByteArray& bytes);

} // namespace dialvane
