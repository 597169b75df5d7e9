// Opening and closing the port, the modem set-up, and line events outside a call.
#include "LinkFixture.h"

namespace dialvane::test {
namespace {

class PortTest : public LinkTest {};

TEST_F(PortTest, ADirectLineSetsTheTitleAndSendsNothing) {
    link->ClosePort();
    link->OpenPort("D", 2400, 3);
    EXPECT_EQ(observer.titles.back(), "2400,n,8,1 COM3");
    EXPECT_EQ(line.settings(), "2400,n,8,1");
    EXPECT_TRUE(line.sentBytes().isEmpty());
    EXPECT_TRUE(line.dtr());
    EXPECT_TRUE(line.rts());
}

TEST_F(PortTest, TheModemIsResetAndSetToAnswerOnTheFirstRing) {
    link->ClosePort();
    line.schedule({300ms, Action::Kind::Bytes, "ATZ\r\r\n"});
    line.schedule({400ms, Action::Kind::Bytes, "OK\r\n"});
    link->OpenPort("M", 9600, 1);
    EXPECT_EQ(line.sentBytes(), "ATZ\rAT s0=1\r");
    EXPECT_EQ(sentAt("AT s0=1\r").front(), 400ms);
    EXPECT_EQ(line.InBufferCount(), 0);
}

TEST_F(PortTest, ASilentModemFailsAfterFiveSecondsNamingThePort) {
    link->ClosePort();
    line.schedule({300ms, Action::Kind::Bytes, "OK"});
    try {
        link->OpenPort("M", 9600, 4);
        FAIL() << "expected a failure";
    } catch (const LineError& e) {
        EXPECT_TRUE(e.description().contains("COM4")) << e.description().toStdString();
    }
    EXPECT_EQ(line.now(), 5000ms);
    EXPECT_EQ(observer.titles.back(), "9600,n,8,1 COM4") << "the title was set before the failure";
}

TEST_F(PortTest, ANetworkLineHasNoModemToSetUp) {
    link->ClosePort();
    line.setHasModem(false);
    link->OpenPort("M", 9600, 2);
    EXPECT_TRUE(line.sentBytes().isEmpty());
}

TEST_F(PortTest, ClosingTwiceIsQuiet) {
    link->ClosePort();
    link->ClosePort();
    EXPECT_EQ(observer.titles.back(), "FERME/CLOSED");
    EXPECT_EQ(observer.unloads, 2);
    EXPECT_FALSE(line.isOpen());
}

TEST_F(PortTest, OnlyACarrierChangeDoesAnything) {
    for (CommEvent e : {CommEvent::Send, CommEvent::Receive, CommEvent::Ring, CommEvent::Frame,
                        CommEvent::RxOver, CommEvent::Break})
        link->OnCommHandler(e);
    EXPECT_EQ(observer.shows + observer.hides, 0);
    EXPECT_TRUE(line.sentBytes().isEmpty());

    // A drop while no call runs blanks the fields and hides the window.
    link->OnCommHandler(CommEvent::CD);
    EXPECT_EQ(observer.hides, 1);
    EXPECT_EQ(link->state().RestoNum, "      ");
}

TEST_F(PortTest, BytesBetweenCallsAreDroppedAndTheNextCallStartsClean) {
    line.schedule({100ms, Action::Kind::Bytes, "RING\r\n"});
    line.schedule({200ms, Action::Kind::Bytes, "CONNECT 9600\r\n"});
    SiteScript script;
    script.callAt = 300ms;
    script.records = {"x"};
    EXPECT_TRUE(call(script).completed());
    EXPECT_EQ(line.sentBytes(), QByteArray(3, ACK));
}

TEST_F(PortTest, ACarrierEventInsideARunningCallIsIgnored) {
    struct Reentering : RecordingObserver {
        TransferLink* link = nullptr;
        void showStatus() override {
            RecordingObserver::showStatus();
            link->OnCommHandler(CommEvent::CD); // the carrier is up: a call within the call
        }
    } reentering;
    TransferLink station(line, reentering, config());
    reentering.link = &station;
    station.OpenPort("D", 9600, 1);
    SiteScript script;
    script.records = {"x"};
    Site site(script);
    site.start();
    line.attach(site);
    station.Serve(1h);
    EXPECT_TRUE(site.completed());
    EXPECT_EQ(reentering.shows, 1);
    EXPECT_EQ(line.sentBytes(), QByteArray(3, ACK));
}

TEST_F(PortTest, DelayRoundsHalfToEvenAndIgnoresLessThanOneMillisecond) {
    line.schedule({0ms, Action::Kind::CarrierUp, {}});
    line.waitUntil(0ms);
    link->Delay(0.4);
    EXPECT_EQ(line.now(), 0ms);
    link->Delay(2.5);
    EXPECT_EQ(line.now(), 2ms);
    link->Delay(1000);
    EXPECT_EQ(line.now(), 1002ms);
}

TEST_F(PortTest, AStopEndsACallLikeACarrierDrop) {
    writeFile(resto("itrfinv1"), "old");
    SiteScript script;
    script.records = {"a", "b"};
    Site site(script);
    site.start();
    line.attach(site);
    // Header at 100 ms, first block after its ACK at 300 ms: stop in between the blocks.
    line.requestStopAt(350ms);
    link->Serve(10000ms);
    EXPECT_EQ(line.now(), 350ms);
    EXPECT_EQ(sentAt(ack()).size(), 1u);
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    EXPECT_EQ(link->state().RestoNum, "      ");
    EXPECT_EQ(readAll(resto("itrfinv1")), "old");
}

} // namespace
} // namespace dialvane::test
