#pragma once
// Private-profile INI files, read and written the way classic Windows programs do, so that
// files shared with other programs keep their comments, key order and spelling.
//
// - Section and key names match without regard to case; the first matching section and the
//   first matching key win. Lines before the first section belong to no section.
// - A key line is split at its first '='; key and value are trimmed, and a value wrapped in a
//   matching pair of double quotes loses them. Lines starting with ';' are comments.
// - CRLF, LF and CR line ends are read; a UTF-8 byte order mark at the start is skipped.
// - Values come back cut to 2047 characters (the classic 2048-character read buffer).
// - A bare file name (no folder) is resolved in the current folder. (Windows would look in
//   the Windows folder; there is no such folder elsewhere.)

#include <QByteArray>
#include <QString>

namespace dialvane {

// The longest value a read returns.
inline constexpr int kMaxProfileValueLength = 2047;

// Returns the value of `key` in `section` of `fileName`, or `defaultValue` when the file,
// the section or the key is absent.
QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, const QString& fileName);

// Writes `key`=`value` into `section` of `fileName`: an existing key keeps its spelling and
// place, a new key goes at the end of its section, a new section at the end of the file; every
// other line stays byte for byte and new lines end with CRLF. The file is created when missing.
// The whole new file is written beside the old one and renamed over it, so a failed write
// leaves the old file whole. Line breaks in `value` are written as spaces: a value stays on
// its line. Returns false when the file could not be written.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& fileName);

// The in-memory forms of the two operations, on the bytes of a whole file.
QByteArray readProfileValue(const QByteArray& file, const QByteArray& section,
                            const QByteArray& key, bool* found);
QByteArray writeProfileValue(const QByteArray& file, const QByteArray& section,
                             const QByteArray& key, const QByteArray& value);

} // namespace dialvane
