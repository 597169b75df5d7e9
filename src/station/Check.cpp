#include "station/Check.h"

#include "common/Paths.h"
#include "link/PortAddress.h"
#include "link/TlsContext.h"
#include "settings/RegistryArea.h"
#include "settings/SettingsManager.h"
#include "station/Configuration.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <QTcpServer>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace dialvane {

namespace {

class Checks {
public:
    explicit Checks(QTextStream& out) : out_(out) {}

    void report(bool ok, const QString& what, const QString& detail = QString()) {
        out_ << (ok ? "OK   " : "FAIL ") << what;
        if (!detail.isEmpty())
            out_ << ": " << detail;
        out_ << '\n';
        failed_ = failed_ || !ok;
    }
    bool failed() const { return failed_; }

private:
    QTextStream& out_;
    bool failed_ = false;
};

void checkFolder(Checks& checks, const QString& name, const QString& folder) {
    const QFileInfo info(folder);
    if (!info.exists()) {
        checks.report(false, QStringLiteral("%1 folder %2").arg(name, folder),
                      QStringLiteral("does not exist"));
        return;
    }
    if (!info.isDir()) {
        checks.report(false, QStringLiteral("%1 folder %2").arg(name, folder),
                      QStringLiteral("is not a folder"));
        return;
    }
#ifdef Q_OS_UNIX
    // access() asks about this user with its groups, which is what a write will meet.
    const bool writable = ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
#else
    const bool writable = info.isWritable();
#endif
    checks.report(writable,
                  QStringLiteral("%1 folder %2 is writable by this user").arg(name, folder),
                  writable ? QString() : QStringLiteral("permission denied"));
    const QStorageInfo storage(folder);
    const qint64 free = storage.bytesAvailable();
    checks.report(free >= kMinimumFreeBytes, QStringLiteral("free space in %1 folder").arg(name),
                  QStringLiteral("%1 MB available").arg(free / (1024 * 1024)));
}

#ifdef Q_OS_UNIX
// Serial devices are usually opened through their group (dialout on Debian); a device only its
// owner may open needs another remedy, and saying "join group root" would be wrong.
QString groupHint(const QString& device) {
    struct stat st = {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return QString();
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return QStringLiteral(" (only its owner may open it: give the device to a group such as "
                              "dialout with a udev rule, or run the station as its owner)");
    const struct group* owner = ::getgrgid(st.st_gid);
    const QString group =
        owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(st.st_gid);
    return QStringLiteral(" (the device belongs to group %1: add the station's user to it, for "
                          "instance `sudo adduser $USER %1`, then log in again)")
        .arg(group);
}
#endif

void checkSerialPort(Checks& checks, const QString& what, const QString& device) {
    if (!QFileInfo::exists(device)) {
        checks.report(false, what, QStringLiteral("%1 does not exist").arg(device));
        return;
    }
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        QString reason = QStringLiteral("%1 cannot be opened read-write: %2")
                             .arg(device, QString::fromLocal8Bit(std::strerror(error)));
        if (error == EACCES || error == EPERM)
            reason += groupHint(device);
        checks.report(false, what, reason);
        return;
    }
    // The line sets a speed on it, which only a terminal device takes (not /dev/null, a file).
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    if (!terminal) {
        checks.report(false, what, QStringLiteral("%1 is not a serial device").arg(device));
        return;
    }
#endif
    checks.report(true, what, QStringLiteral("%1 opens read-write").arg(device));
}

// Reads the encryption's files and listens as the line's open does, through the same parser,
// loader and listen, so that the verdict and its words are the ones the station would meet.
void checkNetworkLine(Checks& checks, const QString& what, const PortAddress& address,
                      const TlsSettings& tls) {
    QTcpServer server;
    QString failure = loadTlsFor(address, tls).failure;
    if (failure.isEmpty())
        failure = listenOn(server, address);
    checks.report(failure.isEmpty(), what,
                  failure.isEmpty() ? QStringLiteral("%1 can be listened on").arg(address.value)
                                    : failure);
}

} // namespace

int runCheck(const QString& programFolder, QTextStream& out, RegistryArea* registry) {
    SettingsManager settings = registry ? SettingsManager(*registry) : SettingsManager();
    settings.Init(QStringLiteral("Dialvane"), programFolder);
    const QString iniFile = withTrailingSeparator(programFolder) + QStringLiteral("Dialvane.ini");
    const LoadedConfiguration loaded = loadConfiguration(settings, iniFile, QLocale::system());
    const Configuration& c = loaded.config;
    const QString device = portDevice(settings, c.effectivePort());

    auto source = [&](const QString& key) {
        const auto found = loaded.sources.find(key);
        return sourceName(found == loaded.sources.end() ? ValueSource::BuiltIn : found->second);
    };
    out << "Configuration (" << iniFile << ")\n";
    for (const SettingText& setting : describeSettings(c, device))
        out << "  " << setting.key.leftJustified(19) << setting.value << "  ("
            << source(setting.key) << ")\n";
    out << "Checks\n";

    Checks checks(out);
    checks.report(loaded.problems.isEmpty(), QStringLiteral("Dialvane.ini readable"),
                  loaded.problems.join(QStringLiteral(" ")));
    checkFolder(checks, QStringLiteral("Backroom"), c.BackroomFolder);
    checkFolder(checks, QStringLiteral("log"), c.LogFolder);
    const QString what = QStringLiteral("port COM%1").arg(c.effectivePort());
    if (const PortAddress address = parsePortValue(device); address.isNetwork())
        checkNetworkLine(checks, what, address, portRequestFor(c, device).tls);
    else
        checkSerialPort(checks, what, device);
    out.flush();
    // A file that is there but cannot be read is the configuration's fault, as for the service.
    if (!configurationFault(iniFile).isEmpty())
        return kExitConfig;
    return checks.failed() ? 1 : 0;
}

} // namespace dialvane
