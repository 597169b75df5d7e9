// A site that sends one file: header wait, data blocks, installation.
#include "LinkFixture.h"

namespace dialvane::test {
namespace {

class ReceiveTest : public OnEitherLine {};
INSTANTIATE_TEST_SUITE_P(Lines, ReceiveTest, ::testing::Bool(), lineName);

// The file is named by its type, in the folder of the restaurant number, trailing blanks kept.
TEST_P(ReceiveTest, InstallsTheFileWithDataFieldAndEtxPerLineAfterHeadersWithCodeNAndResends) {
    const QString installed = backroom + "123   /itrfinv2";
    QDir().mkpath(backroom + "123   ");
    writeFile(installed, "previous\r\n");
    const QDateTime began = clock.localTime();
    // Block 1 comes first with a broken STX, block 2 first too short.
    const Site& site = call({.restoNum = "123",
                             .type = '2',
                             .records = {QByteArray(126, 'A'), "short", "middle $$$END$$$ is data"},
                             .headersN = 2,
                             .nakBlock = 1,
                             .garbageBlock = 2});

    EXPECT_TRUE(site.completed());
    const QByteArray etx(1, ETX);
    EXPECT_EQ(readAll(installed), QByteArray(126, 'A') + etx + "\r\n" + padded("short") + etx +
                                      "\r\n" + padded("middle $$$END$$$ is data") + etx + "\r\n");
    EXPECT_FALSE(QFile::exists(installed + ".tmp"));
    EXPECT_EQ(receivedAt(site::headerBlock("123", 'N', '2')).size(), 2u);
    // Three headers ACKed; blocks 1 and 2 NAKed, then ACKed when sent again; block 3 and the
    // end block ACKed.
    EXPECT_EQ(line.sentBytes(),
              ack() + ack() + ack() + nak() + ack() + nak() + ack() + ack() + ack());
    ASSERT_EQ(events.summaries.size(), 1u);
    EXPECT_EQ(describe(events.summaries[0]),
              "completed receive itrfinv2 records=3 naks=2 resent=0 bytes=387");
    EXPECT_EQ(events.summaries[0].start, began);
}

// Each answer comes a send delay after its block, or once the work it answers is done when
// that takes longer: a slow disk's write and install happen within the delay, not on top of it.
TEST_P(ReceiveTest, AnswersAfterTheSendDelay) {
    struct SlowDisk : FileSteps {
        SimLine* line = nullptr;
        Millis each{0};
        bool write(QFile& file, const QByteArray& bytes) override {
            line->spend(each);
            return FileSteps::write(file, bytes);
        }
        QString syncFolder(const QString& folder) override {
            line->spend(each);
            return FileSteps::syncFolder(folder);
        }
    };
    for (const auto& [delay, disk] :
         {std::pair{200ms, 0ms}, {0ms, 0ms}, {200ms, 150ms}, {200ms, 300ms}}) {
        SCOPED_TRACE(std::to_string(delay.count()) + " " + std::to_string(disk.count()));
        auto steps = std::make_shared<SlowDisk>();
        steps->line = &line;
        steps->each = disk;
        LinkConfig slow = config(delay);
        slow.files = steps;
        link->setConfig(slow);
        const qsizetype before = sentAt(ack()).size();
        call({.records = {"one"}, .callAt = line.now() + 1s});
        const auto acks = sentAt(ack());
        ASSERT_EQ(acks.size(), before + 3);
        const Millis answer = std::max(delay, disk);
        EXPECT_EQ(acks[before], receivedAt(site::headerBlock("000123", 'S', '1')).back() + delay);
        EXPECT_EQ(acks[before + 1], receivedAt(BuildBlock("one")).back() + answer);
        EXPECT_EQ(acks[before + 2], receivedAt(BuildBlock(kEndMarker)).back() + answer);
    }
}

TEST_P(ReceiveTest, ASilentSiteCostsEightSilencesThenANak) {
    const Site& site = call({.records = {"a"}, .silentBlock = 1});
    EXPECT_TRUE(site.completed());
    const auto naks = sentAt(nak());
    ASSERT_EQ(naks.size(), 1u);
    // Header ACK at t; the station then reads for 8 x 2000 ms, and answers after the delay.
    EXPECT_EQ(naks[0], sentAt(ack()).front() + 16000ms + 200ms);
}

// A header the call cannot take, or a restaurant without a folder (found only once the header
// is answered: the site hears its ACK, then the hang-up).
TEST_P(ReceiveTest, ZeroBlankOrUnsafeRestaurantNumbersOrTypesEndTheCallWithNothingWritten) {
    // Six characters of restaurant number, then the type.
    const QByteArray headers[] = {"0000001",  "      1",    "ABC1231",    "1/../x1",
                                  "12\\3451", "12:4561",    "12\0014561", "1*34561",
                                  "000123/",  "00012\2051", "000123\x81", "0009991"};
    for (const QByteArray& header : headers) {
        SCOPED_TRACE(header.toStdString());
        const qsizetype before = line.sentBytes().size();
        const Site& site = call(
            {.restoNum = header.left(6), .type = header[6], .records = {"x"}, .giveUpAfter = 30s});
        EXPECT_EQ(line.sentBytes().mid(before), ack());
        EXPECT_EQ(site.outcome(), Site::Outcome::HungUpByStation);
    }
    const QStringList entries = QDir(backroom).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(entries, QStringList{"000123"});
    EXPECT_TRUE(QDir(backroom + "000123").isEmpty());
    // A refusal says why, and is no failure; a restaurant without a folder is one.
    EXPECT_EQ(events.summaries.at(0).reason, "restaurant number 000000 reads as zero");
    EXPECT_TRUE(events.summaries.at(3).reason.startsWith("unsafe header"));
    ASSERT_EQ(events.failures.size(), 1u);
    EXPECT_TRUE(events.failures[0].startsWith("no folder for restaurant 000999 ("));
}

TEST_P(ReceiveTest, NineBadHeadersGiveEightNaksThenTheStationHangsUp) {
    line.schedule({1000ms, Action::Kind::CarrierUp, {}});
    for (int i = 0; i < 9; ++i)
        line.schedule({Millis(2000 + 1000 * i), Action::Kind::Bytes, QByteArray(127, 'x') + ETX});
    line.schedule({60000ms, Action::Kind::CarrierDown, {}});
    link->Serve(120000ms);
    EXPECT_EQ(line.sentBytes(), QByteArray(8, NAK));
    EXPECT_EQ(dtrAt(false), 10000ms); // the ninth bad block, unanswered
    EXPECT_TRUE(line.dtr()) << "raised again once the carrier is gone";
}

// What arrives before a silence is one block: two blocks at once, or a flood without ETX (kept
// bounded), are one bad block.
TEST_P(ReceiveTest, BytesThatAreNotOneBlockAreOneNak) {
    const QByteArray header = site::headerBlock("000123", 'S', '1');
    const struct {
        QByteArray piece;
        int pieces;
        QByteArray shown;
    } cases[] = {
        {header + header, 1, header + header},
        {QByteArray(1000, 'z'), 200, QByteArray(TransferLink::kMaxBlockBytes - 1, 'z') + ETX},
    };
    for (const auto& c : cases) {
        const Millis start = line.now() + 1s;
        line.schedule({start, Action::Kind::CarrierUp, {}});
        for (int i = 0; i < c.pieces; ++i)
            line.schedule({start + Millis(1000 + i), Action::Kind::Bytes, c.piece});
        if (c.pieces > 1)
            line.schedule({start + 1300ms, Action::Kind::Bytes, QByteArray(1, ETX)});
        line.schedule({start + 8000ms, Action::Kind::CarrierDown, {}});
        const qsizetype before = line.sentBytes().size();
        link->Serve(start + 20000ms);
        EXPECT_EQ(line.sentBytes().mid(before), nak());
        const auto moved = std::ranges::find(events.events.rbegin(), events.events.rend(),
                                             LinkEvent::Kind::BlockMoved, &LinkEvent::kind);
        EXPECT_EQ(moved->bytes, c.shown);
    }
}

TEST_P(ReceiveTest, EachArrivalRestartsTheSilenceCount) {
    line.schedule({1000ms, Action::Kind::CarrierUp, {}});
    const QByteArray header = site::headerBlock("000123", 'N', '1');
    // Ten pieces 1900 ms apart, longer than eight silences in all but never one silence of
    // 2000 ms: one block.
    for (int i = 0; i < 10; ++i)
        line.schedule(
            {Millis(2000 + 1900 * i), Action::Kind::Bytes, header.mid(13 * i, i < 9 ? 13 : -1)});
    line.schedule({30000ms, Action::Kind::CarrierDown, {}});
    link->Serve(40000ms);
    EXPECT_EQ(sentAt(ack()), std::vector<Millis>{2000ms + 9 * 1900ms + 200ms});
}

} // namespace
} // namespace dialvane::test
