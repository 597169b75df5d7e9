#include "journal/Reports.h"

#include "journal/Journal.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <vector>

namespace dialvane::journal {

namespace {

QByteArrayView leading(QByteArrayView text, qsizetype count) {
    return text.first(std::min(count, text.size()));
}

// "2026-12-06T10:44:03+01:00" as the tables show it: "2026-12-06 10:44:03".
QString shownTime(QByteArrayView start) {
    QString text = QString::fromUtf8(leading(start, 19));
    if (text.size() > 10)
        text[10] = QLatin1Char(' ');
    return text;
}

bool sameRestaurant(QByteArrayView cell, const QString& wanted) {
    if (cell == wanted.toUtf8())
        return true;
    bool cellIsNumber = false;
    bool wantedIsNumber = false;
    const qlonglong a = QString::fromUtf8(cell).toLongLong(&cellIsNumber);
    const qlonglong b = wanted.toLongLong(&wantedIsNumber);
    return cellIsNumber && wantedIsNumber && a == b;
}

// Cells are joined, never put through arg(): a restaurant "%1" from the line stays as it is.
// Bytes, not QStrings: a year of calls is 365,000 lines. Every padded cell is ASCII (escaped
// line bytes, numbers, names); only the reason, last and unpadded, may hold more.
QByteArray tableLine(std::initializer_list<QByteArrayView> cells) {
    static const int widths[] = {-19, -10, -4, -9, 7, 5, 7, 8, -9, 0};
    QByteArray line;
    line.reserve(120);
    int i = 0;
    for (QByteArrayView cell : cells) {
        const int width = widths[i];
        const qsizetype pad = std::max<qsizetype>(0, std::abs(width) - cell.size());
        if (width > 0)
            line.append(pad, ' ');
        line.append(cell);
        if (width < 0)
            line.append(pad, ' ');
        line.append(i == 0 || i == 7 ? "  " : " ");
        ++i;
    }
    while (line.endsWith(' '))
        line.chop(1);
    return line;
}

QByteArray callLine(const Row& row) {
    QByteArray start = leading(row.cell(Column::Start), 19).toByteArray();
    if (start.size() > 10)
        start[10] = ' ';
    const QByteArray code =
        row.cell(Column::Transaction).toByteArray().append(row.cell(Column::Type));
    return tableLine({start, row.cell(Column::Restaurant), code, row.cell(Column::Direction),
                      row.cell(Column::Records), row.cell(Column::NaksSent),
                      row.cell(Column::BlocksResent), row.cell(Column::Seconds),
                      row.cell(Column::Outcome), row.cell(Column::Reason)});
}

} // namespace

std::optional<QDate> parseSince(const QString& text, const QDate& today) {
    static const QRegularExpression days(QStringLiteral("^(\\d{1,5})d$"));
    if (const auto match = days.match(text); match.hasMatch())
        return today.addDays(-match.captured(1).toInt());
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10)
        return date;
    return std::nullopt;
}

QStringList callsReport(const QString& logFolder, const CallsQuery& query, QTextStream& out) {
    const QByteArray since =
        query.since.isValid() ? query.since.toString(Qt::ISODate).toUtf8() : QByteArray();
    const QByteArray outcome = query.outcome.toLower().toUtf8();
    // Rows are appended as calls end; sorting by start puts a long call before the short
    // ones that ended during it.
    std::vector<QByteArray> shown; // each line begins with its start time
    qint64 calls = 0;
    qint64 completed = 0;
    qint64 bytes = 0;
    const QStringList problems = readJournals(logFolder, query.since, [&](const Row& row) {
        const QByteArrayView start = row.cell(Column::Start);
        if (!since.isEmpty() && leading(start, 10) < QByteArrayView(since))
            return;
        if (!query.restaurant.isEmpty() &&
            !sameRestaurant(row.cell(Column::Restaurant), query.restaurant))
            return;
        if (!outcome.isEmpty() && row.cell(Column::Outcome) != QByteArrayView(outcome))
            return;
        ++calls;
        if (row.cell(Column::Outcome) == QByteArrayView("completed"))
            ++completed;
        bytes += row.number(Column::Bytes);
        shown.push_back(query.csv ? row.line().toByteArray() : callLine(row));
    });
    const auto byStart = [](const QByteArray& a, const QByteArray& b) {
        return leading(a, 19) < leading(b, 19);
    };
    if (!std::is_sorted(shown.begin(), shown.end(), byStart))
        std::stable_sort(shown.begin(), shown.end(), byStart);
    QByteArray text = query.csv ? headerLine().trimmed()
                                : tableLine({"Start", "Restaurant", "Call", "Direction", "Records",
                                             "NAKs", "Re-sent", "Seconds", "Outcome", "Reason"});
    text += '\n';
    // Written in slices: a year of calls never sits in memory twice more.
    for (const QByteArray& line : shown) {
        text.append(line).append('\n');
        if (text.size() > 1024 * 1024) {
            out << QString::fromUtf8(text);
            text.clear();
        }
    }
    out << QString::fromUtf8(text);
    if (query.csv)
        return problems;
    out << QStringLiteral("%1 calls, %2 completed, %3 failed, %4 bytes\n")
               .arg(calls)
               .arg(completed)
               .arg(calls - completed)
               .arg(bytes);
    return problems;
}

