// A modem line that heals itself: the set-up again after every call, the idle check, the
// reset of a hung modem, and the modem's own texts between calls, in virtual time.
#include "LinkFixture.h"

#include "support/SimModem.h"

namespace dialvane::test {
namespace {

using sim::SimModem;

class ModemTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        link->ClosePort();
        line.attach(modem);
        link->OpenPort(Connection::Modem, 9600, 1);
        ASSERT_TRUE(modem.autoAnswer());
        // Set to answer only once the reset has been answered.
        ASSERT_EQ(sentAt("AT s0=1\r").front(), sentAt("ATZ\r").front() + SimModem::kAnswerDelay);
    }

    void watchEvery(Millis interval) {
        LinkConfig c = config();
        c.modemCheckInterval = interval;
        link->setConfig(c);
    }

    // A site calls through the modem; the station serves for `serving`.
    Site& callIn(const QByteArray& record, Millis serving = 10min) {
        sites.push_back(std::make_unique<Site>(SiteScript{.records = {record}}));
        modem.call(*sites.back(), line.now() + 1s);
        line.attach(modem);
        link->Serve(line.now() + serving);
        return *sites.back();
    }

    qsizetype count(const QByteArray& command) const {
        return std::count(modem.commands().begin(), modem.commands().end(), command);
    }
    qsizetype noticesWith(const QString& text) const {
        return std::count_if(events.notices.begin(), events.notices.end(),
                             [&](const QString& n) { return n.contains(text); });
    }

    SimModem modem;
};

TEST_F(ModemTest, ASilentModemFailsTheOpenAfterFiveSecondsAndANetworkLineHasNone) {
    link->Serve(line.now() + 1s); // the set-up's last answer
    link->ClosePort();
    modem.vanish();
    const Millis start = line.now();
    EXPECT_THAT(failureOf<LineError>([&] { link->OpenPort(Connection::Modem, 9600, 4); }),
                HasSubstr("COM4"));
    EXPECT_EQ(line.now() - start, 5000ms);
    // A network line has no modem: nothing is sent to set one up.
    line.setHasModem(false);
    const QByteArray before = line.sentBytes();
    link->OpenPort(Connection::Modem, 9600, 2);
    EXPECT_EQ(line.sentBytes(), before);
}

TEST_F(ModemTest, AfterEveryCallTheModemIsSetUpAgainSoALostAutoAnswerComesBack) {
    watchEvery(Millis(0));
    modem.resetsOnHangUp = true; // loses auto-answer with every call
    for (const char* record : {"first", "second", "third"}) {
        SCOPED_TRACE(record);
        const Site& site = callIn(record);
        EXPECT_TRUE(site.completed());
        EXPECT_EQ(readAll(resto("itrfinv1")), padded(record) + char(ETX) + "\r\n");
        EXPECT_TRUE(modem.autoAnswer()) << "set up again once the carrier went";
    }
    EXPECT_EQ(count("ATZ"), 4);     // at open and after each call
    EXPECT_EQ(count("AT s0=1"), 4); // each answered OK, so no reset was needed
    EXPECT_EQ(noticesWith("resetting"), 0);
    EXPECT_EQ(noticesWith("COM1 modem: NO CARRIER"), 3);
}

TEST_F(ModemTest, AnIdleModemIsCheckedAndAHungOneResetOrThePortFails) {
    watchEvery(std::chrono::minutes(10));
    link->Serve(line.now() + 25min);
    EXPECT_EQ(count("AT"), 2) << "asked at 10 and 20 minutes";

    // Hung, but a DTR drop clears it: reset, set up again, and the line keeps answering.
    modem.hang(true);
    const Millis hungAt = line.now();
    link->Serve(line.now() + 10min);
    ASSERT_EQ(noticesWith("did not answer AT: resetting"), 1);
    const auto low = std::ranges::find_if(line.transcript(), [&](const SimLine::Event& e) {
        return e.kind == SimLine::Event::Kind::Dtr && !e.level && e.at > hungAt;
    });
    ASSERT_NE(low, line.transcript().end());
    EXPECT_EQ(std::next(low)->at - low->at, 1000ms) << "DTR low for a second";
    EXPECT_TRUE(modem.autoAnswer());
    EXPECT_TRUE(callIn("after the reset").completed());

    // Hung for good: the port fails with a reason, for the link to close and try again.
    modem.hang(false);
    EXPECT_THAT(failureOf<LineError>([&] { link->Serve(line.now() + 20min); }), HasSubstr("COM1"));
}

TEST_F(ModemTest, ResultTextsBetweenCallsAreToldAndNeverTakenForACall) {
    watchEvery(Millis(0));
    modem.powerBlip(); // no auto-answer: the modem rings, nobody answers
    Site site({.records = {"x"}});
    modem.call(site, line.now() + 1s);
    line.attach(modem);
    const qsizetype sentBefore = line.sentBytes().size();
    line.schedule({line.now() + 40s, Action::Kind::Bytes, "\r\nCONNECT 9600\x01\r\nnoise\r\n"});
    link->Serve(line.now() + 1min);
    EXPECT_EQ(noticesWith("COM1 modem: RING"), SimModem::kRingsBeforeTheSiteGivesUp);
    EXPECT_EQ(noticesWith("COM1 modem: CONNECT 9600?"), 1) << "control bytes never shown";
    EXPECT_EQ(noticesWith("noise"), 0);
    EXPECT_EQ(events.shows, 0);
    EXPECT_EQ(line.sentBytes().size(), sentBefore);
}

} // namespace
} // namespace dialvane::test
