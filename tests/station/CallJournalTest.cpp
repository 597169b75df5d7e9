// A call's journal row as the station writes it: every byte below 0x20, and 0x7F, that a site
// puts in its header is escaped in each cell that comes from the line, and the call stays one
// row of one line.
#include "journal/Journal.h"
#include "link/LinkFixture.h"
#include "station/CallHistory.h"

namespace dialvane::test {
namespace {

using CallJournalTest = LinkTest;
using journal::Column;

TEST_F(CallJournalTest, EveryControlByteASiteSendsIsEscapedInEveryCellFromTheLine) {
    QByteArray controls(1, '\x7f');
    for (int b = 0; b < 0x20; ++b)
        controls += static_cast<char>(b);
    std::vector<QByteArray> expected; // restaurant|transaction|type|outcome
    for (const char b : controls) {
        const QByteArray escaped =
            "\\x" + QByteArray::number(static_cast<uchar>(b), 16).rightJustified(2, '0');
        // The byte in the restaurant number, as the transaction code, as the type.
        const struct {
            SiteScript script;
            QByteArray row;
        } cases[] = {
            {{.restoNum = "000" + QByteArray(1, b) + "23", .records = {"x"}},
             "000" + escaped + "23|S|1|refused"},
            {{.transaction = b, .records = {"x"}}, "000123|" + escaped + "|1|failed"},
            {{.type = b, .records = {"x"}}, "000123|S|" + escaped + "|refused"},
        };
        for (const auto& c : cases) {
            SiteScript script = c.script;
            script.callAt = line.now() + 1s;
            events.summaries.clear();
            call(script);
            ASSERT_EQ(events.summaries.size(), 1u);
            journal::append(logs, journalEntry(events.summaries[0]));
            expected.push_back(c.row);
        }
    }
    std::size_t n = 0;
    journal::readJournals(logs, QDate(), [&](const journal::Row& row) {
        ASSERT_LT(n, expected.size());
        SCOPED_TRACE(row.line().toByteArray().toStdString());
        EXPECT_EQ(row.cell(Column::Restaurant).toByteArray() + '|' +
                      row.cell(Column::Transaction).toByteArray() + '|' +
                      row.cell(Column::Type).toByteArray() + '|' +
                      row.cell(Column::Outcome).toByteArray(),
                  expected[n++]);
        for (const char c : row.line())
            ASSERT_TRUE(static_cast<uchar>(c) >= 0x20 && c != '\x7f') << int(c);
    });
    EXPECT_EQ(n, expected.size());
}

} // namespace
} // namespace dialvane::test
