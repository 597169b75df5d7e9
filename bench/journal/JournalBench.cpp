// A year of call journals for 1,000 restaurants calling daily (365,000 rows), then the time
// of the calls report over the year, the overdue report, and the window's fill at start.
//
//   bench_journal [--keep DIR]   (DIR keeps the generated Backroom and logs for timing the
//                                 real `dialvane calls` / `overdue` against them)
#include "journal/Journal.h"
#include "journal/Reports.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace dialvane;

namespace {

constexpr int kRestaurants = 1000;
constexpr int kDays = 365;

QString restaurant(int i) {
    return QStringLiteral("%1").arg(100000 + i, 6, 10, QLatin1Char('0'));
}

// Rows are written a month at a time, as the station would have appended them.
void writeYear(const QString& logs, const QDate& today) {
    QFile month;
    for (int d = kDays - 1; d >= 0; --d) {
        const QDate day = today.addDays(-d);
        const QString name = logs + journal::journalFileName(day);
        if (month.fileName() != name) {
            month.close();
            month.setFileName(name);
            month.open(QIODevice::WriteOnly | QIODevice::Truncate);
            month.write(journal::headerLine());
        }
        QByteArray rows;
        for (int r = 0; r < kRestaurants; ++r) {
            journal::Entry e;
            e.start = QDateTime(day, QTime(22, 0).addSecs(r * 3));
            e.seconds = 42.5;
            e.port = QStringLiteral("COM1");
            e.device = QStringLiteral("tcp:0.0.0.0:5001");
            e.peer = QStringLiteral("10.1.%1.%2:40000").arg(r / 250).arg(r % 250);
            e.restaurant = restaurant(r).toLatin1();
            e.transaction = "S";
            e.type = "1";
            e.direction = QStringLiteral("receive");
            e.files = {QStringLiteral("itrfinv1")};
            e.records = 2000;
            e.bytes = 258000;
            // One restaurant in fifty fails on a given day.
            const bool failed = (r + d) % 50 == 0;
            e.outcome = failed ? QStringLiteral("failed") : QStringLiteral("completed");
            if (failed)
                e.reason = QStringLiteral("Cannot write /srv/backroom/%1/itrfinv1.tmp: No space")
                               .arg(restaurant(r));
            rows += journal::rowLine(e);
        }
        month.write(rows);
    }
}

} // namespace

int main(int argc, char** argv) {
    QString keep;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--keep")
            keep = QString::fromLocal8Bit(argv[i + 1]);
    QTemporaryDir tmp;
    const QString root = keep.isEmpty() ? tmp.path() : keep;
    const QString logs = root + "/Logs/";
    const QString backroom = root + "/Backroom/";
    QDir().mkpath(logs);
    QStringList restaurants;
    for (int r = 0; r < kRestaurants + 10; ++r) { // ten that never called
        QDir().mkpath(backroom + restaurant(r));
        restaurants << restaurant(r);
    }
    const QDate today = QDate::currentDate();
    writeYear(logs, today);

    QElapsedTimer timer;
    QString text;
    QTextStream out(&text);
    timer.start();
    journal::CallsQuery query;
    query.since = today.addDays(-kDays);
    journal::callsReport(logs, query, out);
    out.flush();
    const double calls = timer.nsecsElapsed() / 1e6;
    const qsizetype lines = text.count(QLatin1Char('\n'));

    text.clear();
    timer.start();
    journal::overdueReport(logs, backroom, {1, QDateTime::currentDateTime()}, out);
    out.flush();
    const double overdue = timer.nsecsElapsed() / 1e6;

    timer.start();
    const journal::LastCalls fill = journal::lastCalls(logs, restaurants, today);
    const double window = timer.nsecsElapsed() / 1e6;

    std::printf("%d rows: calls report over the year %.0f ms (%lld lines), overdue %.0f ms, "
                "window fill %.0f ms (%zu restaurants found)\n",
                kRestaurants * kDays, calls, static_cast<long long>(lines), overdue, window,
                fill.byRestaurant.size());
    return 0;
}
