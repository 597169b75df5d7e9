#pragma once
// The station as a service: no window, no display. It runs the same start-up as the window
// (but for the restaurant list), writes one log line per event, tells a supervisor when it is
// ready and what it is doing, feeds the supervisor's watchdog from the link thread, ends a call
// and exits cleanly on SIGTERM or SIGINT, and re-reads Dialvane.ini on SIGHUP once the call in
// progress, if any, has ended.

#include "link/CallFollower.h"
#include "link/LinkEvents.h"
#include "station/ServiceLog.h"
#include "station/Station.h"

#include <QObject>

#include <functional>
#include <map>

namespace dialvane {

class LinkThread;

class Service : public QObject {
    Q_OBJECT
public:
    Service(StationContext context, ServiceLog& log, QObject* parent = nullptr);

    void start();
    // Ends any call as a carrier drop would, closes the port, and asks the event loop to end.
    void stop(const QString& why);
    // Re-reads Dialvane.ini and re-opens the port; calls in progress end as a carrier drop would.
    void reload();

    Station& station() { return station_; }

signals:
    void stopped();

private:
    void heard(const LinkEvent& event);
    void portOpened(const LinkEvent& event);
    void portClosed(const LinkEvent& event);
    void callFinished(const CallSummary& call);
    void tellReady();
    void waiting();
    void showCalls();

    Station station_;
    ServiceLog& log_;
    bool readySent_ = false;
    bool stopping_ = false;
    CallFollower calls_;                     // in progress; STATUS= tells of the most recent
    std::map<std::uint64_t, QString> doing_; // what each of them is doing
};

// The whole service mode: `dialvane --service [--config-dir DIR]`. Needs a QCoreApplication.
// `extend` adds what the program has beside the station (the HTTP endpoint) before it starts.
int runService(const QString& programFolder, const std::function<void(Station&)>& extend = nullptr);

} // namespace dialvane
