#include "station/Service.h"

#include "common/Paths.h"
#include "link/LinkThread.h"
#include "link/PortAddress.h"
#include "station/Readiness.h"
#include "station/Signals.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace dialvane {

Service::Service(StationContext context, ServiceLog& log, QObject* parent)
    : QObject(parent), station_(context), log_(log), status_(station_.iniFile()),
      configFolder_(context.programFolder) {
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

void Service::start(const QString& line) {
    log_.info(QStringLiteral("dialvane %1 starting: line %2, configuration %3")
                  .arg(QCoreApplication::applicationVersion(), line, station_.iniFile()));
    station_.start();
    status_.setPath(StatusFile::pathFor(StatusFile::runtimeFolder(),
                                        station_.configuration().LogFolder, configFolder_));
}

void Service::heard(const LinkEvent& event) {
    using Kind = LinkEvent::Kind;
    status_.heard(event, station_.portName());
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
    // A network line has no line settings: its name already says where it listens.
    if (parsePortValue(event.device).isNetwork())
        log_.info(QStringLiteral("port %1 opened; waiting for calls").arg(station_.portName()));
    else
        log_.info(QStringLiteral("port %1 opened, %2, %3; waiting for calls")
                      .arg(station_.portName(), station_.configuration().lineSettings().text(),
                           connectionName(station_.configuration().connection)));
    waiting();
    tellReady();
}

void Service::portClosed(const LinkEvent& event) {
    switch (event.failure) {
    case LinkEvent::PortFailure::None:
        return;
    case LinkEvent::PortFailure::CannotOpen:
        // The reason names the port already.
        log_.error(QStringLiteral("%1; trying again every %2 s")
                       .arg(event.text)
                       .arg(station_.configuration().ReopenSeconds));
        readiness::status(
            QStringLiteral("port %1 failed: %2").arg(station_.portName(), event.text));
        tellReady();
        return;
    case LinkEvent::PortFailure::FailedWhileOpen:
        log_.error(QStringLiteral("port failed: %1; trying again every %2 s")
                       .arg(event.text)
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
    // A connection that closes before a byte (a health check, a port scan) is no fault.
    if (call.outcome == CallOutcome::Completed || call.silent())
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
    status_.setPath(StatusFile::pathFor(StatusFile::runtimeFolder(),
                                        station_.configuration().LogFolder, configFolder_));
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
    // The ends of the last calls are queued to this thread: logged and journaled first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    log_.info(QStringLiteral("stopped"));
    status_.stopped();
    emit stopped();
}

int runService(const QString& programFolder, const std::function<void(Station&)>& extend) {
    ServiceLog log;
    const QString iniFile = withTrailingSeparator(programFolder) + QStringLiteral("Dialvane.ini");
    if (const QString fault = configurationFault(iniFile); !fault.isEmpty()) {
        log.error(QStringLiteral("%1: the station does not start").arg(fault));
        return kExitConfig;
    }
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
    service.start(QFileInfo(programFolder).fileName());
    return QCoreApplication::exec();
}

} // namespace dialvane
