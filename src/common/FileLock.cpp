#include "common/FileLock.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#endif

namespace dialvane {

namespace {

FileLockOutcome tryLock(QFileDevice& file) {
#ifdef Q_OS_WIN
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle()));
    if (handle == INVALID_HANDLE_VALUE)
        return FileLockOutcome::Unsupported;
    // Windows locks are mandatory: a byte far beyond any file's end, which every station locks
    // and nobody reads or writes, serves as the lock without keeping readers off the rows.
    OVERLAPPED lockByte{};
    lockByte.Offset = 0xFFFFFFFE;
    lockByte.OffsetHigh = 0x7FFFFFFF;
    if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                     &lockByte))
        return FileLockOutcome::Taken;
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? FileLockOutcome::Busy
                                                    : FileLockOutcome::Unsupported;
#else
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET; // from the start, l_len 0: to any end the file will have
    for (;;) {
        if (::fcntl(file.handle(), F_OFD_SETLK, &whole) == 0)
            return FileLockOutcome::Taken;
        if (errno != EINTR)
            return errno == EAGAIN || errno == EACCES ? FileLockOutcome::Busy
                                                      : FileLockOutcome::Unsupported;
    }
#endif
}

} // namespace

FileLockOutcome lockForWriting(QFileDevice& file, std::chrono::milliseconds wait) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + wait;
    std::chrono::milliseconds pause{1};
    for (;;) {
        const FileLockOutcome outcome = tryLock(file);
        const Clock::time_point now = Clock::now();
        if (outcome != FileLockOutcome::Busy || now >= deadline)
            return outcome;
        // A holder keeps the lock for one write: most waits end at the first retry, the rest
        // back off so that a stuck holder costs no CPU.
        // (std::min) in parentheses: windows.h defines a min macro.
        std::this_thread::sleep_for((std::min<Clock::duration>)(pause, deadline - now));
        pause = (std::min)(pause * 2, std::chrono::milliseconds(50));
    }
}

} // namespace dialvane
