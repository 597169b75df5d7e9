#include "station/Signals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace dialvane {

#ifdef Q_OS_UNIX
namespace {

int pipeEnds[2] = {-1, -1};

extern "C" void onSignal(int number) {
    const int savedErrno = errno; // the interrupted code may be reading errno
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(int number, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(number, &action, nullptr);
}

} // namespace

SignalWatch::SignalWatch(Reload reload, QObject* parent)
    : QObject(parent), reloadHandled_(reload == Reload::Handled) {
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without a pipe the default handlers stay: the program still ends on a signal
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalWatch::readPipe);
    setHandler(SIGTERM, onSignal);
    setHandler(SIGINT, onSignal);
    if (reloadHandled_)
        setHandler(SIGHUP, onSignal);
}

SignalWatch::~SignalWatch() {
    if (!notifier_)
        return;
    setHandler(SIGTERM, SIG_DFL);
    setHandler(SIGINT, SIG_DFL);
    if (reloadHandled_)
        setHandler(SIGHUP, SIG_DFL);
    notifier_.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void SignalWatch::readPipe() {
    char bytes[16];
    ssize_t count = 0;
    while ((count = ::read(pipeEnds[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < count; ++i) {
            if (bytes[i] == SIGHUP)
                emit reloadRequested();
            else
                emit stopRequested(bytes[i] == SIGINT ? QStringLiteral("SIGINT")
                                                      : QStringLiteral("SIGTERM"));
        }
}

#else

SignalWatch::SignalWatch(Reload reload, QObject* parent)
    : QObject(parent), reloadHandled_(reload == Reload::Handled) {}
SignalWatch::~SignalWatch() = default;
void SignalWatch::readPipe() {}

#endif

} // namespace dialvane
