#include "station/Service.h"

#include "link/LinkThread.h"
#include "station/Readiness.h"
#include "station/Signals.h"

#include <QCoreApplication>

namespace dialvane {

Service::Service(StationContext context, ServiceLog& log, QObject* parent)
    : QObject(parent), station_(std::move(context)), log_(log) {
    LinkThread& link = station_.link();
    connect(&station_, &Station::problem, this, [this](const QString& text) { log_.error(text); });
    connect(&station_, &Station::notice, this, [this](const QString& text) { log_.info(text); });
    connect(&station_, &Station::journalFailed, this,
            [this](const QString& text) { log_.error(text); });
    connect(&link, &LinkThread::event, this, &Service::heard);
    connect(&station_.hooks(), &HookQueue::finished, this, [this](const HookRun& run) {
        run.ok() ? log_.info(run.describe()) : log_.error(run.describe());
    });
    if (const auto interval = readiness::watchdogInterval())
        link.setHeartbeat(&readiness::watchdog, *interval);
}

void Service::start() {
    log_.info(QStringLiteral("starting with %1").arg(station_.iniFile()));
    station_.start();
}

void Service::heard(const LinkEvent& event) {
    using Kind = LinkEvent::Kind;
    switch (event.kind) {
    case Kind::PortOpened:
        portOpened(event);
        break;
    case Kind::PortClosed:
        portClosed(event);
        break;
    case Kind::LineNotice:
        if (event.level == LinkEvent::Level::Warning)
            log_.warning(event.text);
        else
            log_.info(event.text);
        break;
    case Kind::CallStarted:
        calls_.started(event.call);
        doing_[event.call] =
            QStringLiteral("call on %1: waiting for a header").arg(station_.portName());
        if (!stopping_)
            showCalls();
        break;
    case Kind::HeaderReceived:
        if (!doing_.count(event.call) || event.transaction.trimmed().isEmpty() ||
            event.transaction == "N" || event.restoNum.trimmed().isEmpty())
            break;
        doing_[event.call] = QStringLiteral("call from %1: %2")
                                 .arg(printable(event.restoNum), event.transaction == "S"
                                                                     ? QStringLiteral("receiving")
                                                                     : QStringLiteral("sending"));
        if (!stopping_ && calls_.follows(event.call))
            showCalls();
        break;
    case Kind::CallEnded:
        callFinished(event.summary);
        calls_.ended(event.call);
        doing_.erase(event.call);
        if (!stopping_)
            showCalls();
        break;
    default:
        break;
    }
}

void Service::portOpened(const LinkEvent& event) {
    if (event.restored) {
        log_.info(event.text);
        waiting();
        return;
    }
    log_.info(QStringLiteral("port %1 opened, %2; waiting for calls")
                  .arg(station_.portName(), station_.configuration().lineSettings().text()));
    waiting();
    tellReady();
}

void Service::portClosed(const LinkEvent& event) {
    switch (event.failure) {
    case LinkEvent::PortFailure::None:
        return;
    case LinkEvent::PortFailure::CannotOpen:
        log_.error(QStringLiteral("port %1: %2; trying again every %3 s")
                       .arg(station_.portName(), event.text)
                       .arg(station_.configuration().ReopenSeconds));
        readiness::status(
            QStringLiteral("port %1 failed: %2").arg(station_.portName(), event.text));
        tellReady();
        return;
    case LinkEvent::PortFailure::FailedWhileOpen:
        log_.error(QStringLiteral("port %1 failed: %2; trying again every %3 s")
                       .arg(station_.portName(), event.text)
                       .arg(station_.configuration().ReopenSeconds));
        readiness::status(
            QStringLiteral("port %1 failed: %2").arg(station_.portName(), event.text));
        return;
    }
}

void Service::tellReady() {
    if (readySent_)
        return;
    readySent_ = true;
    readiness::ready();
}

void Service::waiting() {
    readiness::status(QStringLiteral("waiting for calls on %1").arg(station_.portName()));
}

// STATUS= says what the most recent call is doing, and how many run when there are several.
void Service::showCalls() {
    const auto latest = calls_.followed();
    if (!latest)
        waiting();
    else if (calls_.running() == 1)
        readiness::status(doing_[*latest]);
    else
        readiness::status(QStringLiteral("%1 calls in progress on %2; latest: %3")
                              .arg(calls_.running())
                              .arg(station_.portName(), doing_[*latest]));
}

void Service::callFinished(const CallSummary& call) {
    const QString text = describeCall(call);
    if (call.outcome == CallOutcome::Completed)
        log_.info(text);
    else if (call.outcome == CallOutcome::Failed)
        log_.error(text);
    else
        log_.warning(text);
}

// A network line may never be without a call for long: the new configuration applies at once.
void Service::reload() {
    log_.info(QStringLiteral("reloading %1").arg(station_.iniFile()));
    station_.reload();
}

void Service::stop(const QString& why) {
    if (stopping_)
        return;
    stopping_ = true;
    readiness::stopping();
    log_.info(QStringLiteral("stopping on %1").arg(why));
    // The link ends a call in progress as a carrier drop would (the partial file goes), lowers
    // DTR and closes the port before the program ends.
    station_.link().close();
    station_.link().waitIdle();
    log_.info(QStringLiteral("stopped"));
    emit stopped();
}

int runService(const QString& programFolder, const std::function<void(Station&)>& extend) {
    ServiceLog log;
    LinkThread link;
    StationContext context;
    context.programFolder = programFolder;
    context.link = &link;
    Service service(context, log);
    SignalWatch watch(SignalWatch::Reload::Handled);
    QObject::connect(&watch, &SignalWatch::stopRequested, &service, &Service::stop);
    QObject::connect(&watch, &SignalWatch::reloadRequested, &service, &Service::reload);
    QObject::connect(&service, &Service::stopped, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    if (extend)
        extend(service.station());
    service.start();
    return QCoreApplication::exec();
}

} // namespace dialvane
