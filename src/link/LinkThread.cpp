#include "link/LinkThread.h"

#include "link/PortSupervisor.h"

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

void LinkThread::setHeartbeat(std::function<void()> beat, Millis interval) {
    supervisor_->setHeartbeat(std::move(beat), interval);
}

} // namespace dialvane