OverdueFindings overdueReport(const QString& logFolder, const QString& backroomFolder,
                              const OverdueQuery& query, QTextStream& out) {
    struct Seen {
        QByteArray lastReceived; // start of the last completed receive
        QByteArray lastCall;     // start of the last call of any outcome
        QString lastOutcome;
    };
    QStringList problems;
    static const QRegularExpression sixDigits(QStringLiteral("^\\d{6}$"));
    const QDir backroom(backroomFolder);
    if (!backroom.exists())
        problems << QStringLiteral("The Backroom folder %1 does not exist.").arg(backroomFolder);
    std::map<QByteArray, Seen> restaurants;
    for (const QString& name : backroom.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (sixDigits.match(name).hasMatch())
            restaurants[name.toUtf8()];

    problems += readJournals(logFolder, QDate(), [&](const Row& row) {
        const auto found = restaurants.find(row.cell(Column::Restaurant).toByteArray());
        if (found == restaurants.end())
            return;
        Seen& seen = found->second;
        // Local wall time compares as text; an hour put back in autumn may misorder two calls
        // of that hour, which a daily report can bear.
        const QByteArrayView start = leading(row.cell(Column::Start), 19);
        if (start >= QByteArrayView(seen.lastCall)) {
            seen.lastCall = start.toByteArray();
            seen.lastOutcome = row.text(Column::Outcome);
            if (!row.cell(Column::Reason).isEmpty())
                seen.lastOutcome += QStringLiteral(" (%1)").arg(row.text(Column::Reason));
        }
        if (row.cell(Column::Direction) == QByteArrayView("receive") &&
            row.cell(Column::Outcome) == QByteArrayView("completed") &&
            start >= QByteArrayView(seen.lastReceived))
            seen.lastReceived = start.toByteArray();
    });

    const QByteArray cutoff =
        query.now.addDays(-query.days).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toUtf8();
    std::vector<std::pair<QByteArray, const Seen*>> overdue;
    for (const auto& [resto, seen] : restaurants)
        if (seen.lastReceived < cutoff) // never received sorts first: empty
            overdue.emplace_back(resto, &seen);
    std::stable_sort(overdue.begin(), overdue.end(), [](const auto& a, const auto& b) {
        return a.second->lastReceived < b.second->lastReceived;
    });

    const QString period =
        query.days == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(query.days);
    if (overdue.empty()) {
        out << QStringLiteral("All %1 restaurants sent a file in the last %2.\n")
                   .arg(restaurants.size())
                   .arg(period);
        return {0, problems};
    }
    out << QStringLiteral("%1  %2  %3\n")
               .arg(QStringLiteral("Restaurant"), -10)
               .arg(QStringLiteral("Last file received"), -19)
               .arg(QStringLiteral("Last call"));
    for (const auto& [resto, seen] : overdue) {
        const QString received =
            seen->lastReceived.isEmpty() ? QStringLiteral("never") : shownTime(seen->lastReceived);
        const QString last = seen->lastCall.isEmpty()
                                 ? QStringLiteral("none")
                                 : shownTime(seen->lastCall) + QLatin1Char(' ') + seen->lastOutcome;
        out << QString::fromUtf8(resto).leftJustified(10) + QStringLiteral("  ") +
                   received.leftJustified(19) + QStringLiteral("  ") + last
            << '\n';
    }
    out << QStringLiteral("%1 of %2 restaurants sent no file in the last %3.\n")
               .arg(overdue.size())
               .arg(restaurants.size())
               .arg(period);
    return {static_cast<int>(overdue.size()), problems};
}

LastCalls lastCalls(const QString& logFolder, const QStringList& restaurants, const QDate& today) {
    LastCalls found;
    const std::vector<JournalFile> files = journalFiles(logFolder);
    const QByteArray todayText = today.toString(Qt::ISODate).toUtf8();
    std::map<QByteArray, QByteArray> newest; // restaurant -> start of its last call
    QByteArray latestStart;
    qsizetype wanted = restaurants.size();
    for (const QString& resto : restaurants)
        newest[resto.toUtf8()];
    for (auto file = files.rbegin(); file != files.rend(); ++file) {
        const JournalRead read = readJournal(file->path, [&](const Row& row) {
            const QByteArrayView start = leading(row.cell(Column::Start), 19);
            if (start >= QByteArrayView(latestStart)) {
                latestStart = start.toByteArray();
                found.latest = entryOf(row);
            }
            if (leading(start, 10) == QByteArrayView(todayText) &&
                row.cell(Column::Outcome) != QByteArrayView("completed"))
                ++found.notCompletedToday;
            const auto seen = newest.find(row.cell(Column::Restaurant).toByteArray());
            if (seen == newest.end() || start < QByteArrayView(seen->second))
                return;
            if (seen->second.isEmpty())
                --wanted;
            seen->second = start.toByteArray();
            found.byRestaurant[QString::fromUtf8(seen->first)] = entryOf(row);
        });
        found.problems += readProblems(file->path, read);
        // Today's failures are all in the newest journal; older ones only fill the columns.
        if (wanted == 0)
            break;
    }
    return found;
}

} // namespace dialvane::journal
