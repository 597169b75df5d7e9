// A modem line that heals itself, in virtual time: its answers read alike at open, after every
// call and on a reset; the idle check; and the modem's own texts between calls.
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
    }

    SimModem modem;
};

// Whatever the station is doing, an answer is read as it comes: the next command follows it
// at once, whether the modem echoes and whether it speaks words or numeric codes. A refusal is
// told and the set-up goes on; only silence for the whole limit counts as no answer, and then
// the open fails, the set-up after a call resets the modem, and a reset gives up.
TEST_F(ModemTest, TheOpenTheSetUpAfterACallAndAResetReadEveryAnswerAlike) {
    enum class Use { Open, AfterACall, Reset };
    const struct Answers {
        const char* name;
        bool numeric, echo, refuses, mute;
    } answers[] = {
        {"OK", false, false, false, false},     {"0", true, false, false, false},
        {"ERROR", false, false, true, false},   {"4 with echo", true, true, true, false},
        {"silence", false, false, false, true}, {"OK with echo", false, true, false, false},
    };
    using Kind = SimLine::Event::Kind;
    for (const Use use : {Use::Open, Use::AfterACall, Use::Reset})
        for (const Answers& a : answers) {
            SCOPED_TRACE(testing::Message() << "use " << int(use) << ", answers " << a.name);
            SimLine line;
            SimModem modem;
            RecordingEvents heard;
            LinkConfig c = config();
            c.modemCheckInterval = use == Use::Reset ? Millis(10min) : Millis(0);
            TransferLink station(line, heard, c);
            line.attach(modem);
            const auto answerSo = [&] {
                std::tie(modem.numeric, modem.echo, modem.refuses, modem.mute) =
                    std::tie(a.numeric, a.echo, a.refuses, a.mute);
            };
            const std::string failure = failureOf<LineError>([&] {
                if (use == Use::Open)
                    answerSo();
                station.OpenPort(Connection::Modem, 9600, 1);
                answerSo();
                if (use == Use::AfterACall) {
                    Site site({.records = {"x"}});
                    modem.call(site, line.now() + 1s);
                    line.attach(modem);
                    station.Serve(line.now() + 10min);
                } else if (use == Use::Reset) {
                    modem.hang(); // the idle check finds it hung, the DTR drop clears it
                    station.Serve(line.now() + 15min);
                }
            });
            EXPECT_EQ(failure != "<no failure>", a.mute) << failure;
            if (use == Use::Open && a.mute) {
                EXPECT_THAT(failure, HasSubstr("COM1 did not answer ATZ within 5 s"));
            }

            // The use's first "ATZ", and what the station did next: the next command, a reset,
            // or giving up (the clock stopped there).
            const auto& events = line.transcript();
            const auto isAtz = [](const SimLine::Event& e) {
                return e.kind == Kind::StationSent && e.bytes == "ATZ\r";
            };
            auto atz = std::ranges::find_if(events, isAtz);
            ASSERT_NE(atz, events.end());
            if (use != Use::Open) // the open's set-up went well: the use's is the next one
                atz = std::find_if(std::next(atz), events.end(), isAtz);
            ASSERT_NE(atz, events.end());
            const auto next =
                std::find_if(std::next(atz), events.end(), [](const SimLine::Event& e) {
                    return e.kind == Kind::StationSent || (e.kind == Kind::Dtr && !e.level);
                });
            const bool gaveUp = next == events.end();
            EXPECT_EQ((gaveUp ? line.now() : next->at) - atz->at,
                      a.mute ? modem::kSetUpAnswerLimit : SimModem::kAnswerDelay);
            EXPECT_EQ(gaveUp ? QByteArray() : next->bytes, a.mute ? "" : "AT s0=1\r");
            EXPECT_EQ(heard.noticesWith("COM1 modem: ERROR"), a.refuses ? 2 : 0);
            EXPECT_EQ(heard.noticesWith("resetting"),
                      int(use == Use::Reset) + int(use == Use::AfterACall && a.mute));
            EXPECT_EQ(heard.noticesWith("COM1 modem: NO CARRIER"), int(use == Use::AfterACall));
        }
}

TEST_F(ModemTest, AnIdleModemIsCheckedAndAHungOneReset) {
    link->Serve(line.now() + 25min);
    EXPECT_EQ(std::ranges::count(modem.commands(), "AT"), 2) << "asked at 10 and 20 minutes";

    // Hung, but a DTR drop clears it: reset and set up again.
    modem.hang();
    const Millis hungAt = line.now();
    link->Serve(line.now() + 10min);
    ASSERT_EQ(events.noticesWith("did not answer AT: resetting"), 1);
    const Millis low = dtrAt(false, hungAt);
    ASSERT_GT(low, hungAt);
    EXPECT_EQ(dtrAt(true, low) - low, 1000ms) << "DTR low for a second";
    EXPECT_TRUE(modem.autoAnswer());
}

TEST_F(ModemTest, ResultTextsBetweenCallsAreToldAndNeverTakenForACall) {
    modem.powerBlip(); // no auto-answer: the modem rings, nobody answers
    Site site({.records = {"x"}});
    modem.call(site, line.now() + 1s);
    line.attach(modem);
    const qsizetype sentBefore = line.sentBytes().size();
    line.schedule({line.now() + 40s, Action::Kind::Bytes, "\r\nCONNECT 9600\x01\r\nnoise\r\n"});
    link->Serve(line.now() + 1min);
    EXPECT_EQ(events.noticesWith("COM1 modem: RING"), SimModem::kRingsBeforeTheSiteGivesUp);
    EXPECT_EQ(events.noticesWith("COM1 modem: CONNECT 9600?"), 1) << "control bytes never shown";
    EXPECT_EQ(events.noticesWith("noise"), 0);
    EXPECT_TRUE(events.summaries.empty());
    EXPECT_EQ(line.sentBytes().size(), sentBefore);
}

} // namespace
} // namespace dialvane::test
