#include "link/ui/StatusWindowHost.h"

#include "common/EightBitText.h"
#include "link/LinkThread.h"
#include "link/ui/frmcom.h"

namespace dialvane {

StatusWindowHost::StatusWindowHost(QObject* parent) : QObject(parent) {}

StatusWindowHost::~StatusWindowHost() = default;

void StatusWindowHost::attach(LinkThread& link) {
    connect(&link, &LinkThread::statusCaption, this, &StatusWindowHost::setCaption);
    connect(&link, &LinkThread::statusShow, this, &StatusWindowHost::showStatus);
    connect(&link, &LinkThread::statusRepaint, this, &StatusWindowHost::repaintStatus);
    connect(&link, &LinkThread::statusHide, this, &StatusWindowHost::hideStatus);
    connect(&link, &LinkThread::statusUnload, this, &StatusWindowHost::unload);
    connect(&link, &LinkThread::callFailed, this, &StatusWindowHost::showFailure);
    connect(&link, &LinkThread::callProgress, this, &StatusWindowHost::showProgress);
}

frmcom& StatusWindowHost::load() {
    if (!window_)
        window_ = std::make_unique<frmcom>();
    return *window_;
}

void StatusWindowHost::setCaption(StatusLabel label, const QByteArray& text) {
    if (label == StatusLabel::Data) {
        const bool between = text.isEmpty() || text == kDataIn || text == kDataOut;
        if (!text.isEmpty() && between)
            direction_ = text;
        if (between && blockShown_)
            return;
        blockShown_ = !between;
    }
    load().label(label)->setText(fromEightBit(text));
}

void StatusWindowHost::showStatus() {
    blockShown_ = false;
    direction_.clear();
    frmcom& window = load();
    window.LBLProgress->clear();
    window.show();
}

void StatusWindowHost::showProgress(const CallSummary& sofar) {
    QString text = direction_ == kDataOut ? QStringLiteral("Data out") : QStringLiteral("Data in");
    text += QStringLiteral(": %1 blocks, %2 NAKs, %3 re-sent, %4 s")
                .arg(sofar.blocks())
                .arg(sofar.naksSent)
                .arg(sofar.blocksResent)
                .arg(sofar.duration.count() / 1000);
    load().LBLProgress->setText(text);
}

void StatusWindowHost::repaintStatus() {
    load().update();
}

void StatusWindowHost::hideStatus() {
    load().hide();
}

void StatusWindowHost::unload() {
    window_.reset();
}

void StatusWindowHost::showFailure(const QString& reason) {
    load().LBLData->setText(reason);
}

} // namespace dialvane
