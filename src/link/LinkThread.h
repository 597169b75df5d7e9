#pragma once
// The worker thread that owns the transfer link and its line. The windows talk to it only by
// queued requests (reopen with these settings, close) and hear from it only by signals, so
// the window never waits on the line and a call never waits on the window. On a network line
// each call runs on a thread of its own (see CallPool.h); their signals still come one at a
// time, in one order.

#include "link/LinkObserver.h"
#include "link/PortRequest.h"
#include "link/TransferLink.h"

#include <QMutex>
#include <QObject>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

namespace dialvane {

class LinkThread : public QObject {
    Q_OBJECT
public:
    explicit LinkThread(LineFactory factory = makeRealLine, QObject* parent = nullptr);
    // Ends any call, closes the port and joins the worker.
    ~LinkThread() override;

    // Closes the port (ending a call in progress as a carrier drop would), then opens it with
    // `request`. The outcome arrives as portOpened() or openFailed(); after a failure the port
    // is tried again every reopenInterval, and lineRestored() says when it opened.
    void reopen(const PortRequest& request);
    // Closes the port, ending a call in progress as a carrier drop would.
    void close();
    // Blocks until the worker has handled every request made so far (tests, shutdown).
    void waitIdle();
    // Calls `beat` on the worker thread at least every `interval` while the worker is alive and
    // not stuck: a supervisor's watchdog fed from here notices a hung line. Set before use.
    void setHeartbeat(std::function<void()> beat, Millis interval);

signals:
    void titleChanged(const QString& title);
    void statusCaption(dialvane::StatusLabel label, const QByteArray& text);
    void statusShow();
    void statusRepaint();
    void statusHide();
    void statusUnload();
    void callStarted();
    void callEnded();
    // After every callStarted and callEnded: the calls running now (several on a network line).
    void callsInProgress(int count);
    // The status window's signals (statusCaption to statusHide, callFailed, callProgress) follow
    // one call: the most recent, and when it ends the most recent of those still running.
    void callFailed(const QString& reason);
    // After each block of a file: the call so far.
    void callProgress(const dialvane::CallSummary& sofar);
    // Once per call, just before callEnded; port and device filled in.
    void callFinished(const dialvane::CallSummary& summary);
    void portOpened();
    // The port asked for could not be opened (said once; tries go on quietly).
    void openFailed(const QString& description);
    // The open port failed (device gone, I/O error, address taken): said once, the port is
    // closed and tried again every reopenInterval.
    void lineFailed(const QString& description);
    // A port that had failed opened again on one of those tries.
    void lineRestored(const QString& description);
    // A modem's result text between calls, or a modem that had to be reset: for the log.
    void lineNotice(const QString& text);
    // Something about the line the operator should know that is not a failure of a call,
    // for instance a port whose carrier line cannot be read. Said once per open.
    void lineWarning(const QString& text);

private:
    class Worker;
    struct Request {
        enum class Kind { Reopen, Close, Quit, Retry } kind;
        PortRequest port;
    };
    void post(Request request);

    std::unique_ptr<Worker> worker_;
    std::unique_ptr<QThread> thread_;
};

} // namespace dialvane

Q_DECLARE_METATYPE(dialvane::StatusLabel)
Q_DECLARE_METATYPE(dialvane::CallSummary)
