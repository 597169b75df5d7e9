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
    connect(&link, &LinkThread::portOpened, this, &Service::portOpened);
    connect(&link, &LinkThread::openFailed, this, &Service::openFailed);
    connect(&link, &LinkThread::lineWarning, this,
            [this](const QString& text) { log_.warning(text); });
    connect(&link, &LinkThread::lineNotice, this, [this](const QString& text) { log_.info(text); });
    connect(&link, &LinkThread::lineFailed, this, [this](const QString& reason) {
        log_.error(QStringLiteral("port %1 failed: %2; trying again every %3 s")
                       .arg(station_.portName(), reason)
                       .arg(station_.configuration().ReopenSeconds));
        readiness::status(QStringLiteral("port %1 failed: %2").arg(station_.portName(), reason));
    });
    connect(&link, &LinkThread::lineRestored, this, [this](const QString& text) {
        log_.info(text);
        waiting();
    });
    // A call begins, or the status window turns to another call: what it does is told anew.
    const auto newCall = [this] {
        callResto_.clear();
        latestCall_ = QStringLiteral("call on %1: waiting for a header").arg(station_.portName());
    };
    connect(&link, &LinkThread::callStarted, this, newCall);
    connect(&link, &LinkThread::statusShow, this, newCall);
    connect(&link, &LinkThread::callsInProgress, this, [this](int count) {
        calls_ = count;
        if (!stopping_)
            showCalls();
    });
    connect(&link, &LinkThread::statusCaption, this,
            [this](StatusLabel label, const QByteArray& text) {
                callCaption(static_cast<int>(label), text);
            });
    connect(&link, &LinkThread::callFinished, this, &Service::callFinished);
    if (const auto interval = readiness::watchdogInterval())
        link.setHeartbeat(&readiness::watchdog, *interval);
}

void Service::start() {
    log_.info(QStringLiteral("starting with %1").arg(station_.iniFile()));
    station_.start();
}

void Service::portOpened() {
    log_.info(QStringLiteral("port %1 opened, %2; waiting for calls")
                  .arg(station_.portName(), station_.configuration().lineSettings().text()));
    waiting();
    tellReady();
}

void Service::openFailed(const QString& reason) {
    log_.error(QStringLiteral("port %1: %2; trying again every %3 s")
                   .arg(station_.portName(), reason)
                   .arg(station_.configuration().ReopenSeconds));
    readiness::status(QStringLiteral("port %1 failed: %2").arg(station_.portName(), reason));
    tellReady();
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

void Service::callCaption(int label, const QByteArray& text) {
    if (label == static_cast<int>(StatusLabel::Resto) && !text.trimmed().isEmpty())
        callResto_ = text;
    if (label != static_cast<int>(StatusLabel::Transaction) || text.trimmed().isEmpty() ||
        text == "N" || callResto_.isEmpty())
        return;
    latestCall_ = QStringLiteral("call from %1: %2")
                      .arg(printable(callResto_),
                           text == "S" ? QStringLiteral("receiving") : QStringLiteral("sending"));
    showCalls();
}

// STATUS= says what the most recent call is doing, and how many run when there are several.
void Service::showCalls() {
    if (calls_ == 0)
        waiting();
    else if (calls_ == 1)
        readiness::status(latestCall_);
    else
        readiness::status(QStringLiteral("%1 calls in progress on %2; latest: %3")
                              .arg(calls_)
                              .arg(station_.portName(), latestCall_));
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

int runService(const QString& programFolder) {
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
    service.start();
    return QCoreApplication::exec();
}

} // namespace dialvane
