#pragma once
// The station as a service: no window, no display. It runs the same start-up as the window
// (but for the restaurant list, and it never writes Dialvane.ini), writes one log line per
// event, tells a supervisor when it is ready and what it is doing, keeps the status file that
// `dialvane status` reads, feeds the supervisor's watchdog from the link thread, ends a call
// and exits cleanly on SIGTERM or SIGINT, and reloads Dialvane.ini on SIGHUP (see
// Station::reload). A Dialvane.ini that is there but cannot be read stops it at once.

#include "link/CallFollower.h"
#include "link/LinkEvents.h"
#include "station/ServiceLog.h"
#include "station/Station.h"
#include "station/StatusFile.h"

#include <QObject>

#include <functional>
#include <map>

namespace dialvane {

class LinkThread;

class Service : public QObject {
    Q_OBJECT
public:
    Service(StationContext context, ServiceLog& log, QObject* parent = nullptr);

    // `line` names the station in its first log line: the configuration folder's name.
    void start(const QString& line);
    // Ends any call as a carrier drop would, closes the port, and asks the event loop to end.
    void stop(const QString& why);
    // Station::reload, with the status file following the log folder.
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
    StatusFile status_;
    QString configFolder_;
    bool readySent_ = false;
    bool stopping_ = false;
    CallFollower calls_;                     // in progress; STATUS= tells of the most recent
    std::map<std::uint64_t, QString> doing_; // what each of them is doing
};

// The whole service mode: `dialvane --service [--config-dir DIR]`. Needs a QCoreApplication.
// `extend` adds what the program has beside the station (the HTTP endpoint) before it starts.
// Returns 78 at once, after one log line, for a Dialvane.ini that cannot be read.
int runService(const QString& programFolder, const std::function<void(Station&)>& extend = nullptr);

} // namespace dialvane
