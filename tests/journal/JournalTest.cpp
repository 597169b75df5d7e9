// The journal's rows must survive whatever a site puts in its header, and its months must roll
// over and be purged without losing the year an operator relies on; then the reports on them.
#include "journal/Journal.h"
#include "common/FileLock.h"
#include "journal/Reports.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace dialvane::journal {
namespace {

Entry entryAt(const QString& isoStart, const QByteArray& resto = "000123") {
    Entry e;
    e.start = QDateTime::fromString(isoStart, Qt::ISODate);
    e.restaurant = resto;
    e.outcome = QStringLiteral("completed");
    return e;
}

std::vector<std::vector<QByteArray>> rowsIn(const QString& folder) {
    std::vector<std::vector<QByteArray>> rows;
    readJournals(folder, QDate(), [&](const Row& row) {
        std::vector<QByteArray> cells;
        for (int c = 0; c < kColumns; ++c)
            cells.push_back(row.cell(static_cast<Column>(c)).toByteArray());
        rows.push_back(cells);
    });
    return rows;
}

TEST(Journal, HostileHeaderBytesStayInTheirCellAndNeverReadAsAFormula) {
    const struct {
        QByteArray resto;
        QByteArray cell; // as read back
    } cases[] = {
        {"=1+2,\"", "'=1+2,\""},        // formula, comma and quote in one
        {"+12345", "'+12345"},          // a leading sign is a formula too
        {"-1", "'-1"},                  //
        {"@SUM(", "'@SUM("},            //
        {"12\r\n=3", "12\\x0d\\x0a=3"}, // a line end cannot start a row
        {QByteArray("\x1b[2J\0\xe9", 6), "\\x1b[2J\\x00\\xe9"},
        {"a\\b", "a\\x5cb"}, // the escape itself is escaped
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        Entry e = entryAt(QStringLiteral("2026-12-06T10:44:03"), c.resto);
        e.transaction = e.type = c.resto;
        e.reason = QStringLiteral("Cannot open \"x\", twice\ttab\u0085\u2028");
        append(dir.path(), e);
    }
    const auto rows = rowsIn(dir.path());
    ASSERT_EQ(rows.size(), std::size(cases));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(cases[i].resto.toStdString());
        for (const Column column : {Column::Restaurant, Column::Transaction, Column::Type})
            EXPECT_EQ(rows[i][static_cast<int>(column)], cases[i].cell);
        EXPECT_EQ(rows[i][static_cast<int>(Column::Reason)],
                  "Cannot open \"x\", twice\\x09tab\\x85\\u2028");
    }
    // One header and one physical line per call, whatever the bytes were.
    const QByteArray file = test::readAll(dir.filePath(journalFileName(QDate(2026, 12, 1))));
    EXPECT_EQ(file.count('\n'), 1 + qsizetype(std::size(cases)));
    EXPECT_TRUE(file.startsWith("start,seconds,port,device,peer,restaurant,"));
}

// A crash may leave a last row without its end, even inside a quoted cell: the next row is
// never glued to it, and a log folder removed while the station runs is made again.
TEST(Journal, ATornLastRowStaysItsOwnRowAndAMissingFolderIsMadeAgain) {
    QTemporaryDir dir;
    const QString logs = dir.filePath("logs");
    EXPECT_TRUE(append(logs, entryAt("2026-12-06T10:00:00")).contains("made again"));
    const QString file = logs + '/' + journalFileName(QDate(2026, 12, 1));
    test::writeFile(file, test::readAll(file) +
                              "2026-12-06T10:01:00,1.0,COM1,,,000124,X,1,send,\"trfloc|trfb");
    EXPECT_EQ(append(logs, entryAt("2026-12-06T10:02:00", "000125")), QString());
    const auto rows = rowsIn(logs);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back()[static_cast<int>(Column::Restaurant)], "000125");
}

