#include "link/LinkThread.h"

#include "link/PortSupervisor.h"

#include <QMetaMethod>

namespace dialvane {

LinkThread::LinkThread(LineFactory factory, const Clock& clock, QObject* parent)
    : QObject(parent),
      supervisor_(std::make_unique<PortSupervisor>(std::move(factory), *this, clock)) {
    qRegisterMetaType<LinkEvent>("dialvane::LinkEvent");
    thread_.reset(QThread::create([this] { supervisor_->run(); }));
    thread_->setObjectName(QStringLiteral("link"));
    thread_->start();
}

LinkThread::~LinkThread() {
    supervisor_->post({PortSupervisor::Request::Kind::Quit, {}});
    thread_->wait();
}

void LinkThread::reopen(const PortRequest& request) {
    supervisor_->post({PortSupervisor::Request::Kind::Reopen, request});
}

void LinkThread::swap(const PortRequest& request) {
    supervisor_->post({PortSupervisor::Request::Kind::Swap, request});
}

void LinkThread::retune(const PortRequest& request) {
    supervisor_->post({PortSupervisor::Request::Kind::Retune, request});
}

void LinkThread::close() {
    supervisor_->post({PortSupervisor::Request::Kind::Close, {}});
}

void LinkThread::waitIdle() {
    supervisor_->waitIdle();
}

void LinkThread::handle(const LinkEvent& linkEvent) {
    const bool block = linkEvent.kind == LinkEvent::Kind::BlockMoved;
    if (block && !isSignalConnected(QMetaMethod::fromSignal(&LinkThread::blockMoved)))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, linkEvent, block] {
            if (block)
                emit blockMoved(linkEvent);
            else
                emit event(linkEvent);
        },
        Qt::QueuedConnection);
}

void LinkThread::setHeartbeat(std::function<void()> beat, Millis interval) {
    supervisor_->setHeartbeat(std::move(beat), interval);
}

} // namespace dialvane
