#pragma once
// The link's thread, as the windows and the service see it. They talk to it only by queued
// requests (reopen with these settings, close) and hear from it only by its events, delivered
// as the queued signals event() and blockMoved(), so the window never waits on the line and a
// call never waits on the window. Events come from the port supervisor's thread and, on a network
// line, from each call's own thread; no lock is held while one is emitted.

#include "common/Clock.h"
#include "link/LinkEvents.h"
#include "link/PortRequest.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

namespace dialvane {

class PortSupervisor;

class LinkThread : public QObject, public LinkEventSink {
    Q_OBJECT
public:
    explicit LinkThread(LineFactory factory = makeRealLine, const Clock& clock = systemClock(),
                        QObject* parent = nullptr);
    // Ends any call, closes the port and joins the thread.
    ~LinkThread() override;

    // Closes the port (ending a call in progress as a carrier drop would), then opens it with
    // `request`. The outcome arrives as PortOpened, or PortClosed with the reason; after a
    // failure the port is tried again every reopenInterval.
    void reopen(const PortRequest& request);
    // Opens the port of `request` and only then lets the one in service go; when it cannot be
    // opened, PortKept says why and the port in service stays (see PortSupervisor.h).
    void swap(const PortRequest& request);
    // New settings for the calls to come on the same port; no call ends.
    void retune(const PortRequest& request);
    // Closes the port, ending a call in progress as a carrier drop would.
    void close();
    // Blocks until the link has handled every request made so far (tests, shutdown).
    void waitIdle();
    // Calls `beat` on the link's thread at least every `interval` while it is alive and not
    // stuck: a supervisor's watchdog fed from here notices a hung line. Set before use.
    void setHeartbeat(std::function<void()> beat, Millis interval);

signals:
    // Every event but a block's.
    void event(const dialvane::LinkEvent& event);
    // A block's event (BlockMoved) alone. With many calls at once nearly every event is one,
    // and each one queued to another thread costs the call a copy, a lock and a wake-up of
    // that thread: only those who show blocks listen for them.
    void blockMoved(const dialvane::LinkEvent& event);

public:
    // From the link's threads: each event goes in one hop to the thread this object lives on
    // and out there as one of the signals above, to every listener. (A queued signal would
    // post, and wake that thread, once per listener.) A block's event nobody listens for goes
    // nowhere.
    void handle(const LinkEvent& linkEvent) override;

private:
    std::unique_ptr<PortSupervisor> supervisor_;
    std::unique_ptr<QThread> thread_;
};

} // namespace dialvane

Q_DECLARE_METATYPE(dialvane::LinkEvent)
