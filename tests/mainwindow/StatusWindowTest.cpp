// The status window: the presenter's captions for each event, and the window as the link
// drives it.
#include "common/EightBitText.h"
#include "link/Block.h"
#include "link/LinkThread.h"
#include "site/Site.h"
#include "statuswindow/StatusWindowHost.h"
#include "statuswindow/frmcom.h"

#include <QTest>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

LinkEvent event(LinkEvent::Kind kind, std::uint64_t call = 0) {
    LinkEvent e(kind);
    e.call = call;
    return e;
}
LinkEvent header(std::uint64_t call, const char* resto, const char* transaction) {
    LinkEvent e = event(LinkEvent::Kind::HeaderReceived, call);
    e.restoNum = resto;
    e.transaction = transaction;
    e.type = "1";
    return e;
}
LinkEvent block(std::uint64_t call, CallDirection direction, const QByteArray& bytes, int records) {
    LinkEvent e = event(LinkEvent::Kind::BlockMoved, call);
    e.direction = direction;
    e.bytes = bytes;
    e.summary.records = records;
    e.summary.naksSent = 1;
    e.summary.duration = Millis(14500);
    return e;
}
LinkEvent ended(std::uint64_t call, CallOutcome outcome, const char* reason = "") {
    LinkEvent e = event(LinkEvent::Kind::CallEnded, call);
    e.summary.outcome = outcome;
    e.summary.reason = QString::fromLatin1(reason);
    return e;
}

// What the status window shows, event by event: the captions of the call followed, the data
// field (the direction until a block moved, then the last block, or why the call failed), the
// progress once the file's blocks move, and which call is followed when several run.
TEST(StatusPresenter, EventsBecomeTheCaptionsOfTheCallFollowed) {
    using W = StatusPresenter::Window;
    const QByteArray h1 = site::headerBlock("000123", 'N', '1');
    const QByteArray h2 = site::headerBlock("000123", 'S', '1');
    const QByteArray data = BuildBlock("first record");
    const QString in = "Entree des donnees - Data in";
    const struct {
        LinkEvent event;
        W window;
        const char* resto;
        const char* transaction;
        QString data;
        const char* progress;
    } steps[] = {
        {event(LinkEvent::Kind::CallStarted, 7), W::Show, "      ", " ", in, ""},
        {block(7, CallDirection::Receive, h1, 0), W::Show, "      ", " ", fromEightBit(h1), ""},
        {header(7, "000123", "N"), W::Show, "000123", "N", fromEightBit(h1), ""},
        {block(7, CallDirection::Receive, h2, 0), W::Show, "000123", "N", fromEightBit(h2), ""},
        {header(7, "000123", "S"), W::Show, "000123", "S", fromEightBit(h2), ""},
        {block(7, CallDirection::Receive, data, 1), W::Show, "000123", "S", fromEightBit(data),
         "Data in: 1 blocks, 1 NAKs, 0 re-sent, 14 s"},
        // A second call: followed from its start; the first one's events change nothing shown.
        {event(LinkEvent::Kind::CallStarted, 9), W::Show, "      ", " ", in, ""},
        {block(7, CallDirection::Receive, data, 2), W::Keep, "      ", " ", in, ""},
        {header(9, "000201", "T"), W::Show, "000201", "T", in, ""},
        {block(9, CallDirection::Send, data, 3), W::Show, "000201", "T", fromEightBit(data),
         "Data out: 3 blocks, 1 NAKs, 0 re-sent, 14 s"},
        {ended(9, CallOutcome::Failed, "Cannot open trfloc"), W::Show, "000201", "T",
         "Cannot open trfloc", "Data out: 3 blocks, 1 NAKs, 0 re-sent, 14 s"},
        // Its carrier gone, the window turns to the call still running, as it stands.
        {event(LinkEvent::Kind::CarrierLost, 9), W::Show, "000123", "S", fromEightBit(data),
         "Data in: 2 blocks, 1 NAKs, 0 re-sent, 14 s"},
        {ended(7, CallOutcome::Completed), W::Show, "000123", "S", fromEightBit(data),
         "Data in: 2 blocks, 1 NAKs, 0 re-sent, 14 s"},
        {event(LinkEvent::Kind::CarrierLost, 7), W::Hide, "000123", "S", fromEightBit(data),
         "Data in: 2 blocks, 1 NAKs, 0 re-sent, 14 s"},
        {event(LinkEvent::Kind::PortClosed), W::Unload, "", "", "", ""},
    };
    StatusPresenter presenter;
    int n = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(n++);
        EXPECT_EQ(presenter.apply(step.event), step.window);
        const StatusView& view = presenter.view();
        EXPECT_EQ(view.visible, step.window == W::Show || step.window == W::Keep);
        EXPECT_EQ(view.resto, step.resto);
        EXPECT_EQ(view.transaction, step.transaction);
        EXPECT_EQ(view.data, step.data);
        EXPECT_EQ(view.progress, step.progress);
    }
}

// The window hears the link: loaded on the first call, the header and whatever a site sends
// shown as plain text, never interpreted; hidden when the carrier goes, gone with the port.
TEST(StatusWindow, ShowsTheLinksCallsAsPlainTextAndGoesWithThePort) {
    LinkThread link;
    StatusWindowHost host;
    host.attach(link);
    EXPECT_EQ(host.window(), nullptr);
    const QByteArray bytes =
        "\x02" + QByteArray("<b>12</b> caf\xe9 &co").leftJustified(126) + "\x03";
    for (const LinkEvent& e : {event(LinkEvent::Kind::CallStarted, 1), header(1, "000123", "S"),
                               block(1, CallDirection::Receive, bytes, 1)})
        link.handle(e);
    ASSERT_TRUE(QTest::qWaitFor([&] { return host.window() && host.window()->isVisible(); }));
    const frmcom& w = *host.window();
    EXPECT_EQ(w.LBLResto->text() + w.LBLTransaction->text() + w.LBLMyType->text(), "000123S1");
    EXPECT_EQ(w.LBLData->text(), fromEightBit(bytes));
    EXPECT_EQ(w.LBLData->textFormat(), Qt::PlainText);
    EXPECT_TRUE(w.LBLProgress->text().startsWith("Data in: 1 blocks"));
    link.handle(event(LinkEvent::Kind::CarrierLost, 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.window() && !host.window()->isVisible(); }))
        << "hidden, still loaded";
    link.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !host.window(); }));
}

} // namespace
} // namespace dialvane::test
