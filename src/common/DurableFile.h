#pragma once
// Putting files in place so that a crash or a power cut leaves either the old file or the new
// one whole, never a mixture.

#include <QFileDevice>
#include <QString>

namespace dialvane {

// Flushes Qt's buffer and asks the system to put the file's bytes on the disk.
bool syncToDisk(QFileDevice& file);

// Renames `from` over `to` in one step, replacing `to` when it exists, then makes the rename
// itself durable. Returns an empty text on success, else the reason.
QString replaceFile(const QString& from, const QString& to);

} // namespace dialvane
