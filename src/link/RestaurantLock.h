#pragma once
// One call per restaurant, across threads and processes. Two calls of one restaurant would
// write the same temporary file (a receive) or the same transfer log (two sends started in the
// same second), and stations that share a Backroom folder cannot see each other's calls. So a
// call holds an advisory lock on a hidden file in the restaurant's folder: a record lock of the
// open file (see common/FileLock.h), which a file server sharing the Backroom carries between
// machines. The operating system releases it when the holder closes it or dies, so a crash
// never leaves a restaurant locked.
// The lock file itself stays: removing it would let a third caller lock a new file while the
// second still waits on the old one.

#include <QString>

namespace dialvane {

class RestaurantLock {
public:
    enum class Outcome {
        Taken,     // the lock is ours until release() or destruction
        Busy,      // another call, of this or another station, holds it
        NoFolder,  // the restaurant's folder does not exist: there is nothing to protect
        Unlockable // the lock file cannot be made (a read-only folder): the call goes on unlocked
    };

    static constexpr const char* kFileName = ".dialvane.lock";

    RestaurantLock() = default;
    RestaurantLock(const RestaurantLock&) = delete;
    RestaurantLock& operator=(const RestaurantLock&) = delete;
    ~RestaurantLock() { release(); }

    // Tries once, without waiting, to lock the restaurant whose folder is `folder` (ending with
    // the separator). Releases a lock held before. Never throws.
    Outcome tryLock(const QString& folder);
    void release();
    bool held() const { return handle_ != kNone; }

private:
#ifdef Q_OS_WIN
    using Handle = void*;
    static inline Handle const kNone = nullptr;
#else
    using Handle = int;
    static constexpr Handle kNone = -1;
#endif
    Handle handle_ = kNone;
};

} // namespace dialvane
