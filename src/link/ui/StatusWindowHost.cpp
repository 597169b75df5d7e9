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
}

frmcom& StatusWindowHost::load() {
    if (!window_)
        window_ = std::make_unique<frmcom>();
    return *window_;
}

void StatusWindowHost::setCaption(StatusLabel label, const QByteArray& text) {
    load().label(label)->setText(fromEightBit(text));
}

void StatusWindowHost::showStatus() {
    load().show();
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
