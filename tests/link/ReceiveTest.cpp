// A site that sends one file: header wait, data blocks, installation.
#include "LinkFixture.h"

namespace dialvane::test {
namespace {

class ReceiveTest : public LinkTest {};

TEST_F(ReceiveTest, InstallsTheFileWithDataFieldAndEtxPerLine) {
    writeFile(resto("itrfinv1"), "previous\r\n");
    SiteScript script;
    script.records = {QByteArray(126, 'A'), "short", "middle $$$END$$$ is data"};
    const Site& site = call(script);

    EXPECT_TRUE(site.completed());
    const QByteArray etx(1, ETX);
    EXPECT_EQ(readAll(resto("itrfinv1")), QByteArray(126, 'A') + etx + "\r\n" + padded("short") +
                                              etx + "\r\n" + padded("middle $$$END$$$ is data") +
                                              etx + "\r\n");
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    // The station answered header, three blocks and the end block, each with ACK.
    EXPECT_EQ(line.sentBytes(), QByteArray(5, ACK));
    EXPECT_TRUE(logFiles().isEmpty());
}

TEST_F(ReceiveTest, AnswersEachBlockAfterTheSendDelay) {
    SiteScript script;
    script.records = {"one"};
    call(script);
    const auto header = receivedAt(site::headerBlock("000123", 'S', '1'));
    ASSERT_EQ(header.size(), 1u);
    const auto acks = sentAt(ack());
    ASSERT_EQ(acks.size(), 3u);
    EXPECT_EQ(acks[0], header[0] + 200ms);
    EXPECT_EQ(acks[1], receivedAt(BuildBlock("one"))[0] + 200ms);
}

TEST_F(ReceiveTest, GDelayZeroAndOutOfRangeValues) {
    EXPECT_EQ(sendDelayMillis("0"), 0);
    EXPECT_EQ(sendDelayMillis(" 60000 "), 60000);
    EXPECT_EQ(sendDelayMillis("60001"), 200);
    EXPECT_EQ(sendDelayMillis("-5"), 200);
    EXPECT_EQ(sendDelayMillis("2.5"), 200);
    EXPECT_EQ(sendDelayMillis("abc"), 200);
    EXPECT_EQ(sendDelayMillis(""), 200);

    link->setConfig(config("0"));
    SiteScript script;
    script.records = {"x"};
    call(script);
    const auto header = receivedAt(site::headerBlock("000123", 'S', '1'));
    EXPECT_EQ(sentAt(ack()).front(), header.front());
}

TEST_F(ReceiveTest, HeadersWithCodeNAreAcknowledgedAndTheStationWaitsOn) {
    SiteScript script;
    script.headersN = 2;
    script.records = {"r"};
    const Site& site = call(script);
    EXPECT_TRUE(site.completed());
    EXPECT_EQ(receivedAt(site::headerBlock("000123", 'N', '1')).size(), 2u);
    EXPECT_EQ(line.sentBytes(), QByteArray(5, ACK));
    EXPECT_EQ(readAll(resto("itrfinv1")), padded("r") + char(ETX) + "\r\n");
}

TEST_F(ReceiveTest, BadBlocksAreNakedAndResent) {
    SiteScript script;
    script.records = {"a", "b", "c"};
    script.nakBlock = 1;     // broken STX
    script.garbageBlock = 2; // too short
    const Site& site = call(script);
    EXPECT_TRUE(site.completed());
    EXPECT_EQ(site.failures(), 2);
    EXPECT_EQ(readAll(resto("itrfinv1")), padded("a") + char(ETX) + "\r\n" + padded("b") +
                                              char(ETX) + "\r\n" + padded("c") + char(ETX) +
                                              "\r\n");
}

TEST_F(ReceiveTest, ASilentSiteCostsEightSilencesThenANak) {
    SiteScript script;
    script.records = {"a"};
    script.silentBlock = 1;
    const Site& site = call(script);
    EXPECT_TRUE(site.completed());
    const auto naks = sentAt(nak());
    ASSERT_EQ(naks.size(), 1u);
    // Header ACK at t; the station then reads for 8 x 2000 ms, and answers after the delay.
    const Millis headerAck = sentAt(ack()).front();
    EXPECT_EQ(naks[0], headerAck + 16000ms + 200ms);
}

TEST_F(ReceiveTest, ZeroBlankOrUnsafeRestaurantNumbersEndTheCallWithNothingWritten) {
    for (QByteArray number : {QByteArray("000000"), QByteArray("      "), QByteArray("ABC123"),
                              QByteArray("1/../x"), QByteArray("12\\345"), QByteArray("12:456"),
                              QByteArray("12\x01"
                                         "456"),
                              QByteArray("1*3456")}) {
        SCOPED_TRACE(number.toStdString());
        const qsizetype before = line.sentBytes().size();
        SiteScript script;
        script.restoNum = number;
        script.records = {"x"};
        script.giveUpAfter = 30s;
        const Site& site = call(script);
        // Only the header was acknowledged: the data block got no answer.
        EXPECT_EQ(line.sentBytes().mid(before), ack());
        EXPECT_EQ(site.outcome(), Site::Outcome::GaveUp);
    }
    const QStringList entries = QDir(backroom).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(entries, QStringList{"000123"});
    EXPECT_TRUE(QDir(backroom + "000123").isEmpty());
    EXPECT_TRUE(observer.failures.empty());
}

TEST_F(ReceiveTest, AnUnsafeTypeCodeEndsTheCall) {
    SiteScript script;
    script.type = '/';
    script.records = {"x"};
    script.giveUpAfter = 30s;
    call(script);
    EXPECT_EQ(line.sentBytes(), ack());
    EXPECT_TRUE(QDir(backroom + "000123").isEmpty());
}

TEST_F(ReceiveTest, NineBadHeadersGiveEightNaksThenTheStationHangsUp) {
    line.schedule({1000ms, Action::Kind::CarrierUp, {}});
    for (int i = 0; i < 9; ++i)
        line.schedule({Millis(2000 + 1000 * i), Action::Kind::Bytes, QByteArray(127, 'x') + ETX});
    line.schedule({60000ms, Action::Kind::CarrierDown, {}});
    link->Serve(120000ms);
    EXPECT_EQ(line.sentBytes(), QByteArray(8, NAK));
    const auto& t = line.transcript();
    const auto low = std::find_if(t.begin(), t.end(), [](const SimLine::Event& e) {
        return e.kind == SimLine::Event::Kind::Dtr && !e.level;
    });
    ASSERT_NE(low, t.end());
    EXPECT_EQ(low->at, 10000ms); // the ninth bad block, unanswered
    EXPECT_TRUE(line.dtr()) << "raised again once the carrier is gone";
}

TEST_F(ReceiveTest, TwoBlocksInOneReadAreOneBadBlock) {
    line.schedule({1000ms, Action::Kind::CarrierUp, {}});
    const QByteArray header = site::headerBlock("000123", 'S', '1');
    line.schedule({2000ms, Action::Kind::Bytes, header + header});
    line.schedule({9000ms, Action::Kind::CarrierDown, {}});
    link->Serve(20000ms);
    EXPECT_EQ(line.sentBytes(), nak());
    EXPECT_EQ(observer.longest(StatusLabel::Data), header + header);
}

TEST_F(ReceiveTest, EachArrivalRestartsTheSilenceCount) {
    line.schedule({1000ms, Action::Kind::CarrierUp, {}});
    const QByteArray header = site::headerBlock("000123", 'N', '1');
    // Three pieces 1900 ms apart: no silence of 2000 ms, so one block.
    line.schedule({2000ms, Action::Kind::Bytes, header.left(40)});
    line.schedule({3900ms, Action::Kind::Bytes, header.mid(40, 40)});
    line.schedule({5800ms, Action::Kind::Bytes, header.mid(80)});
    line.schedule({9000ms, Action::Kind::CarrierDown, {}});
    link->Serve(20000ms);
    ASSERT_EQ(sentAt(ack()).size(), 1u);
    EXPECT_EQ(sentAt(ack())[0], 6000ms);
}

TEST_F(ReceiveTest, AFloodWithoutEtxStaysBoundedAndIsNaked) {
    line.schedule({1000ms, Action::Kind::CarrierUp, {}});
    for (int i = 0; i < 200; ++i)
        line.schedule({Millis(2000 + i), Action::Kind::Bytes, QByteArray(1000, 'z')});
    line.schedule({2300ms, Action::Kind::Bytes, QByteArray(1, ETX)});
    line.schedule({9000ms, Action::Kind::CarrierDown, {}});
    link->Serve(20000ms);
    EXPECT_EQ(line.sentBytes(), nak());
    const QByteArray shown = observer.longest(StatusLabel::Data);
    EXPECT_EQ(shown.size(), TransferLink::kMaxBlockBytes);
    EXPECT_TRUE(shown.endsWith(ETX));
}

TEST_F(ReceiveTest, AMissingRestaurantFolderEndsTheCallWithAReasonAndHangsUp) {
    SiteScript script;
    script.restoNum = "000999";
    script.records = {"x"};
    const Site& site = call(script);
    EXPECT_EQ(site.outcome(), Site::Outcome::HungUpByStation);
    ASSERT_EQ(observer.failures.size(), 1u);
    EXPECT_TRUE(observer.failures[0].contains("000999")) << observer.failures[0].toStdString();
    // The next call is answered normally.
    SiteScript next;
    next.records = {"y"};
    next.callAt = line.now() + 1s;
    EXPECT_TRUE(call(next).completed());
}

TEST_F(ReceiveTest, AShortRestaurantNumberKeepsItsTrailingSpaces) {
    QDir().mkpath(backroom + "123   ");
    SiteScript script;
    script.restoNum = "123";
    script.records = {"x"};
    EXPECT_TRUE(call(script).completed());
    EXPECT_TRUE(QFile::exists(backroom + "123   /itrfinv1"));
}

TEST_F(ReceiveTest, StatusWindowShowsTheCallAndHidesOnCarrierLoss) {
    SiteScript script;
    script.records = {"x"};
    call(script);
    EXPECT_EQ(observer.shows, 1);
    EXPECT_FALSE(observer.visible);
    // The header fields as received, then blanked when the carrier went.
    EXPECT_EQ(observer.last(StatusLabel::Resto), "000123");
    EXPECT_EQ(observer.last(StatusLabel::Transaction), "S");
    EXPECT_EQ(link->state().RestoNum, "      ");
    EXPECT_EQ(link->state().Transaction, " ");
    // Reading starts with the empty text, then the direction text; it ends with the block.
    auto data = std::find(observer.captions.begin(), observer.captions.end(),
                          std::make_pair(StatusLabel::Data, QByteArray()));
    ASSERT_NE(data, observer.captions.end());
    EXPECT_EQ((data + 1)->second, "Entree des donnees - Data in");
    EXPECT_EQ((data + 2)->second, site::headerBlock("000123", 'S', '1'));
}

} // namespace
} // namespace dialvane::test
