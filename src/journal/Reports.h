#pragma once
// The reports an operator asks for from the command line, read from the call journals: the
// calls of a period, and the restaurants that have not sent a file lately.

#include "journal/Journal.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <map>
#include <optional>

namespace dialvane::journal {

struct CallsQuery {
    QDate since;        // calls that began on this local date or later; null: every journal
    QString restaurant; // empty: all; "123" also matches "000123"
    QString outcome;    // empty: all
    bool csv = false;   // the journal's own rows and header instead of a table
};

// "7d" (from the date seven days before `today`; "0d" is today) or "YYYY-MM-DD".
std::optional<QDate> parseSince(const QString& text, const QDate& today);

// The matching calls, oldest first, then a totals line. Returns the journals that could not
// be read.
QStringList callsReport(const QString& logFolder, const CallsQuery& query, QTextStream& out);

struct OverdueQuery {
    int days = 1;
    QDateTime now; // local time
};

struct OverdueFindings {
    int overdue = 0;      // restaurants listed
    QStringList problems; // journals or folders that could not be read
};

// The restaurants (six-digit folders of the Backroom) without a completed receive since
// `days` days before `now`, oldest first (never first), each with its last call of any
// outcome.
OverdueFindings overdueReport(const QString& logFolder, const QString& backroomFolder,
                              const OverdueQuery& query, QTextStream& out);

// What the window shows of the journal at start: the last call of each restaurant asked
// for, the last call of all, and how many calls of `today` did not complete. Journals are
// read newest first, and no further once every restaurant has been seen.
struct LastCalls {
    std::map<QString, Entry> byRestaurant;
    std::optional<Entry> latest;
    int notCompletedToday = 0;
    QStringList problems;
};
LastCalls lastCalls(const QString& logFolder, const QStringList& restaurants, const QDate& today);

} // namespace dialvane::journal
