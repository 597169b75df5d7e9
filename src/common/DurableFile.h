#pragma once
// Putting files in place so that a crash or a power cut leaves either the old file or the new
// one whole, never a mixture.

#include <QFileDevice>
#include <QString>

namespace dialvane {

// Flushes Qt's buffer and asks the system to put the file's bytes on the disk.
bool syncToDisk(QFileDevice& file);

// Renames `from` over `to` in one step, replacing `to` when it exists. Returns an empty text
// on success, else the reason; on failure both files are as they were.
QString renameOver(const QString& from, const QString& to);

// Makes the entries of `folder` (a rename into it, say) durable. Returns an empty text on
// success, else the reason. Does nothing where the system has no such call.
QString syncFolder(const QString& folder);

// renameOver, then syncFolder of the target's folder: the first reason, or an empty text.
QString replaceFile(const QString& from, const QString& to);

} // namespace dialvane
