// The journal's rows must survive whatever a site puts in its header, and its months must
// roll over and be purged without losing the year an operator relies on.
#include "journal/Journal.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

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
        {"000123", "000123"},
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
        e.reason = QStringLiteral("Cannot open \"x\", twice\ttab");
        append(dir.path(), e);
    }
    const auto rows = rowsIn(dir.path());
    ASSERT_EQ(rows.size(), std::size(cases));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(cases[i].resto.toStdString());
        EXPECT_EQ(rows[i][static_cast<int>(Column::Restaurant)], cases[i].cell);
        EXPECT_EQ(rows[i][static_cast<int>(Column::Reason)], "Cannot open \"x\", twice\\x09tab");
        EXPECT_EQ(rows[i][static_cast<int>(Column::Outcome)], "completed");
    }
    // One header and one physical line per call, whatever the bytes were.
    const QByteArray file = test::readAll(dir.filePath(journalFileName(QDate(2026, 12, 1))));
    EXPECT_EQ(file.count('\n'), 1 + qsizetype(std::size(cases)));
    EXPECT_TRUE(file.startsWith("start,seconds,port,device,peer,restaurant,"));
}

TEST(Journal, RowsGoToTheMonthTheCallBeganAndThePurgeKeepsAWholeYear) {
    QTemporaryDir dir;
    append(dir.path(), entryAt(QStringLiteral("2025-12-31T23:59:59")));
    append(dir.path(), entryAt(QStringLiteral("2026-01-01T00:00:00")));
    append(dir.path(), entryAt(QStringLiteral("2026-01-15T08:00:00")));
    append(dir.path(), entryAt(QStringLiteral("2027-01-02T08:00:00")));
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
    const QDateTime summer(QDate(2026, 7, 1), QTime(10, 0), QTimeZone(2 * 3600));
    EXPECT_EQ(isoLocalTime(summer), QStringLiteral("2026-07-01T10:00:00+02:00"));
    const QDateTime west(QDate(2026, 1, 1), QTime(9, 30), QTimeZone(-(3 * 3600 + 1800)));
    EXPECT_EQ(isoLocalTime(west), QStringLiteral("2026-01-01T09:30:00-03:30"));
}

} // namespace
} // namespace dialvane::journal
