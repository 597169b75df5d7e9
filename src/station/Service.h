#pragma once
// The station as a service: no window, no display. It runs the same start-up as the window
// (but for the restaurant list), writes one log line per event, tells a supervisor when it is
// ready and what it is doing, feeds the supervisor's watchdog from the link thread, ends a call
// and exits cleanly on SIGTERM or SIGINT, and re-reads Dialvane.ini on SIGHUP once the call in
// progress, if any, has ended.

#include "station/ServiceLog.h"
#include "station/Station.h"

#include <QObject>

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
    void portOpened();
    void openFailed(const QString& reason);
    void callCaption(int label, const QByteArray& text);
    void callFinished(const CallSummary& call);
    void tellReady();
    void waiting();
    void showCalls();

    Station station_;
    ServiceLog& log_;
    bool readySent_ = false;
    bool stopping_ = false;
    int calls_ = 0;      // in progress
    QString latestCall_; // what the most recent of them is doing
    QByteArray callResto_;
};

// The whole service mode: `dialvane --service [--config-dir DIR]`. Needs a QCoreApplication.
int runService(const QString& programFolder);

} // namespace dialvane
