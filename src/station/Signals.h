#pragma once
// POSIX signals as Qt signals. A signal handler may do almost nothing safely, so it only writes
// the signal's number into a pipe; a QSocketNotifier reads the pipe on the event loop, where
// stopping or reloading can run as ordinary code. Where POSIX signals do not exist nothing is
// installed.

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace dialvane {

class SignalWatch : public QObject {
    Q_OBJECT
public:
    enum class Reload { Handled, Default };

    // Catches SIGTERM and SIGINT, and SIGHUP when `reload` is Handled. One watch at a time.
    explicit SignalWatch(Reload reload, QObject* parent = nullptr);
    // Puts the default handlers back.
    ~SignalWatch() override;

signals:
    void stopRequested(const QString& signalName);
    void reloadRequested();

private:
    void readPipe();

    std::unique_ptr<QSocketNotifier> notifier_;
    bool reloadHandled_;
};

} // namespace dialvane
