#include "link/RestaurantLock.h"

#include <windows.h>

namespace dialvane {

RestaurantLock::Outcome RestaurantLock::tryLock(const QString& folder) {
    release();
    const std::wstring path = (folder + QLatin1String(kFileName)).toStdWString();
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_PATH_NOT_FOUND ? Outcome::NoFolder : Outcome::Unlockable;
    }
    OVERLAPPED whole{};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        const bool busy = ::GetLastError() == ERROR_LOCK_VIOLATION;
        ::CloseHandle(file);
        return busy ? Outcome::Busy : Outcome::Unlockable;
    }
    handle_ = file;
    return Outcome::Taken;
}

void RestaurantLock::release() {
    if (handle_ == kNone)
        return;
    ::CloseHandle(handle_); // closing releases the lock
    handle_ = kNone;
}

} // namespace dialvane
