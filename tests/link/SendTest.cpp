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
    QByteArray logLine(int n, bool sent, const QByteArray& record) {
        return "Line " + QByteArray::number(n) + (sent ? " Sent:" : " Failed:") + padded(record) +
               "\r\n";
    }
};

TEST_F(SendTest, SendsTheThreeFilesInOrderAfterTheDelaysAndLogsEachBlock) {
    const Site& site = call(fetch);
    ASSERT_TRUE(site.completed());
    EXPECT_EQ(site.files(),
              (std::vector<std::vector<QByteArray>>{
                  {padded("loc1"), padded("loc2")}, {padded("bru")}, {padded("inv")}}));

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

// A fetching site that answers every block ACK but `stage`, the first time the station sends it
// `first` and then `later` (empty: silence). It hangs up when the station does.
struct AnsweringSite final : site::Peer {
    AnsweringSite(QByteArray stage, QByteArray first, QByteArray later)
        : stage(std::move(stage)), first(std::move(first)), later(std::move(later)) {}
    void onStationBytes(Millis now, const QByteArray& bytes) override {
        if (bytes.size() != kBlockSize)
            return; // the ACK before each file
        QByteArray answer = ack();
        if (bytes == stage && !passed) {
            answer = stageSends.empty() ? first : later;
            stageSends.push_back(now);
        } else {
            passed = !stageSends.empty();
        }
        if (!answer.isEmpty())
            actions.push_back({now + 10ms, Action::Kind::Bytes, answer});
    }
    void onStationDtr(Millis now, bool raised) override {
        if (!raised)
            actions.push_back({now, Action::Kind::CarrierDown, {}});
    }
    void onTimer(Millis) override {}
    std::vector<Action> takeActions() override { return std::exchange(actions, {}); }

    QByteArray stage, first, later;
    bool passed = false;
    std::vector<Millis> stageSends;
    std::vector<Action> actions;
};

// Whatever a site answers to a data block or to the end block, the call goes on to the next
// block and the next file. Only silence re-sends a data block (every 2000 ms, eight sends in
// all); NAK and silence re-send the end block, anything else ends the file. Only a lone ACK
// counts a record as sent.
TEST_F(SendTest, EveryAnswerToADataBlockOrTheEndBlock) {
    writeFile(resto("trfloc"), "loc1\r\n");
    const QByteArray data = BuildBlock("loc1"), end = BuildBlock(kEndMarker), none;
    const struct {
        const char* what;
        QByteArray stage, first, later;
        int sends;
        Millis gap; // between two sends of the block
        bool sent;  // the record counted and logged as sent
    } cases[] = {
        {"data ACK", data, ack(), ack(), 1, 0ms, true},
        {"data NAK", data, nak(), ack(), 1, 0ms, false},
        {"data other byte", data, "x", ack(), 1, 0ms, false},
        {"data ACK and more", data, ack() + "Z", ack(), 1, 0ms, false},
        {"data silence once", data, none, ack(), 2, 2000ms, true},
        {"data silence", data, none, none, 8, 2000ms, false},
        {"end ACK", end, ack(), ack(), 1, 0ms, true},
        {"end NAK once", end, nak(), ack(), 2, 210ms, true},
        {"end NAK", end, nak(), nak(), 8, 210ms, true},
        {"end other byte", end, "x", ack(), 1, 0ms, true},
        {"end ACK and more", end, ack() + "Z", ack(), 1, 0ms, true},
        {"end silence once", end, none, ack(), 2, 2000ms, true},
        {"end silence", end, none, none, 8, 2000ms, true},
    };
    std::vector<std::unique_ptr<AnsweringSite>> answering;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& name : logFiles())
            QFile::remove(logs + name);
        events.summaries.clear();
        AnsweringSite& site =
            *answering.emplace_back(std::make_unique<AnsweringSite>(c.stage, c.first, c.later));
        line.attach(site);
        const Millis start = line.now() + 1s;
        line.schedule({start, Action::Kind::CarrierUp, {}});
        line.schedule({start + 100ms, Action::Kind::Bytes, site::headerBlock("000123", 'X', '1')});
        link->Serve(start + 10min);

        ASSERT_EQ(site.stageSends.size(), static_cast<size_t>(c.sends));
        for (size_t i = 1; i < site.stageSends.size(); ++i)
            EXPECT_EQ(site.stageSends[i] - site.stageSends[i - 1], c.gap);
        ASSERT_EQ(events.summaries.size(), 1u);
        EXPECT_EQ(
            describe(events.summaries[0]),
            QString("completed send trfloc,trfbru1,trfinv1 records=%1 naks=0 resent=%2 bytes=%3")
                .arg(c.sent ? 3 : 2)
                .arg(c.sends - 1)
                .arg((c.sent ? 3 : 2) * 126));
        EXPECT_EQ(events.summaries[0].recordsFailed, c.sent ? 0 : 1);
        ASSERT_EQ(logFiles().size(), 3);
        EXPECT_EQ(readAll(logs + logFiles()[0]),
                  "FileName:" + resto("trfloc").toLatin1() + "\r\n" + logLine(1, c.sent, "loc1"));
    }
}

// A missing file leaves its log's file line and ends the call; so does a log folder that cannot
// be written, before anything is sent.
TEST_F(SendTest, AMissingDataFileOrLogFolderEndsTheCall) {
    QFile::remove(resto("trfbru1"));
    EXPECT_EQ(call(fetch).outcome(), Site::Outcome::HungUpByStation);
    const QStringList names = logFiles();
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(readAll(logs + names[1]), "FileName:" + resto("trfbru1").toLatin1() + "\r\n");
    EXPECT_TRUE(sentAt(BuildBlock("inv")).empty()) << "the third file is not sent in its place";

    QDir(logs).removeRecursively();
    const qsizetype before = line.sentBytes().size();
    EXPECT_EQ(call(fetch).outcome(), Site::Outcome::HungUpByStation);
    EXPECT_EQ(line.sentBytes().mid(before), ack()) << "only the header was answered";
    ASSERT_EQ(events.failures.size(), 2u);
    EXPECT_TRUE(events.failures[0].contains("trfbru1"));
    EXPECT_TRUE(events.failures[1].contains("Logs"));
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

// Blocks of every other length or first byte are answered NAK in the receiving tests.
TEST(BlockCodec, BuildAndCheck) {
    EXPECT_EQ(BuildBlock(""), QByteArray(1, STX) + QByteArray(126, ' ') + QByteArray(1, ETX));
    EXPECT_FALSE(IsValidBlock(BuildBlock("x").chopped(1) + 'x'));
}

} // namespace
} // namespace dialvane::test
