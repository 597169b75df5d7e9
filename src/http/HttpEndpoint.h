#pragma once
// The station's read-only HTTP endpoint (section Http): /metrics for Prometheus, /healthz for
// a load balancer or a supervisor, / the status page, /calls.csv?month=yyyyMM a month's
// journal as it is on disk. Off while Listen is empty.
//
// It serves from the station's own thread, from what StationWatch keeps in memory: a request
// costs a few milliseconds and never touches a call, which runs on the link's threads. What a
// client can make it hold is bounded: GET and HEAD only (405 otherwise), a request's head
// within a read buffer of 16 KiB (a larger one stalls and is closed when idle), at most 128
// connections at once, each closed after 10 s without traffic. Paths are compared whole, so
// nothing but the four resources is served; /calls.csv serves only a file the journal lists
// for a month given as six digits.
//
// An address that cannot be bound is said once (problem) and tried again every ReopenSeconds,
// as a port is; the station's calls go on either way. Listen, AllowFrom and OverdueDays count
// from the next start, Save or reload, as the port's settings do.

#include "common/Clock.h"
#include "http/StationWatch.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>

namespace dialvane {

class Station;
class WatchServer;
class GuardedTcpServer;

struct HttpLimits {
    std::chrono::milliseconds idle{10000}; // a connection without traffic for this long closes
    qint64 readBuffer = 16 * 1024;         // a request's head must fit
    int connections = 128;
    std::chrono::seconds refresh{60}; // how often the Backroom is listed again
};

class HttpEndpoint : public QObject {
    Q_OBJECT
public:
    HttpEndpoint(Station& station, const Clock& clock = systemClock(), HttpLimits limits = {},
                 QObject* parent = nullptr);
    ~HttpEndpoint() override;

    // The port listened on, zero while not listening (tests, benchmarks).
    quint16 port() const;
    StationWatch& watch() { return watch_; }

signals:
    void problem(const QString& text);
    void notice(const QString& text);
    void listening(quint16 port);

private:
    friend class WatchServer;
    void heard(const LinkEvent& event);
    void configure();
    void tryListen();
    QByteArray journalMonth(const QString& month, int* status) const;

    Station& station_;
    const Clock& clock_;
    HttpLimits limits_;
    StationWatch watch_;
    std::unique_ptr<WatchServer> server_;
    GuardedTcpServer* tcp_ = nullptr; // owned by server_'s children
    QString listen_;                  // as configured
    QString allowFrom_;               // as configured
    QString seededFor_;               // the folders and days the watch was seeded for
    QString lastFailure_;
    QTimer retry_;
    QTimer refresh_;
    // Blocks are heard only while the endpoint serves: they are most of a busy line's events.
    QMetaObject::Connection blocks_;
};

// For the programs: the endpoint of `station`, owned by it; its problems and notices go out as
// the station's.
void attachHttpEndpoint(Station& station);

} // namespace dialvane
