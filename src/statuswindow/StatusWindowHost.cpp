#include "statuswindow/StatusWindowHost.h"

#include "common/EightBitText.h"
#include "link/LinkThread.h"
#include "statuswindow/frmcom.h"

namespace dialvane {

StatusWindowHost::StatusWindowHost(QObject* parent) : QObject(parent) {}

StatusWindowHost::~StatusWindowHost() = default;

void StatusWindowHost::attach(LinkThread& link) {
    connect(&link, &LinkThread::event, this, &StatusWindowHost::apply);
    connect(&link, &LinkThread::blockMoved, this, &StatusWindowHost::apply);
}

void StatusWindowHost::apply(const LinkEvent& event) {
    switch (presenter_.apply(event)) {
    case StatusPresenter::Window::Keep:
        return;
    case StatusPresenter::Window::Show:
        render();
        load().show();
        return;
    case StatusPresenter::Window::Hide:
        if (window_)
            window_->hide();
        return;
    case StatusPresenter::Window::Unload:
        unload();
        return;
    }
}

void StatusWindowHost::unload() {
    window_.reset();
}

frmcom& StatusWindowHost::load() {
    if (!window_)
        window_ = std::make_unique<frmcom>();
    return *window_;
}

void StatusWindowHost::render() {
    const StatusView& view = presenter_.view();
    frmcom& window = load();
    window.restoValue->setText(escapeControls(fromEightBit(view.resto)));
    window.typeValue->setText(escapeControls(fromEightBit(view.type)));
    window.transactionValue->setText(escapeControls(fromEightBit(view.transaction)));
    window.dataValue->setText(view.data);
    window.progressValue->setText(view.progress);
}

} // namespace dialvane
