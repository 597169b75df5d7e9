// A site that fetches the station's three files: blocks, answers, re-sends, transfer logs.
#include "LinkFixture.h"

#include <QBuffer>
#include <QRegularExpression>

namespace dialvane::test {
namespace {

class SendTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        writeFile(resto("trfloc"), "loc1,loc2\r\n");
        writeFile(resto("trfbru1"), "bru\r\n");
        writeFile(resto("trfinv1"), "inv\r\n");
    }

    const SiteScript fetch{.transaction = 'X', .records = {}};
    // A site that calls and sends its header, then does only what the test schedules.
    void headerOnly() {
        line.schedule({1000ms, Action::Kind::CarrierUp, {}});
        line.schedule({1100ms, Action::Kind::Bytes, site::headerBlock("000123", 'X', '1')});
    }

    QByteArray logLine(int n, bool sent, const QByteArray& record) {
        return "Line " + QByteArray::number(n) + (sent ? " Sent:" : " Failed:") + padded(record) +
               "\r\n";
    }
};

TEST_F(SendTest, SendsTheThreeFilesInOrderAfterTheDelaysAndLogsEachBlock) {
    const Site& site = call(fetch);
    ASSERT_TRUE(site.completed());
    ASSERT_EQ(site.files().size(), 3u);
    EXPECT_EQ(site.files()[0], (std::vector<QByteArray>{padded("loc1"), padded("loc2")}));
    EXPECT_EQ(site.files()[1], std::vector<QByteArray>{padded("bru")});
    EXPECT_EQ(site.files()[2], std::vector<QByteArray>{padded("inv")});

    const QStringList names = logFiles();
    ASSERT_EQ(names.size(), 3) << names.join(",").toStdString();
    // Each log is named after the moment its file's send began (virtual time here).
    for (const QString& name : names)
        EXPECT_TRUE(QRegularExpression("^Dialvane20261205-1405[0-9]{2}-000123\\.log$")
                        .match(name)
                        .hasMatch())
            << name.toStdString();
    EXPECT_EQ(readAll(logs + names[0]), "FileName:" + resto("trfloc").toLatin1() + "\r\n" +
                                            logLine(1, true, "loc1") + logLine(2, true, "loc2"));
    EXPECT_EQ(readAll(logs + names[2]),
              "FileName:" + resto("trfinv1").toLatin1() + "\r\n" + logLine(1, true, "inv"));

    const auto acks = sentAt(ack());
    // Header ACK, then one ACK before each file.
    ASSERT_EQ(acks.size(), 4u);
    const auto firstBlock = sentAt(BuildBlock("loc1"));
    ASSERT_EQ(firstBlock.size(), 1u);
    EXPECT_EQ(acks[1], acks[0] + 1000ms + 200ms);
    EXPECT_EQ(firstBlock[0], acks[1] + 200ms);
    // The second file: 1000 ms after the site's ACK of the first end block.
    const auto ends = sentAt(BuildBlock(kEndMarker));
    ASSERT_EQ(ends.size(), 3u);
    EXPECT_EQ(acks[2], ends[0] + 1000ms + 200ms);
    EXPECT_EQ(sentAt(BuildBlock("bru"))[0], ends[0] + 1000ms + 400ms);
}

TEST_F(SendTest, NoAnswerCostsEightSendsAndIsLoggedFailed) {
    // The site answers nothing at all after its header; it hangs up much later.
    headerOnly();
    line.schedule({100000ms, Action::Kind::CarrierDown, {}});
    link->Serve(200000ms);
    const auto sends = sentAt(BuildBlock("loc1"));
    ASSERT_EQ(sends.size(), 8u);
    for (std::size_t i = 1; i < sends.size(); ++i)
        EXPECT_EQ(sends[i] - sends[i - 1], 2000ms);
    EXPECT_EQ(sentAt(BuildBlock("loc2")).front(), sends.back() + 2000ms + 200ms);
    const QByteArray log = readAll(logs + logFiles()[0]);
    EXPECT_TRUE(log.contains(logLine(1, false, "loc1")));
    EXPECT_TRUE(log.contains(logLine(2, false, "loc2")));
}

TEST_F(SendTest, NakOrAckWithJunkIsLoggedFailedAndNotResent) {
    // loc1 answered NAK, loc2 ACK followed by another byte.
    const Site& site = call({.transaction = 'X', .records = {}, .nakBlock = 1, .garbageBlock = 2});
    EXPECT_TRUE(site.completed());
    EXPECT_EQ(sentAt(BuildBlock("loc1")).size(), 1u);
    EXPECT_EQ(readAll(logs + logFiles()[0]), "FileName:" + resto("trfloc").toLatin1() + "\r\n" +
                                                 logLine(1, false, "loc1") +
                                                 logLine(2, false, "loc2"));
}

