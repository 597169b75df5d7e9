#include "statuswindow/StatusPresenter.h"

#include "common/EightBitText.h"
#include "link/PortAddress.h"

namespace dialvane {

const QByteArray kDataIn = QByteArrayLiteral("Entree des donnees - Data in");

namespace {

QString progressText(CallDirection direction, const CallSummary& sofar) {
    return QStringLiteral("%1: %2 blocks, %3 NAKs, %4 re-sent, %5 s")
        .arg(direction == CallDirection::Send ? QStringLiteral("Data out")
                                              : QStringLiteral("Data in"))
        .arg(sofar.blocks())
        .arg(sofar.naksSent)
        .arg(sofar.blocksResent)
        .arg(sofar.duration.count() / 1000);
}

} // namespace

StatusPresenter::Window StatusPresenter::apply(const LinkEvent& event) {
    using Kind = LinkEvent::Kind;
    if (event.kind == Kind::PortClosed && event.failure == LinkEvent::PortFailure::None) {
        calls_.clear();
        follower_ = CallFollower{};
        view_ = StatusView{};
        return Window::Unload;
    }
    if (event.kind == Kind::CallStarted) {
        Call& call = calls_[event.call];
        call.view.visible = true;
        call.view.resto = QByteArray(6, ' ');
        call.view.type = QByteArray(1, ' ');
        call.view.transaction = QByteArray(1, ' ');
        call.view.data = fromEightBit(kDataIn);
        return follower_.started(event.call) ? showFollowed() : Window::Keep;
    }
    const auto found = calls_.find(event.call);
    if (event.call == 0 || found == calls_.end())
        return Window::Keep;
    Call& call = found->second;
    switch (event.kind) {
    case Kind::HeaderReceived:
        call.view.resto = event.restoNum;
        call.view.type = event.type;
        call.view.transaction = event.transaction;
        call.header = event.transaction != "N";
        break;
    case Kind::BlockMoved:
        // The block as text, its STX and ETX readable as \x02 and \x03 like any control.
        call.view.data = escapeControls(fromEightBit(event.bytes));
        if (call.header)
            call.view.progress = progressText(event.direction, event.summary);
        break;
    case Kind::CallEnded:
        if (event.summary.outcome == CallOutcome::Failed ||
            event.summary.outcome == CallOutcome::Busy)
            call.view.data = escapeControls(event.summary.reason);
        break;
    case Kind::CarrierLost: {
        calls_.erase(found);
        if (!follower_.ended(event.call))
            return Window::Keep;
        if (follower_.followed())
            return showFollowed();
        view_.visible = false;
        return Window::Hide;
    }
    default:
        return Window::Keep;
    }
    if (!follower_.follows(event.call))
        return Window::Keep;
    view_ = call.view;
    return Window::Show;
}

StatusPresenter::Window StatusPresenter::showFollowed() {
    view_ = calls_[*follower_.followed()].view;
    return Window::Show;
}

QString windowTitleFor(const LinkEvent& event) {
    // A network line has no line settings: its address says what it is.
    if (event.kind == LinkEvent::Kind::PortOpening)
        return (parsePortValue(event.device).isNetwork() ? event.device : event.settings.text()) +
               QStringLiteral(" COM") + QString::number(event.portNumber);
    if (event.kind == LinkEvent::Kind::PortClosed && event.failure == LinkEvent::PortFailure::None)
        return QStringLiteral("FERME/CLOSED");
    return QString();
}

} // namespace dialvane
