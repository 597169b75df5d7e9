// The end of a call: a stop, who hangs up and when, and the wire trace of every byte.
#include "LinkFixture.h"

#include "link/WireTrace.h"

#include <QRegularExpression>

namespace dialvane::test {
namespace {

class CallEndTest : public OnEitherLine {};
INSTANTIATE_TEST_SUITE_P(Lines, CallEndTest, ::testing::Bool(), lineName);

TEST_P(CallEndTest, AStopEndsACallLikeACarrierDrop) {
    writeFile(resto("itrfinv1"), "old");
    // Header at 100 ms, first block after its ACK at 300 ms: stop in between the blocks.
    line.requestStopAt(350ms);
    call({.records = {"a", "b"}});
    EXPECT_EQ(line.now(), 350ms);
    EXPECT_EQ(sentAt(ack()).size(), 1u);
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    EXPECT_EQ(link->state().RestoNum, "      ");
    EXPECT_EQ(readAll(resto("itrfinv1")), "old");
}

// A port that fails in the middle of a call ends the call, which is told (and journaled) as
// failed with the reason, and the failure reaches the owner of the port.
TEST_P(CallEndTest, APortThatFailsInACallEndsItAndReachesTheOwner) {
    writeFile(resto("itrfinv1"), "old");
    line.failOutputFrom(300ms); // the header is answered, the first block is not
    EXPECT_EQ(failureOf<LineError>([&] {
                  call({.records = {"a", "b"}});
              }),
              "COM1: the port failed");
    ASSERT_EQ(events.summaries.size(), 1u);
    EXPECT_EQ(events.summaries[0].outcome, CallOutcome::Failed);
    EXPECT_EQ(events.summaries[0].reason, "COM1: the port failed");
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    EXPECT_EQ(readAll(resto("itrfinv1")), "old");
}

TEST_P(CallEndTest, ATraceHoldsEveryByteOfTheCallAndCostsNothingWhenOff) {
    SiteScript one{.records = {"a"}};
    call(one);
    EXPECT_EQ(logFiles(), QStringList{}); // off: no file at all

    LinkConfig traced = config();
    traced.trace = true;
    link->setConfig(traced);
    const QString name = traceFileName(clock.localTime(), 1);
    one.records = {"a\x1b"};
    call(one);
    ASSERT_EQ(logFiles(), QStringList{name});
    const QList<QByteArray> lines = readAll(logs + name).split('\n');
    // Header, its ACK, one block, its ACK, the end block; the end block's ACK last.
    ASSERT_GE(lines.size(), 6);
    EXPECT_TRUE(QRegularExpression("^ {7}\\d in  <STX>000123S1 {118}<ETX>\r$")
                    .match(QString::fromLatin1(lines[0]))
                    .hasMatch())
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(" out <ACK>\r"));
    EXPECT_TRUE(lines[2].contains(" in  <STX>a<1B> ")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith(" out <ACK>\r")); // also where answers go on their own
    // Another call in the same second (calls at once on a network line) has a file of its own.
    call(one);
    EXPECT_EQ(logFiles().size(), 2);
    EXPECT_EQ(readAll(logs + name).split('\n'), lines);

    // A trace stops at its limit, with a line saying so, and the call goes on.
    traced.traceMaxBytes = 400;
    link->setConfig(traced);
    one.records = {"a", "b", "c", "d"};
    EXPECT_TRUE(call(one).completed());
    const QByteArray kept = readAll(logs + logFiles().back());
    EXPECT_LE(kept.size(), 400 + 80);
    EXPECT_TRUE(kept.endsWith("--- the trace stops here: it reached its limit of 0 MB\r\n"))
        << kept.toStdString();

    EXPECT_EQ(traceText(QByteArray("\x02<A\x03\x06\x15\r\n\x7f\x85\xe9", 11)),
              "<STX><3C>A<ETX><ACK><NAK><CR><LF><7F><85><E9>");
}

// A line whose carrier does not follow the station's hang-up (a modem told to ignore DTR, a
// cable with the carrier strapped on): the site's carrier stays until the site hangs up.
struct DeafToDtr final : site::Peer {
    explicit DeafToDtr(Site& site) : site(site) {}
    void onStationBytes(Millis now, const QByteArray& bytes) override {
        site.onStationBytes(now, bytes);
    }
    void onStationDtr(Millis, bool) override {}
    void onTimer(Millis now) override { site.onTimer(now); }
    std::vector<Action> takeActions() override { return site.takeActions(); }
    Site& site;
};

// Nobody holds the line: the station hangs up 10 s after the exchange, a network call ends at
// the call limit, and whatever the carrier does then, DTR comes back up and the next call is
// answered.
TEST_P(CallEndTest, NobodyHoldsTheLineAndTheNextCallIsAnswered) {
    const struct {
        const char* what;
        bool network, carrierStays;
        int records;
        Millis answerDelay;
        CallOutcome outcome;
        Millis hangUpAfterLastAnswer; // zero: the call was cut by the limit instead
        Millis dtrLow;                // from the hang-up until DTR is up again
    } cases[] = {
        {"a site that stays after its file", false, false, 2, 0ms, CallOutcome::Completed, 10s,
         0ms},
        {"a serial line whose carrier stays up after the hang-up", false, true, 2, 0ms,
         CallOutcome::Completed, 10s, 10s},
        {"a network caller slower than the call limit", true, false, 100, 1900ms,
         CallOutcome::Dropped, 0ms, 0ms},
        {"the same caller on a serial line: no limit", false, false, 100, 1900ms,
         CallOutcome::Completed, 10s, 0ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        line.setHasModem(!c.network);
        LinkConfig limited = config();
        limited.maxCall = 1min;
        link->setConfig(limited);
        SiteScript script;
        for (int i = 0; i < c.records; ++i)
            script.records.push_back(QByteArray::number(i));
        script.answerDelay = c.answerDelay;
        script.hangUpAfter = 30s; // lingers well past the station's wait
        script.callAt = line.now() + 1s;
        events.summaries.clear();
        const Millis began = line.now();
        Site& site = *sites.emplace_back(std::make_unique<Site>(script));
        site.start();
        DeafToDtr deaf(site);
        line.attach(c.carrierStays ? static_cast<site::Peer&>(deaf) : site);
        link->Serve(line.now() + 1h);

        ASSERT_EQ(events.summaries.size(), 1u);
        EXPECT_EQ(events.summaries[0].outcome, c.outcome);
        const std::vector<Millis> acks = sentAt(ack());
        ASSERT_FALSE(acks.empty());
        const Millis hungUp = dtrAt(false, std::max(began, acks.back() - 1ms));
        if (c.hangUpAfterLastAnswer > 0ms) {
            EXPECT_EQ(hungUp, acks.back() + c.hangUpAfterLastAnswer);
        } else {
            EXPECT_EQ(hungUp, began + 1s + 1min);
            EXPECT_EQ(events.summaries[0].reason, "call limit of 1 minutes reached");
        }
        EXPECT_EQ(dtrAt(true, hungUp - 1ms), hungUp + c.dtrLow);
        EXPECT_TRUE(call({.records = {"next"}, .callAt = line.now() + 1min}).completed());
    }
}

} // namespace
} // namespace dialvane::test
