// What a call amounted to feeds the journal, the service log and the window: each outcome
// must count what crossed the line, name the files and say which way the data went.
#include "LinkFixture.h"

#include "link/WireTrace.h"

#include <QRegularExpression>

namespace dialvane::test {
namespace {

class CallSummaryTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        for (const char* name : {"trfloc", "trfbru1", "trfinv1"})
            writeFile(resto(name), "one\r\ntwo\r\n");
    }
};

TEST_F(CallSummaryTest, EachOutcomeCountsWhatCrossedTheLine) {
    // A sending site with three records, or a fetching one, changed by `change`.
    auto sends = [](auto change) {
        SiteScript s;
        s.records = {"a", "b", "c"};
        change(s);
        return s;
    };
    auto fetches = [](auto change) {
        SiteScript s;
        s.transaction = 'X';
        change(s);
        return s;
    };
    const QStringList three = {"trfloc", "trfbru1", "trfinv1"};
    const struct {
        const char* what;
        SiteScript script;
        CallOutcome outcome;
        CallDirection direction;
        QStringList files;
        int records, naks, resent;
        qint64 bytes;
        const char* reason; // how it starts
    } cases[] = {
        {"send",
         sends([](SiteScript&) {}),
         CallOutcome::Completed,
         CallDirection::Receive,
         {"itrfinv1"},
         3,
         0,
         0,
         3 * 129,
         ""},
        {"send, block 2 broken once",
         sends([](SiteScript& s) { s.nakBlock = 2; }),
         CallOutcome::Completed,
         CallDirection::Receive,
         {"itrfinv1"},
         3,
         1,
         0,
         3 * 129,
         ""},
        {"fetch", fetches([](SiteScript&) {}), CallOutcome::Completed, CallDirection::Send, three,
         6, 0, 0, 6 * 126, ""},
        {"fetch, block 2 unanswered once", fetches([](SiteScript& s) { s.silentBlock = 2; }),
         CallOutcome::Completed, CallDirection::Send, three, 6, 0, 1, 6 * 126, ""},
        {"fetch of a restaurant without files",
         fetches([](SiteScript& s) { s.restoNum = "000456"; }),
         CallOutcome::Failed,
         CallDirection::Send,
         {"trfloc"},
         0,
         0,
         0,
         0,
         "no folder for restaurant 000456 ("},
        {"zero restaurant",
         sends([](SiteScript& s) { s.restoNum = "000000"; }),
         CallOutcome::Refused,
         CallDirection::None,
         {},
         0,
         0,
         0,
         0,
         "restaurant number 000000 reads as zero"},
        {"unsafe header",
         sends([](SiteScript& s) { s.restoNum = "00:123"; }),
         CallOutcome::Refused,
         CallDirection::None,
         {},
         0,
         0,
         0,
         0,
         "unsafe header"},
        {"carrier lost in the second block",
         sends([](SiteScript& s) { s.dropAfterBytes = 129 + 1 + 60; }),
         CallOutcome::Dropped,
         CallDirection::Receive,
         {"itrfinv1"},
         0,
         0,
         0,
         0,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        events.summaries.clear();
        const QDateTime began = clock.localTime();
        call(c.script);
        ASSERT_EQ(events.summaries.size(), 1u);
        const CallSummary& s = events.summaries[0];
        EXPECT_EQ(s.outcome, c.outcome);
        EXPECT_EQ(s.direction(), c.direction);
        EXPECT_EQ(s.files, c.files);
        EXPECT_EQ(s.records, c.records);
        EXPECT_EQ(s.naksSent, c.naks);
        EXPECT_EQ(s.blocksResent, c.resent);
        EXPECT_EQ(s.bytes, c.bytes);
        EXPECT_EQ(s.reason.left(qstrlen(c.reason)), c.reason);
        EXPECT_EQ(s.start, began);
        EXPECT_EQ(s.peer, ""); // a serial line cannot tell who called
    }
}

TEST_F(CallSummaryTest, ATraceHoldsEveryByteOfTheCallAndCostsNothingWhenOff) {
    SiteScript one;
    one.records = {"a"};
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
    // Another call in the same second (calls at once on a network line) has a file of its own.
    call(one);
    EXPECT_EQ(logFiles().size(), 2);
    EXPECT_EQ(readAll(logs + name).split('\n'), lines);

    // A trace stops at its limit, with a line saying so, and the call goes on.
    traced.traceMaxBytes = 400;
    link->setConfig(traced);
    one.records = {"a", "b", "c", "d"};
    EXPECT_TRUE(call(one).completed());
    const QString cut = logs + logFiles().back();
    const QByteArray kept = readAll(cut);
    EXPECT_LE(kept.size(), 400 + 80);
    EXPECT_TRUE(kept.endsWith("--- the trace stops here: it reached its limit of 0 MB\r\n"))
        << kept.toStdString();

    EXPECT_EQ(traceText(QByteArray("\x02<A\x03\x06\x15\r\n\x7f\x85\xe9", 11)),
              "<STX><3C>A<ETX><ACK><NAK><CR><LF><7F><85><E9>");
}

} // namespace
} // namespace dialvane::test

namespace dialvane::test {
namespace {

// When the station lowered DTR (hung up) after `after`; zero when it did not.
Millis hungUpAt(const SimLine& line, Millis after) {
    for (const auto& e : line.transcript())
        if (e.kind == SimLine::Event::Kind::Dtr && !e.level && e.at > after)
            return e.at;
    return Millis(0);
}

TEST_F(CallSummaryTest, NobodyHoldsTheLine) {
    const struct {
        const char* what;
        bool network;
        const char* resto;
        int records;
        Millis answerDelay;
        CallOutcome outcome;
        Millis hangUpAfterLastAnswer; // zero: the call was cut by the limit instead
    } cases[] = {
        {"a site that stays after its file", false, "000123", 2, 0ms, CallOutcome::Completed, 10s},
        {"a network caller slower than the call limit", true, "000123", 100, 1900ms,
         CallOutcome::Dropped, 0ms},
        {"the same caller on a serial line: no limit", false, "000123", 100, 1900ms,
         CallOutcome::Completed, 10s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        line.setHasModem(!c.network);
        LinkConfig limited = config();
        limited.maxCall = 1min;
        link->setConfig(limited);
        SiteScript script;
        script.restoNum = c.resto;
        for (int i = 0; i < c.records; ++i)
            script.records.push_back(QByteArray::number(i));
        script.answerDelay = c.answerDelay;
        script.hangUpAfter = 30s; // lingers well past the station's wait
        events.summaries.clear();
        const Millis began = line.now();
        call(script);
        ASSERT_EQ(events.summaries.size(), 1u);
        EXPECT_EQ(events.summaries[0].outcome, c.outcome);
        const std::vector<Millis> acks = sentAt(ack());
        ASSERT_FALSE(acks.empty());
        if (c.hangUpAfterLastAnswer > 0ms) {
            EXPECT_EQ(hungUpAt(line, acks.back()), acks.back() + c.hangUpAfterLastAnswer);
        } else {
            EXPECT_EQ(hungUpAt(line, began), began + 1min);
            EXPECT_EQ(events.summaries[0].reason, "call limit of 1 minutes reached");
        }
    }
}

} // namespace
} // namespace dialvane::test
