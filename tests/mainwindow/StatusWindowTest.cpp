// The status window's presenter: its captions for each event. The window itself is tested with
// the main window, which it follows.
#include "common/EightBitText.h"
#include "link/Block.h"
#include "site/Site.h"
#include "statuswindow/StatusPresenter.h"

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

TEST(StatusPresenter, EventsBecomeTheCaptionsOfTheCallFollowed) {
    using W = StatusPresenter::Window;
    using K = LinkEvent::Kind;
    const QByteArray h2 = site::headerBlock("000123", 'S', '1');
    const QByteArray data = BuildBlock("first record");
    const QString in = "Entree des donnees - Data in", none = "      | |" + in + '|';
    const QString d = escapeControls(fromEightBit(data));
    const QString p2 = "|Data in: 2 blocks, 1 NAKs, 0 re-sent, 14 s";
    const QString p3 = "|Data out: 3 blocks, 1 NAKs, 0 re-sent, 14 s";
    const auto shown = [](const QByteArray& block) { return escapeControls(fromEightBit(block)); };
    const struct {
        LinkEvent event;
        W window;
        QString view; // resto|transaction|data|progress
    } steps[] = {
        {event(K::CallStarted, 7), W::Show, none},
        {header(7, "000123", "N"), W::Show, "000123|N|" + in + '|'},
        {block(7, CallDirection::Receive, h2, 0), W::Show, "000123|N|" + shown(h2) + '|'},
        {header(7, "000123", "S"), W::Show, "000123|S|" + shown(h2) + '|'},
        // A second call: followed from its start; the first one's events change nothing shown.
        {event(K::CallStarted, 9), W::Show, none},
        {block(7, CallDirection::Receive, data, 2), W::Keep, none},
        {header(9, "000201", "T"), W::Show, "000201|T|" + in + '|'},
        {block(9, CallDirection::Send, data, 3), W::Show, "000201|T|" + d + p3},
        {ended(9, CallOutcome::Failed, "Cannot open trfloc"), W::Show,
         "000201|T|Cannot open trfloc" + p3},
        // Its carrier gone, the window turns to the call still running, as it stands.
        {event(K::CarrierLost, 9), W::Show, "000123|S|" + d + p2},
        // A call turned away as busy says why, as a failed one does.
        {event(K::CallStarted, 11), W::Show, none},
        {ended(11, CallOutcome::Busy, "restaurant 000123 is busy on another call"), W::Show,
         "      | |restaurant 000123 is busy on another call|"},
        {event(K::CarrierLost, 11), W::Show, "000123|S|" + d + p2},
        {ended(7, CallOutcome::Completed), W::Show, "000123|S|" + d + p2},
        {event(K::CarrierLost, 7), W::Hide, "000123|S|" + d + p2},
        {event(K::PortClosed), W::Unload, "|||"},
    };
    StatusPresenter presenter;
    int n = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(n++);
        EXPECT_EQ(presenter.apply(step.event), step.window);
        const StatusView& v = presenter.view();
        EXPECT_EQ(v.visible, step.window == W::Show || step.window == W::Keep);
        const QString view = QString::fromLatin1(v.resto + '|' + v.transaction + '|') + v.data;
        EXPECT_EQ(view + '|' + v.progress, step.view);
    }
}

} // namespace
} // namespace dialvane::test
