// The reports answer "did restaurant 000123 send its count, and did it work?": the filters,
// the totals and the overdue order are what an operator acts on.
#include "journal/Reports.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace dialvane::journal {
namespace {

struct Call {
    const char* start;
    const char* resto;
    const char* direction;
    const char* outcome;
    qint64 bytes;
};

class ReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const Call calls[] = {
            // Written as calls end: the long call of 000200 ends after the short one.
            {"2026-11-30T22:00:00", "000100", "receive", "completed", 1000},
            {"2026-12-05T22:05:00", "000300", "receive", "completed", 3000},
            {"2026-12-05T22:00:00", "000200", "receive", "completed", 2000},
            {"2026-12-06T09:00:00", "000100", "receive", "dropped", 0},
            {"2026-12-06T09:30:00", "000100", "send", "completed", 500},
            {"2026-12-06T10:00:00", "000200", "receive", "failed", 0},
        };
        for (const Call& c : calls) {
            Entry e;
            e.start = QDateTime::fromString(QString::fromLatin1(c.start), Qt::ISODate);
            e.restaurant = c.resto;
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
        EXPECT_TRUE(overdueReport(logs.path(), backroom.path(), query, out).isEmpty());
        out.flush();
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir logs;
    QTemporaryDir backroom;
};

TEST_F(ReportsTest, CallsAreFilteredSortedByStartAndTotalled) {
    QStringList all = calls({});
    ASSERT_EQ(all.size(), 8); // header, six calls, totals
    EXPECT_TRUE(all[0].startsWith(QStringLiteral("Start")));
    EXPECT_TRUE(all[2].contains(QStringLiteral("000200"))); // began first, ended later
    EXPECT_TRUE(all[3].contains(QStringLiteral("000300")));
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