// Every reader (reports, window, HTTP) keeps only rows as append() writes them. A bad row costs
// itself alone, never the rows around it (a quote left open swallows nothing), and is counted.
TEST(Journal, ARowNotAsWrittenIsSkippedAloneAndCounted) {
    Entry e = entryAt("2026-12-06T10:00:00", "000200");
    e.reason = QStringLiteral("REASON");
    const QByteArray good = rowLine(e).trimmed();
    const auto with = [&](QByteArrayView reason) {
        return QByteArray(good).replace("REASON", reason);
    };
    const struct {
        QByteArray line;
        bool kept;
    } cases[] = {
        {with("\"a \"\"b\"\", c\""), true},        // doubled quotes and a comma
        {with("caf\xc3\xa9 \xe2\x82\xac"), true},  // UTF-8 beyond ASCII
        {good + ",x", false},                      // a cell too many
        {good.left(good.lastIndexOf(',')), false}, // a cell too few
        {with("\"open"), false},                   // a quote left open
        {with("\"a\"b"), false},                   // text after the closing quote
        {with("a\"b"), false},                     // a quote in an unquoted cell
        {with("caf\xe9"), false},                  // Latin-1, not UTF-8
        {with("\xc0\xaf"), false},                 // an overlong '/'
        {with("\xed\xa0\x80"), false},             // a surrogate
        {with("\xf4\x90\x80\x80"), false},         // beyond U+10FFFF
        {with("a\tb"), false},
        {with("\xc2\x85"), false}, // U+0085, a line break to some readers
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("journal.csv");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        test::writeFile(path, headerLine() + rowLine(entryAt("2026-12-06T09:00:00", "000100")) +
                                  c.line + "\r\n\r\n" +
                                  rowLine(entryAt("2026-12-06T11:00:00", "000300")));
        QByteArrayList restaurants;
        const JournalRead read = readJournal(path, [&](const Row& row) {
            restaurants << row.cell(Column::Restaurant).toByteArray();
        });
        EXPECT_EQ(restaurants, c.kept ? QByteArrayList({"000100", "000200", "000300"})
                                      : QByteArrayList({"000100", "000300"}));
        EXPECT_EQ(readProblems(path, read).join(""),
                  c.kept ? ""
                         : "Skipped 1 damaged row of the call journal " + path +
                               " (a row torn by a crash, or bytes that are no row).");
    }
}

TEST(Journal, RowsGoToTheMonthTheCallBeganAndThePurgeKeepsAWholeYear) {
    QTemporaryDir dir;
    for (const char* start : {"2025-12-31T23:59:59", "2026-01-01T00:00:00", "2026-01-15T08:00:00",
                              "2027-01-02T08:00:00"})
        append(dir.path(), entryAt(QString::fromLatin1(start)));
    const QString december = dir.filePath(journalFileName(QDate(2025, 12, 1)));
    const QString january = dir.filePath(journalFileName(QDate(2026, 1, 1)));
    EXPECT_EQ(test::readAll(january).count("start,"), 1); // one header in a file of two rows
    EXPECT_EQ(rowsIn(dir.path()).size(), 4u);

    // 13 months on 2027-01-02 keep January 2026 to January 2027: a year back from today.
    EXPECT_TRUE(purge(dir.path(), 13, QDate(2027, 1, 2)).isEmpty());
    EXPECT_FALSE(QFile::exists(december));
    EXPECT_TRUE(QFile::exists(january));
    EXPECT_TRUE(purge(dir.path(), 0, QDate(2030, 1, 1)).isEmpty()); // zero keeps every month
    EXPECT_TRUE(QFile::exists(january));
    EXPECT_TRUE(purge(dir.path(), 1, QDate(2027, 1, 31)).isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList{journalFileName(QDate(2027, 1, 1))});
}

TEST(Journal, TheStartKeepsItsOffsetSoRowsAcrossAClockChangeStillOrder) {
    EXPECT_EQ(isoLocalTime(QDateTime(QDate(2026, 1, 1), QTime(9, 30), QTimeZone(-12600))),
              "2026-01-01T09:30:00-03:30");
}

