#include "common/DurableFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
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

QString renameOver(const QString& from, const QString& to) {
    std::error_code error;
    // std::filesystem::rename replaces an existing target in one step on every platform
    // (rename(2) on POSIX, MoveFileEx with MOVEFILE_REPLACE_EXISTING on Windows).
    std::filesystem::rename(nativePath(from), nativePath(to), error);
    return error ? QString::fromStdString(error.message()) : QString();
}

QString syncFolder(const QString& folder) {
#ifdef Q_OS_WIN
    // Windows has no call to sync a folder; NTFS journals its entries itself.
    Q_UNUSED(folder);
    return QString();
#else
    // Without this, a power cut may bring back the old entry after a rename.
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    return synced ? QString() : QString::fromLocal8Bit(std::strerror(error));
#endif
}

QString replaceFile(const QString& from, const QString& to) {
    const QString reason = renameOver(from, to);
    return reason.isEmpty() ? syncFolder(QFileInfo(to).absolutePath()) : reason;
}

} // namespace dialvane
