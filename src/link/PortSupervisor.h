#pragma once
// The port supervisor: the one owner of the port and of its engine, on the link's thread. It
// takes requests one at a time, opens the port, lets the engine answer calls until the next
// request, and catches what the engine lets through: a failure of the port (LineError), said
// once as PortClosed with the reason and tried again every reopen interval until the port
// opens (PortOpened, restored). It also feeds a heartbeat, so that a watchdog notices a link
// that hangs. Retries and heartbeat run on the injected clock.
//
// The requests:
//   Reopen  closes the port (calls end as a carrier drop would) and opens it with new settings.
//   Swap    the same, but the port in service is let go only once the new one is open: another
//           device is opened beside it (its calls go on meanwhile), the same device is closed
//           and, when the new settings fail, opened again as it was. A port that cannot be
//           opened is told as PortKept, and the port and settings in service stay. With no
//           port in service a Swap is a Reopen.
//   Retune  new settings for the calls to come, on the same port: nothing closes and no call
//           ends; a serial line takes them once its call is over.
//   Close, Quit.

#include "common/Clock.h"
#include "link/LinkEvents.h"
#include "link/PortRequest.h"
#include "link/SupervisedLine.h"
#include "link/TransferLink.h"

#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <deque>
#include <functional>
#include <optional>

namespace dialvane {

class PortSupervisor {
public:
    struct Request {
        enum class Kind { Reopen, Swap, Retune, Close, Quit } kind;
        PortRequest port;
    };

    PortSupervisor(LineFactory factory, LinkEventSink& events, const Clock& clock);

    // From any thread: queues a request; a call in progress ends as a carrier drop would.
    void post(Request request);
    // From any thread: returns once every request posted so far has been handled.
    void waitIdle();
    // Calls `beat` on the link's thread at least every `interval` while it is alive and not
    // stuck. Set before use.
    void setHeartbeat(std::function<void()> beat, Millis interval);

    // The link's thread: handles requests and serves the port until a Quit.
    void run();

private:
    std::optional<Request> next();
    void recount();
    void handle(const Request& request, bool retry);
    bool open(const PortRequest& port, QString& failure);
    void opened(const PortRequest& port, bool restored);
    void swap(const PortRequest& port);
    void retune(const PortRequest& port);
    void serve();
    void portFailed(PortRequest request, LinkEvent::PortFailure failure, const QString& reason,
                    bool say);
    bool retryDue() const;
    unsigned long sleepMs() const;
    void sleepWithoutPort();
    void beatWhenDue();

    LineFactory factory_;
    LinkEventSink& events_;
    const Clock& clock_;
    SupervisedLine line_;
    TransferLink engine_;

    QMutex mutex_;
    QWaitCondition wake_;
    QWaitCondition idle_;
    std::deque<Request> queue_;
    std::atomic<bool> pending_{false};   // a request waits
    std::atomic<bool> stopCalls_{false}; // a request that ends the calls in progress waits
    long posted_ = 0;
    long done_ = 0;
    std::function<void()> beat_;
    Millis beatInterval_{0};
    std::optional<Millis> beaten_;

    // The link thread's own: the port last asked for, and the try still to come.
    PortRequest lastRequest_;
    std::optional<Millis> retryAt_;
};

} // namespace dialvane
