#include "link/RestaurantLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dialvane {

RestaurantLock::Outcome RestaurantLock::tryLock(const QString& folder) {
    release();
    const QByteArray path = QFile::encodeName(folder + QLatin1String(kFileName));
    // O_NOFOLLOW: a link planted under the lock file's name must not make us create or lock
    // a file elsewhere.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0660);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Outcome::NoFolder : Outcome::Unlockable;
    // An open-file-description record lock: it belongs to this open, not to the process, so
    // two calls of one station exclude each other as two stations do, and NFSv4 and SMB3 carry
    // it to stations on other machines (flock is not carried to a file server everywhere).
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET; // l_start and l_len 0: the whole file
    int locked;
    while ((locked = ::fcntl(fd, F_OFD_SETLK, &whole)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        const bool busy = errno == EAGAIN || errno == EACCES;
        ::close(fd);
        return busy ? Outcome::Busy : Outcome::Unlockable;
    }
    handle_ = fd;
    return Outcome::Taken;
}

void RestaurantLock::release() {
    if (handle_ == kNone)
        return;
    ::close(handle_); // closing releases the lock
    handle_ = kNone;
}

} // namespace dialvane