// Stations sharing a log folder append at the same moments, each month's file new to all of
// them: whatever the order, every row arrives whole and once, and each file has one header.
TEST(Journal, StationsAppendingAtOnceKeepEveryRowWholeAndEachFileOneHeader) {
    QTemporaryDir dir;
    constexpr int kStations = 3;
    constexpr int kRows = 300;
    constexpr int kMonths = 100; // so that each file is begun by stations racing for it
    const auto entryOf = [](int station, int row) {
        Entry e = entryAt(QStringLiteral("2020-01-01T10:00:00"));
        e.start = e.start.addMonths(row % kMonths);
        e.reason = QStringLiteral("station %1 row %2 ").arg(station).arg(row) + QString(200, 'x');
        return e;
    };
    // Each station its own open of the files, as separate processes have: the record locks
    // are between opens, not processes.
    std::atomic<int> failed{0};
    std::vector<std::thread> stations;
    for (int station = 0; station < kStations; ++station)
        stations.emplace_back([&, station] {
            for (int row = 0; row < kRows; ++row) {
                try {
                    append(dir.path(), entryOf(station, row));
                } catch (const JournalError&) {
                    ++failed; // a row written without the lock counts too
                }
            }
        });
    for (std::thread& station : stations)
        station.join();
    EXPECT_EQ(failed, 0);

    // A torn row would be skipped as damaged, so rows as written, each once, are all of them.
    const auto rows = rowsIn(dir.path());
    std::set<QByteArray> reasons;
    for (const auto& row : rows)
        reasons.insert(row[static_cast<int>(Column::Reason)]);
    EXPECT_EQ(rows.size(), size_t(kStations * kRows));
    EXPECT_EQ(reasons.size(), rows.size());
    const std::vector<JournalFile> files = journalFiles(dir.path());
    EXPECT_EQ(files.size(), size_t(kMonths));
    for (const JournalFile& file : files)
        EXPECT_EQ(test::readAll(file.path).count(headerLine()), 1) << file.path.toStdString();
}

// A lock that stays held (a station hung on a lost file server) costs no row and no hang: the
// row is written after the wait and the failure says so. The holder here is another open in
// this very process, as a second call of one station would be.
TEST(Journal, ARowIsWrittenPastALockThatStaysHeldAndTheFailureSaysSo) {
    QTemporaryDir dir;
    const Entry entry = entryAt(QStringLiteral("2026-12-05T10:00:00"));
    QFile holder(dir.filePath(journalFileName(entry.start.date())));
    ASSERT_TRUE(holder.open(QIODevice::WriteOnly | QIODevice::Append));
    ASSERT_EQ(lockForWriting(holder, std::chrono::milliseconds(0)), FileLockOutcome::Taken);
    EXPECT_THAT(test::failureOf<JournalError>(
                    [&] { append(dir.path(), entry, std::chrono::milliseconds(20)); }),
                testing::HasSubstr("stayed locked by another station for 0.02 s; the row was "
                                   "written without the lock"));
    holder.close();
    append(dir.path(), entry, std::chrono::milliseconds(0)); // let go: locked at once
    EXPECT_EQ(rowsIn(dir.path()).size(), 2u);
}

class ReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const struct {
            const char *start, *resto, *direction, *outcome;
            qint64 bytes;
        } calls[] = {
            // Written as calls end: the long call of 000200 ends after the short one.
            {"2026-11-30T22:00:00", "000100", "receive", "completed", 1000},
            {"2026-12-05T22:05:00", "000300", "receive", "completed", 3000},
            {"2026-12-05T22:00:00", "000200", "receive", "completed", 2000},
            {"2026-12-06T09:00:00", "000100", "receive", "dropped", 0},
            {"2026-12-06T09:30:00", "000100", "send", "completed", 500},
            {"2026-12-06T10:00:00", "000200", "receive", "failed", 0},
        };
        for (const auto& c : calls) {
            Entry e = entryAt(QString::fromLatin1(c.start), c.resto);
            e.transaction = QByteArrayView(c.direction) == "send" ? "X" : "S";
            e.type = "1";
            e.direction = QString::fromLatin1(c.direction);
            e.outcome = QString::fromLatin1(c.outcome);
            e.bytes = c.bytes;
            if (e.outcome == QStringLiteral("failed"))
                e.reason = QStringLiteral("Cannot write itrfinv1.tmp");
            append(logs.path(), e);
        }
        for (const char* resto : {"000100", "000200", "000300", "000400"})
            QDir(backroom.path()).mkdir(QString::fromLatin1(resto));
        QDir(backroom.path()).mkdir(QStringLiteral("notes")); // not a restaurant
    }

    QStringList calls(const CallsQuery& query) {
        QString text;
        QTextStream out(&text);
        EXPECT_TRUE(callsReport(logs.path(), query, out).isEmpty());
        out.flush();
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QStringList overdue(int days) {
        QString text;
        QTextStream out(&text);
        const OverdueQuery query{days, QDateTime(QDate(2026, 12, 6), QTime(12, 0))};
        EXPECT_TRUE(overdueReport(logs.path(), backroom.path(), query, out).problems.isEmpty());
        out.flush();
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir logs;
    QTemporaryDir backroom;
};

TEST_F(ReportsTest, CallsAreFilteredSortedByStartAndTotalled) {
    QStringList all = calls({});
    ASSERT_EQ(all.size(), 8);                               // header, six calls, totals
    EXPECT_TRUE(all[2].contains(QStringLiteral("000200"))); // began first, ended later
    EXPECT_TRUE(all[6].endsWith(QStringLiteral("failed    Cannot write itrfinv1.tmp")));
    EXPECT_EQ(all.last(), QStringLiteral("6 calls, 4 completed, 2 failed, 6500 bytes"));

    const struct {
        CallsQuery query;
        QString totals;
    } cases[] = {
        {{QDate(2026, 12, 6), {}, {}, false},
         QStringLiteral("3 calls, 1 completed, 2 failed, 500 bytes")},
        {{{}, QStringLiteral("100"), {}, false},
         QStringLiteral("3 calls, 2 completed, 1 failed, 1500 bytes")},
        {{{}, {}, QStringLiteral("FAILED"), false},
         QStringLiteral("1 calls, 0 completed, 1 failed, 0 bytes")},
        {{QDate(2027, 1, 1), {}, {}, false},
         QStringLiteral("0 calls, 0 completed, 0 failed, 0 bytes")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(calls(c.query).last(), c.totals);

    // --csv gives the journal's own rows under its header, for a spreadsheet.
    const QStringList csv = calls({{}, QStringLiteral("000300"), {}, true});
    ASSERT_EQ(csv.size(), 2);
    EXPECT_TRUE(csv[0].startsWith(QStringLiteral("start,seconds,")));
    EXPECT_TRUE(csv[1].startsWith(QStringLiteral("2026-12-05T22:05:00")));
}

TEST_F(ReportsTest, SinceTakesDaysBackOrADate) {
    const QDate today(2026, 12, 6);
    EXPECT_EQ(parseSince(QStringLiteral("7d"), today), QDate(2026, 11, 29));
    EXPECT_EQ(parseSince(QStringLiteral("0d"), today), today);
    EXPECT_EQ(parseSince(QStringLiteral("2026-01-31"), today), QDate(2026, 1, 31));
    for (const char* bad : {"", "7", "d", "-1d", "2026-13-01", "2026-1-1", "yesterday"})
        EXPECT_FALSE(parseSince(QString::fromLatin1(bad), today)) << bad;
}

TEST_F(ReportsTest, OverdueListsNeverFirstThenOldestWithTheirLastCall) {
    // Noon on 2026-12-06, one day: 000100's last file came on 11-30 (its later receive
    // dropped, a fetch is no file), 000400 never called; 000200 and 000300 sent on 12-05.
    const QStringList one = overdue(1);
    ASSERT_EQ(one.size(), 4);
    EXPECT_TRUE(one[1].startsWith(QStringLiteral("000400      never                none")));
    EXPECT_TRUE(one[2].startsWith(
        QStringLiteral("000100      2026-11-30 22:00:00  2026-12-06 09:30:00 completed")));
    EXPECT_EQ(one[3], QStringLiteral("2 of 4 restaurants sent no file in the last 1 day."));
    // 000200's failed receive today does not hide its completed one of yesterday.
    EXPECT_FALSE(one.join(QLatin1Char('\n')).contains(QStringLiteral("000200")));

    EXPECT_EQ(overdue(10).last(),
              QStringLiteral("1 of 4 restaurants sent no file in the last 10 days."));
}

} // namespace
} // namespace dialvane::journal
