#include "link/CallThread.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <pthread.h>
#else
#include <thread>
#endif

namespace dialvane {

#ifdef Q_OS_UNIX
struct CallThread::Handle {
    pthread_t thread{};
    std::function<void()> work;
};

namespace {
void* runWork(void* handle) {
    static_cast<std::function<void()>*>(handle)->operator()();
    return nullptr;
}
} // namespace

bool CallThread::start(std::function<void()> work, std::size_t stackBytes) {
    auto handle = std::make_unique<Handle>();
    handle->work = std::move(work);
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    pthread_attr_setstacksize(&attributes, stackBytes);
    const int failed = pthread_create(&handle->thread, &attributes, &runWork, &handle->work);
    pthread_attr_destroy(&attributes);
    if (failed != 0)
        return false;
    handle_ = std::move(handle);
    return true;
}

void CallThread::join() {
    if (handle_)
        pthread_join(handle_->thread, nullptr);
    handle_.reset();
}
#else
struct CallThread::Handle {
    std::thread thread;
};

bool CallThread::start(std::function<void()> work, std::size_t /*stackBytes*/) {
    try {
        handle_ = std::make_unique<Handle>(Handle{std::thread(std::move(work))});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CallThread::join() {
    if (handle_ && handle_->thread.joinable())
        handle_->thread.join();
    handle_.reset();
}
#endif

CallThread::CallThread() = default;

CallThread::~CallThread() {
    join();
}

} // namespace dialvane
