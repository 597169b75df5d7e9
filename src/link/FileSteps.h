#pragma once
// The file operations that put a received file in place. Each is a virtual of its own so that a
// test can make any one of them fail (a full disk, a rename refused, a folder that cannot be
// synced) and check what the site was told.

#include "common/DurableFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace dialvane {

class FileSteps {
public:
    virtual ~FileSteps() = default;
    // True when every byte was handed to the file.
    virtual bool write(QFile& file, const QByteArray& bytes) {
        return file.write(bytes) == bytes.size();
    }
    // True once the file's bytes are on the disk.
    virtual bool sync(QFile& file) { return syncToDisk(file); }
    // Empty on success, else the reason; on failure both files are as they were.
    virtual QString rename(const QString& from, const QString& to) { return renameOver(from, to); }
    // Empty on success, else the reason.
    virtual QString syncFolder(const QString& folder) { return dialvane::syncFolder(folder); }
};

} // namespace dialvane
