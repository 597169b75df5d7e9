#include "station/StatusFile.h"

#include "common/EightBitText.h"
#include "common/Paths.h"
#include "station/ServiceLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <signal.h>

#include <cerrno>
#endif

namespace dialvane {

namespace {

QString isoTime(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

// Whether process `pid` is a station: alive, and on Linux a program named dialvane (a pid is
// reused once its process is gone).
bool stationRuns(qint64 pid) {
#ifdef Q_OS_UNIX
    if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
        return false;
    QFile name(QStringLiteral("/proc/%1/comm").arg(pid));
    return !name.open(QIODevice::ReadOnly) || name.readAll().trimmed() == "dialvane";
#else
    return pid > 0;
#endif
}

} // namespace

StatusFile::StatusFile(QString iniFile, QObject* parent)
    : QObject(parent), iniFile_(std::move(iniFile)), started_(QDateTime::currentDateTime()) {
    writeSoon_.setSingleShot(true);
    writeSoon_.setInterval(kWriteDelayMs);
    connect(&writeSoon_, &QTimer::timeout, this, &StatusFile::write);
}

QString StatusFile::runtimeFolder() {
    return qEnvironmentVariable("RUNTIME_DIRECTORY").section(QLatin1Char(':'), 0, 0);
}

QString StatusFile::pathFor(const QString& runtimeFolder, const QString& logFolder,
                            const QString& configFolder) {
    if (!runtimeFolder.isEmpty())
        return withTrailingSeparator(runtimeFolder) + QStringLiteral("Dialvane.status");
    return withTrailingSeparator(logFolder) +
           QStringLiteral("Dialvane-%1-%2.status")
               .arg(QHostInfo::localHostName(), QFileInfo(configFolder).fileName());
}

void StatusFile::setPath(const QString& path) {
    if (path == path_)
        return;
    if (!path_.isEmpty())
        QFile::remove(path_);
    path_ = path;
    changed();
}

void StatusFile::heard(const LinkEvent& event, const QString& portName) {
    using Kind = LinkEvent::Kind;
    port_ = portName;
    switch (event.kind) {
    case Kind::PortOpening:
        portState_ = QStringLiteral("opening");
        break;
    case Kind::PortOpened:
        portState_ = QStringLiteral("open");
        portProblem_.clear();
        break;
    case Kind::PortClosed:
        portState_ = event.failure == LinkEvent::PortFailure::None ? QStringLiteral("closed")
                                                                   : QStringLiteral("failed");
        portProblem_ = event.text;
        break;
    case Kind::PortKept:
        portState_ = QStringLiteral("open"); // the one in service stays
        break;
    case Kind::CallStarted:
        calls_[event.call] = {event.summary.start, event.summary.peer, {}, {}};
        break;
    case Kind::HeaderReceived: {
        const auto call = calls_.find(event.call);
        if (call == calls_.end() || event.transaction == "N")
            return;
        call->second.restaurant = printable(event.restoNum);
        call->second.direction =
            event.transaction == "S" ? QStringLiteral("receive") : QStringLiteral("send");
        break;
    }
    case Kind::CallEnded:
        calls_.erase(event.call);
        lastCall_ = isoTime(event.summary.start) + QLatin1Char(' ') + describeCall(event.summary);
        break;
    default:
        return;
    }
    changed();
}

void StatusFile::stopped() {
    stopped_ = true;
    calls_.clear();
    write();
}

void StatusFile::changed() {
    if (!writeSoon_.isActive())
        writeSoon_.start();
}

void StatusFile::write() {
    writeSoon_.stop();
    if (path_.isEmpty())
        return;
    QJsonArray calls;
    for (const auto& [number, call] : calls_)
        calls.append(QJsonObject{{QStringLiteral("since"), isoTime(call.since)},
                                 {QStringLiteral("peer"), call.peer},
                                 {QStringLiteral("restaurant"), call.restaurant},
                                 {QStringLiteral("direction"), call.direction}});
    const QJsonObject status{
        {QStringLiteral("pid"), QCoreApplication::applicationPid()},
        {QStringLiteral("state"), stopped_ ? QStringLiteral("stopped") : QStringLiteral("running")},
        {QStringLiteral("version"), QCoreApplication::applicationVersion()},
        {QStringLiteral("configuration"), iniFile_},
        {QStringLiteral("started"), isoTime(started_)},
        {QStringLiteral("port"), port_},
        {QStringLiteral("portState"), stopped_ ? QStringLiteral("closed") : portState_},
        {QStringLiteral("portProblem"), portProblem_},
        {QStringLiteral("calls"), calls},
        {QStringLiteral("lastCall"), lastCall_},
    };
    // Not worth a log line each time: a status that cannot be written shows as "not running".
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(status).toJson());
    file.commit();
}

int printStatus(const QString& configFolder, const QString& logFolder, QTextStream& out) {
    // The service under systemd writes in its runtime folder, by hand in the log folder: the
    // newer file is the station's current one.
    QStringList candidates;
    if (!StatusFile::runtimeFolder().isEmpty())
        candidates << StatusFile::pathFor(StatusFile::runtimeFolder(), logFolder, configFolder);
    candidates << StatusFile::pathFor(QStringLiteral("/run/dialvane/") +
                                          QFileInfo(configFolder).fileName(),
                                      logFolder, configFolder)
               << StatusFile::pathFor(QString(), logFolder, configFolder);
    QString path;
    for (const QString& candidate : candidates)
        if (QFileInfo::exists(candidate) && (path.isEmpty() || QFileInfo(candidate).lastModified() >
                                                                   QFileInfo(path).lastModified()))
            path = candidate;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        out << "not running: "
            << (path.isEmpty() ? QStringLiteral("no status file (%1)").arg(candidates.join(", "))
                               : QStringLiteral("%1 cannot be read").arg(path))
            << '\n';
        return 1;
    }
    const QJsonObject status = QJsonDocument::fromJson(file.readAll()).object();
    const qint64 pid = status.value(QStringLiteral("pid")).toInteger();
    const bool running =
        status.value(QStringLiteral("state")).toString() == QStringLiteral("running") &&
        stationRuns(pid);
    const QString portState = status.value(QStringLiteral("portState")).toString();
    const auto text = [&](const char* key) { return status.value(QLatin1String(key)).toString(); };
    if (running)
        out << "running (pid " << pid << ") since " << text("started") << '\n';
    else
        out << "not running (pid " << pid << " was started " << text("started") << ")\n";
    out << "configuration " << text("configuration") << '\n';
    out << "port " << text("port") << ": " << (running ? portState : QStringLiteral("closed"));
    if (running && !text("portProblem").isEmpty())
        out << " (" << text("portProblem") << ')';
    out << '\n';
    const QJsonArray calls = status.value(QStringLiteral("calls")).toArray();
    if (running) {
        out << calls.size() << (calls.size() == 1 ? " call" : " calls") << " in progress\n";
        const QDateTime now = QDateTime::currentDateTime();
        for (const QJsonValue& value : calls) {
            const QJsonObject call = value.toObject();
            const QString restaurant = call.value(QStringLiteral("restaurant")).toString();
            const QString direction = call.value(QStringLiteral("direction")).toString();
            const QDateTime since =
                QDateTime::fromString(call.value(QStringLiteral("since")).toString(), Qt::ISODate);
            out << "  " << (restaurant.isEmpty() ? QStringLiteral("(no header yet)") : restaurant)
                << "  " << (direction.isEmpty() ? QStringLiteral("-") : direction) << "  "
                << since.secsTo(now) << " s";
            if (const QString peer = call.value(QStringLiteral("peer")).toString(); !peer.isEmpty())
                out << "  from " << peer;
            out << '\n';
        }
    }
    out << "last call: " << (text("lastCall").isEmpty() ? QStringLiteral("none") : text("lastCall"))
        << '\n';
    return running && portState == QStringLiteral("open") ? 0 : 1;
}

} // namespace dialvane
