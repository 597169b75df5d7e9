#include "station/Station.h"

#include "common/Paths.h"
#include "housekeeping/Housekeeping.h"
#include "link/LinkThread.h"
#include "link/RestaurantLock.h"
#include "settings/RegistryArea.h"
#include "station/CallHistory.h"
#include "station/Descriptors.h"

#include <QDir>
#include <QFile>

namespace dialvane {

namespace {

RegistryArea& registryOf(const StationContext& context) {
    return context.registry ? *context.registry : userRegistryArea();
}

constexpr int kMinutesAfterMidnight = 5;

} // namespace

QStringList removeLeftoverReceives(const QString& backroom) {
    QStringList removed;
    const QDir folders(backroom);
    for (const QString& restaurant : folders.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir folder(folders.filePath(restaurant));
        const QStringList leftovers =
            folder.entryList({QStringLiteral("itrfinv?.tmp")}, QDir::Files | QDir::Hidden);
        if (leftovers.isEmpty())
            continue;
        RestaurantLock lock;
        if (lock.tryLock(withTrailingSeparator(folder.path())) == RestaurantLock::Outcome::Busy)
            continue;
        for (const QString& name : leftovers)
            if (QFile::remove(folder.filePath(name)))
                removed << folder.filePath(name);
    }
    return removed;
}

std::chrono::milliseconds untilDailyPurge(const QDateTime& now) {
    const QDateTime next(now.date().addDays(1), QTime(0, kMinutesAfterMidnight));
    // A day without that time (a clock change at midnight) still gets its purge an hour later.
    const qint64 ms = now.msecsTo(next.isValid() ? next : now.addSecs(24 * 3600));
    return std::chrono::milliseconds(std::max<qint64>(ms, 60 * 1000));
}

Station::Station(StationContext context, QObject* parent)
    : QObject(parent), context_(std::move(context)), settings_(registryOf(context_)),
      hooks_(withTrailingSeparator(context_.programFolder) +
             QStringLiteral("Dialvane-hooks.queue")) {
    Q_ASSERT(context_.link);
    connect(&hooks_, &HookQueue::problem, this, &Station::problem);
    dailyPurge_.setSingleShot(true);
    dailyPurge_.setTimerType(Qt::VeryCoarseTimer);
    connect(&dailyPurge_, &QTimer::timeout, this, [this] {
        purgeOldLogs();
        startDailyPurge();
    });
    connect(context_.link, &LinkThread::event, this, [this](const LinkEvent& event) {
        if (event.kind == LinkEvent::Kind::CallEnded)
            recordCall(event.summary);
        else if (event.kind == LinkEvent::Kind::PortKept)
            portKept(event);
        else if ((event.kind == LinkEvent::Kind::PortOpened && !event.restored) ||
                 (event.kind == LinkEvent::Kind::PortClosed &&
                  event.failure != LinkEvent::PortFailure::None))
            beforeReload_.reset(); // the reload's port is in service, or nothing is
    });
}

void Station::recordCall(const CallSummary& call) {
    journal::Entry entry = journalEntry(call);
    try {
        if (const QString said = journal::append(config_.LogFolder, entry); !said.isEmpty())
            emit problem(said);
    } catch (const journal::JournalError& failure) {
        emit journalFailed(failure.description());
    }
    emit callRecorded(entry);
    hooks_.callEnded(call, config_.BackroomFolder);
}

QString Station::iniFile() const {
    return withTrailingSeparator(context_.programFolder) + QStringLiteral("Dialvane.ini");
}

QDateTime Station::now() const {
    return context_.clock->localTime();
}

void Station::start(const StartupView& view) {
    load();
    if (view.loaded)
        view.loaded();
    if (const QStringList removed = removeLeftoverReceives(config_.BackroomFolder);
        !removed.isEmpty())
        emit notice(QStringLiteral("removed %1 partly received file(s) an earlier run left: %2")
                        .arg(removed.size())
                        .arg(removed.join(QStringLiteral(", "))));
    openPort();
    // The window saves built-in folders as its Save would, as it always has. The service writes
    // nothing: its Dialvane.ini is the operator's, and it may sit on a read-only /etc.
    if (defaultsUsed() && view.save)
        view.save();
    if (view.listRestaurants) {
        try {
            view.listRestaurants();
        } catch (const Failure& failure) {
            emit problem(failure.description()); // the purge below runs all the same
        }
    }
    purgeOldLogs();
    startDailyPurge();
}

void Station::load() {
    settings_.Init(QStringLiteral("Dialvane"), context_.programFolder);
    loaded_ = loadConfiguration(settings_, iniFile(), context_.locale);
    static const long descriptors = raiseDescriptorLimit();
    if (const int allowed = callsAllowedBy(descriptors); loaded_.config.MaxCalls > allowed) {
        loaded_.problems << QStringLiteral(
                                "Dialvane.ini: [Network] MaxCalls=%1 is more than the %2 "
                                "descriptors this station may open can serve (%3 a call, %4 "
                                "kept for the station); %5 is used instead.")
                                .arg(loaded_.config.MaxCalls)
                                .arg(descriptors)
                                .arg(kDescriptorsPerCall)
                                .arg(kDescriptorsKept)
                                .arg(allowed);
        loaded_.config.MaxCalls = static_cast<std::int16_t>(allowed);
    }
    config_ = loaded_.config;
    for (const QString& text : loaded_.problems)
        emit problem(text);
    hooks_.configure(hookSettingsOf(config_));
}

PortRequest Station::requestFor(const Configuration& config) {
    PortRequest request = portRequestFor(config, portDevice(settings_, config.effectivePort()));
    request.config.clock = context_.clock;
    return request;
}

void Station::openPort() {
    const PortRequest request = requestFor(config_);
    lastRequest_ = request;
    // The link closes the port, ending any call as a carrier drop would, then opens it; the
    // outcome comes back as its portOpened or openFailed.
    context_.link->reopen(request);
}

void Station::purgeOldLogs() {
    try {
        PurgeOldLogs(config_.LogFolder, config_.KeepDays, now().date());
        emit notice(QStringLiteral("old transfer logs purged from %1 (kept %2 days)")
                        .arg(config_.LogFolder)
                        .arg(config_.KeepDays));
    } catch (const HousekeepingError& failure) {
        emit problem(failure.description());
    }
    for (const QString& text :
         journal::purge(config_.LogFolder, config_.JournalMonths, now().date()))
        emit problem(text);
}

void Station::startDailyPurge() {
    dailyPurge_.start(untilDailyPurge(now()));
}

void Station::store(const Configuration& wanted) {
    try {
        saveChanges(settings_, config_, wanted);
    } catch (const std::exception& failure) {
        emit problem(describeFailure(failure));
    }
    config_ = wanted;
}

void Station::apply(const Configuration& wanted) {
    store(wanted);
    openPort();
}

void Station::reload() {
    if (const QString fault = configurationFault(iniFile()); !fault.isEmpty()) {
        emit problem(QStringLiteral("reload: %1; the configuration in use stays").arg(fault));
        return;
    }
    const InService before{loaded_, lastRequest_};
    const auto settingsBefore = describeSettings(config_, lastRequest_.device);
    load();
    const PortRequest request = requestFor(config_);
    const QStringList changes =
        settingChanges(settingsBefore, describeSettings(config_, request.device));
    for (const QString& change : changes)
        emit notice(QStringLiteral("reload: ") + change);
    if (changes.isEmpty())
        emit notice(QStringLiteral("reload: nothing changed"));
    if (!sameLine(request, lastRequest_)) {
        beforeReload_ = before;
        lastRequest_ = request;
        context_.link->swap(request);
    } else if (!sameCalls(request, lastRequest_)) {
        lastRequest_ = request;
        context_.link->retune(request);
    }
}

// The new port did not open: the link kept the old one, and the station its configuration.
void Station::portKept(const LinkEvent& event) {
    const QString asked = QStringLiteral("COM%1 (%2)").arg(event.portNumber).arg(event.device);
    if (beforeReload_) {
        loaded_ = beforeReload_->loaded;
        config_ = loaded_.config;
        lastRequest_ = beforeReload_->request;
        beforeReload_.reset();
    }
    emit problem(QStringLiteral("reload: %1 cannot be opened (%2); %3 and the configuration "
                                "before the reload stay in service")
                     .arg(asked, event.text, portName()));
}

QString Station::portName() const {
    return QStringLiteral("COM%1 (%2)").arg(lastRequest_.portNumber).arg(lastRequest_.device);
}

} // namespace dialvane
