#pragma once
// Write locks on files that several stations write, perhaps from several machines through a
// file server (a shared log folder). The lock is a record lock on the whole file that belongs
// to the open file (an open file description on POSIX, a handle on Windows), not to the
// process: two opens in one process exclude each other as two processes do, and closing the
// file, or the death of its holder, releases it. NFSv4 and SMB3 carry such locks between
// machines; flock is not carried to a file server everywhere, and classic POSIX record locks belong
// to the process, so two threads of one station would not exclude each other.

#include <QFileDevice>

#include <chrono>

namespace dialvane {

enum class FileLockOutcome {
    Taken,      // ours until the file is closed
    Busy,       // still held by another open of the file when the wait ran out
    Unsupported // the file system takes no record locks (a share mounted without locking)
};

// Locks all of `file`, open for writing, waiting at most `wait` for another holder to let go.
// The wait polls a few times a second rather than blocking: a blocking lock cannot be given a
// time limit without signals, and a lock held for more than a moment belongs to a stuck holder
// anyway. Never throws.
FileLockOutcome lockForWriting(QFileDevice& file, std::chrono::milliseconds wait);

} // namespace dialvane
