#pragma once
// The thread of one call: a plain system thread with a small stack and no Qt event loop (a
// Qt thread would make a wake-up descriptor of its own, which a station short of descriptors
// cannot spare and which aborts the whole process when it cannot be made).

#include <cstddef>
#include <functional>
#include <memory>

namespace dialvane {

class CallThread {
public:
    CallThread();
    CallThread(const CallThread&) = delete;
    CallThread& operator=(const CallThread&) = delete;
    // Waits for the thread, if it runs.
    ~CallThread();

    // Runs `work` on a new thread with `stackBytes` of stack; false when the system refused.
    bool start(std::function<void()> work, std::size_t stackBytes);
    // Returns once the thread has ended; a thread never started returns at once.
    void join();

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

} // namespace dialvane
