#include "link/RestaurantLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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
    // flock belongs to the open file, not to the process: two calls of one station exclude
    // each other as two stations do.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
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
