#pragma once
// What the HTTP endpoint tells of the station, kept up to date from the link's events, the
// journal rows and the hooks' results, so that a request never reads the journal or the
// Backroom: the metrics and the status page are made from memory in a few milliseconds even
// for thousands of restaurants and a busy month.
//
// At start (seed) the month's journal gives the counters, so that a restart does not reset
// the day's picture; the journals back to OverdueDays (and at least since the month before)
// give each restaurant's last received file; the restaurant list and each one's last call are
// read as the window reads them. The Backroom is listed again now and then (refresh), not per
// request.

#include "journal/Journal.h"
#include "link/LinkEvents.h"
#include "station/Hooks.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <vector>

namespace dialvane {

struct WatchSettings {
    QString logFolder;
    QString backroomFolder;
    int overdueDays = 2;
    QString line;   // "COM1": the journal rows of this line seed the counters
    QString device; // what the port names, for the page
};

class StationWatch {
public:
    explicit StationWatch(const QLocale& locale = QLocale::system());

    // Reads the journals and the Backroom; returns what could not be read.
    QStringList seed(const WatchSettings& settings, const QDateTime& now);
    // Lists the Backroom's restaurants again; returns what could not be read.
    QStringList refreshRestaurants();

    void heard(const LinkEvent& event);
    void recorded(const journal::Entry& call);
    void hookFinished(const HookRun& run);
    void setHooksPending(int pending) { hooksPending_ = pending; }

    // Prometheus text format, version 0.0.4.
    QByteArray metrics(const QDateTime& now) const;
    // The status page: one HTML document, no script, no external asset.
    QByteArray page(const QDateTime& now) const;

    bool portUp() const { return portUp_; }
    // "port COM1 (tcp:127.0.0.1:5001) open", or closed and why.
    QString portState() const;
    const WatchSettings& settings() const { return settings_; }
    int callsInProgress() const { return static_cast<int>(live_.size()); }
    // The restaurants without a received file for OverdueDays, never-sent first.
    QStringList overdue(const QDateTime& now) const;

private:
    struct Live {
        QString restaurant;
        QString direction; // receive, send, or empty before the header
        QString line;
        QString peer;
        QDateTime start;
        int records = 0;
    };
    struct Restaurant {
        QString name;
        QString trfbru;     // trfbru1's date as the window shows it
        bool known = false; // has a last call
        QString lastCall;   // its time as the window shows it
        QString result;     // as the window shows it
        QByteArray row;     // its row of the page's table, made when it changes
    };
    void makeRow(Restaurant& row) const;
    void noteLastCall(Restaurant& row, const journal::Entry& call) const;
    void count(const QString& line, const QString& outcome, const QString& direction,
               qint64 records, qint64 bytes);

    QLocale locale_;
    WatchSettings settings_;
    bool portUp_ = false;
    QString portText_ = QStringLiteral("not opened yet");
    std::map<std::uint64_t, Live> live_;
    std::map<std::pair<QString, QString>, qint64> calls_;   // line, outcome
    std::map<std::pair<QString, QString>, qint64> records_; // line, direction
    std::map<std::pair<QString, QString>, qint64> bytes_;   // line, direction
    std::map<std::pair<QString, QString>, qint64> hooks_;   // hook, result
    int hooksPending_ = 0;
    // Restaurant, last completed receive (Unix time), and its metric line made once: a
    // request then costs no time-zone arithmetic per restaurant.
    struct Received {
        qint64 at = 0;
        QByteArray sample;
    };
    void noteReceived(const QString& resto, qint64 at);
    std::map<QString, Received> lastReceive_;
    QDate receivesSince_; // the first day the journals were read for them
    std::vector<Restaurant> restaurants_;
    std::map<QString, std::size_t> restaurantIndex_;
    std::deque<journal::Entry> recent_; // the last calls, newest last
    QStringList problems_;
};

} // namespace dialvane
