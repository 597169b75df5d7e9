#include "common/DurableFile.h"

#include <QFileInfo>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace dialvane {

bool syncToDisk(QFileDevice& file) {
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

namespace {

std::filesystem::path nativePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    // The same bytes QFile would use for this name.
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

QString replaceFile(const QString& from, const QString& to) {
    std::error_code error;
    // std::filesystem::rename replaces an existing target in one step on every platform
    // (rename(2) on POSIX, MoveFileEx with MOVEFILE_REPLACE_EXISTING on Windows).
    std::filesystem::rename(nativePath(from), nativePath(to), error);
    if (error)
        return QString::fromStdString(error.message());
#ifndef Q_OS_WIN
    // The new directory entry must reach the disk too, or a power cut may bring back the old one.
    const QByteArray folder = QFile::encodeName(QFileInfo(to).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
    return QString();
}

} // namespace dialvane