TEST_F(SendTest, EightNaksToTheEndBlockEndTheFile) {
    writeFile(resto("trfloc"), "");
    headerOnly();
    for (int i = 0; i < 9; ++i)
        line.schedule({2700ms + Millis(10 + 210 * i), Action::Kind::Bytes, nak()});
    line.schedule({9000ms, Action::Kind::CarrierDown, {}});
    link->Serve(20000ms);
    // The first file ends after its eighth end block; the second file starts with an ACK.
    const auto ends = sentAt(BuildBlock(kEndMarker));
    const Millis secondFile = sentAt(ack()).at(2);
    EXPECT_EQ(std::count_if(ends.begin(), ends.end(), [&](Millis t) { return t < secondFile; }), 8);
    EXPECT_EQ(secondFile, ends[7] + 10ms + 1000ms + 200ms); // its NAK came 10 ms later
    // An empty file: an ACK and the end blocks; its log has the file line alone.
    EXPECT_EQ(readAll(logs + logFiles()[0]), "FileName:" + resto("trfloc").toLatin1() + "\r\n");
}

TEST_F(SendTest, AMissingDataFileLeavesTheFileLineAndEndsTheCall) {
    QFile::remove(resto("trfbru1"));
    const Site& site = call(fetch);
    EXPECT_EQ(site.outcome(), Site::Outcome::HungUpByStation);
    const QStringList names = logFiles();
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(readAll(logs + names[1]), "FileName:" + resto("trfbru1").toLatin1() + "\r\n");
    EXPECT_TRUE(sentAt(BuildBlock("inv")).empty()) << "the third file is not sent in its place";
    ASSERT_EQ(events.failures.size(), 1u);
    EXPECT_TRUE(events.failures[0].contains("trfbru1"));
}

TEST_F(SendTest, AnUnwritableLogFolderEndsTheCallBeforeAnythingIsSent) {
    QDir(logs).removeRecursively();
    const Site& site = call(fetch);
    EXPECT_EQ(site.outcome(), Site::Outcome::HungUpByStation);
    EXPECT_EQ(line.sentBytes(), ack()) << "only the header was answered";
    ASSERT_EQ(events.failures.size(), 1u);
    EXPECT_TRUE(events.failures[0].contains("Logs"));
}

TEST(TextItems, RecordsFollowCommasQuotesAndLineEnds) {
    const auto items = [](const QByteArray& text) {
        QByteArray copy = text;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        TextItemReader reader(buffer, 126);
        QList<QByteArray> out;
        while (!reader.atEnd())
            out.append(reader.next());
        return out;
    };
    EXPECT_EQ(items("A,B\r\n"), (QList<QByteArray>{"A", "B"}));
    EXPECT_EQ(items("A,,B\r\n"), (QList<QByteArray>{"A", "", "B"}));
    EXPECT_EQ(items("  A  ,\tB\r\n"), (QList<QByteArray>{"A", "B"}));
    EXPECT_EQ(items("\"x, y\" ,z"), (QList<QByteArray>{"x, y", "z"}));
    EXPECT_EQ(items("\"  keep  \"tail,n"), (QList<QByteArray>{"  keep  ", "n"}));
    EXPECT_EQ(items("a\nb\rc\r\n"), (QList<QByteArray>{"a", "b", "c"}));
    EXPECT_EQ(items("a\r\n\r\nb"), (QList<QByteArray>{"a", "", "b"}));
    EXPECT_EQ(items(""), QList<QByteArray>{});
    EXPECT_EQ(items(QByteArray(130, 'L')), QList<QByteArray>{QByteArray(126, 'L')});
    EXPECT_EQ(items(QByteArray(100000, 'L') + ",x").size(), 2);
}

TEST(BlockCodec, BuildAndCheck) {
    EXPECT_EQ(BuildBlock(""), QByteArray(1, STX) + QByteArray(126, ' ') + QByteArray(1, ETX));
    EXPECT_EQ(BuildBlock(QByteArray(130, 'x')).size(), 128);
    QByteArray controls(126, '\0');
    EXPECT_TRUE(IsValidBlock(QByteArray(1, STX) + controls + QByteArray(1, ETX)));
    EXPECT_FALSE(IsValidBlock(BuildBlock("x").left(127)));
    EXPECT_FALSE(IsValidBlock(BuildBlock("x") + ETX));
    EXPECT_FALSE(IsValidBlock(QByteArray(1, 'x') + BuildBlock("x").mid(1)));
    EXPECT_FALSE(IsValidBlock(""));
}

} // namespace
} // namespace dialvane::test
