#include "station/Configuration.h"

#include "common/Numbers.h"
#include "common/PasswordHash.h"
#include "common/Paths.h"
#include "link/AllowList.h"
#include "link/PortAddress.h"
#include "settings/INIFunctions.h"
#include "settings/SettingsManager.h"

#include <QFile>

#include <algorithm>

namespace dialvane {

namespace {

// Our own keys live in Dialvane.ini whatever its "GUseIni" switch says.
constexpr std::int32_t kOwnFile = 4;
// The companion product's keys: its INI file when its own switch is on, else its registry.
constexpr std::int32_t kCompanion = 1;
const QString kCompanionApp = QStringLiteral("Stockwell");

// A file the private-profile reader would read as holding nothing at all: say why.
QString fileProblem(const QString& iniFile) {
    if (const QString fault = configurationFault(iniFile); !fault.isEmpty())
        return fault + QStringLiteral(": the built-in settings are used.");
    QFile file(iniFile);
    if (!file.exists())
        return QStringLiteral("%1 does not exist: the built-in settings are used.").arg(iniFile);
    if (file.open(QIODevice::ReadOnly) && file.read(64 * 1024).trimmed().isEmpty())
        return QStringLiteral("%1 is empty: the built-in settings are used.").arg(iniFile);
    return QString();
}

class Loader {
public:
    Loader(SettingsManager& settings, const QString& iniFile, const QLocale& locale,
           LoadedConfiguration& out)
        : settings_(settings), iniFile_(iniFile), locale_(locale), out_(out) {}

    QString own(const QString& section, const QString& key, const QString& fallback) {
        const QString value = settings_.Load(section, key, fallback, kOwnFile);
        out_.sources[key] = isStored(section, key) ? ValueSource::Ini : ValueSource::BuiltIn;
        return value;
    }

    QString companion(const QString& key) {
        return settings_.Load(QStringLiteral("Global"), key, QString(), kCompanion, kCompanionApp);
    }

    // A whole number of 16 bits, or the default with a word for the operator.
    std::int16_t number(const QString& section, const QString& key, const QString& fallback) {
        const QString text = own(section, key, fallback);
        try {
            return toInt16(text, locale_);
        } catch (const ConversionError& failure) {
            const std::int16_t value = toInt16(fallback, locale_);
            problem(section, key, text, failure.description(), fallback);
            out_.sources[key] = ValueSource::BuiltIn;
            return value;
        }
    }

    // A whole number from `low` to `high`, or the default with a word for the operator.
    std::int16_t ranged(const QString& section, const QString& key, std::int16_t fallback,
                        std::int16_t low, std::int16_t high) {
        const std::int16_t value = number(section, key, QString::number(fallback));
        if (value >= low && value <= high)
            return value;
        problem(section, key, QString::number(value),
                value < low ? QStringLiteral("below %1").arg(low)
                            : QStringLiteral("above %1").arg(high),
                QString::number(fallback));
        out_.sources[key] = ValueSource::BuiltIn;
        return fallback;
    }

    void problem(const QString& section, const QString& key, const QString& text,
                 const QString& why, const QString& fallback) {
        out_.problems << QStringLiteral("Dialvane.ini: [%1] %2=\"%3\" cannot be used (%4); %5 "
                                        "is used instead.")
                             .arg(section, key, text, why, fallback);
    }

    void setSource(const QString& key, ValueSource source) { out_.sources[key] = source; }

private:
    bool isStored(const QString& section, const QString& key) const {
        // A value no file holds tells presence from absence.
        const QString absent = QStringLiteral("\x01");
        return GetPrivateProfileString(section, key, absent, iniFile_) != absent;
    }

    SettingsManager& settings_;
    QString iniFile_;
    const QLocale& locale_;
    LoadedConfiguration& out_;
};

// Only the exact text the list stores means a modem; "modem" has always opened as Direct.
Connection connectionFrom(const QString& text) {
    return text == QStringLiteral("Modem") ? Connection::Modem : Connection::Direct;
}

// GDelay: a whole number of milliseconds from 0 to 60000, blanks around it allowed. Anything
// else is 200, and said, unless it is empty.
Millis readSendDelay(Loader& load) {
    const QString global = QStringLiteral("Global"), key = QStringLiteral("GDelay");
    const QString text = load.own(global, key, QStringLiteral("200"));
    const QString trimmed = text.trimmed();
    // Digits only: toInt would also take a sign.
    bool ok = !trimmed.isEmpty() && std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    const int value = ok ? trimmed.toInt(&ok) : 0;
    if (ok && value <= 60000)
        return Millis(value);
    if (!trimmed.isEmpty())
        load.problem(global, key, text, QStringLiteral("not a whole number from 0 to 60000"),
                     QStringLiteral("200"));
    return Millis(200);
}

void loadFolders(Loader& load, LoadedConfiguration& out) {
    Configuration& c = out.config;
    const QString path = QStringLiteral("Path");
    const QString backroomKey = QStringLiteral("BackroomPath"), logKey = QStringLiteral("LogPath");

    QString backroom = load.own(path, backroomKey, QString());
    if (backroom.isEmpty()) {
        backroom = load.companion(QStringLiteral("GRestoPath"));
        load.setSource(backroomKey, ValueSource::Companion);
    }
    if (backroom.isEmpty()) {
        backroom = fallbackFolder();
        load.setSource(backroomKey, ValueSource::BuiltIn);
        out.defaultsUsed = true;
    }
    c.BackroomFolder = AddBackslash(backroom);

    QString log = load.own(path, logKey, QString());
    if (log.isEmpty()) {
        log = load.companion(logKey);
        load.setSource(logKey, ValueSource::Companion);
    }
    if (log.isEmpty()) {
        c.GeneralFolder = load.companion(QStringLiteral("GGeneralPath"));
        if (c.GeneralFolder.isEmpty()) {
            log = c.BackroomFolder;
            load.setSource(logKey, ValueSource::BuiltIn);
            out.defaultsUsed = true;
        } else {
            // Appended as it stands: a general folder without a final separator runs into it.
            log = c.GeneralFolder + QStringLiteral("Logs") + pathSeparator();
        }
    }
    c.LogFolder = AddBackslash(log);
}

// Sections Hooks and Http: what runs for each delivered file, and the HTTP endpoint.
void loadWatchSettings(Loader& load, Configuration& c) {
    const QString hooks = QStringLiteral("Hooks"), http = QStringLiteral("Http");
    c.OnReceived = load.own(hooks, QStringLiteral("OnReceived"), QString()).trimmed();
    c.OnFetched = load.own(hooks, QStringLiteral("OnFetched"), QString()).trimmed();
    c.HookParallel = load.ranged(hooks, QStringLiteral("HookParallel"), 2, 1, 32767);
    c.HookSeconds = load.ranged(hooks, QStringLiteral("HookSeconds"), 300, 1, 32767);
    c.HttpListen = load.own(http, QStringLiteral("Listen"), QString()).trimmed();
    if (!c.HttpListen.isEmpty()) {
        const PortAddress address = parsePortValue(QStringLiteral("tcp:") + c.HttpListen);
        if (!address.error.isEmpty()) {
            load.problem(http, QStringLiteral("Listen"), c.HttpListen,
                         QStringLiteral("not HOST:PORT"), QStringLiteral("no HTTP endpoint"));
            c.HttpListen.clear();
        }
    }
    c.HttpAllowFrom = load.own(http, QStringLiteral("AllowFrom"), QString());
    QStringList invalid;
    if (!AllowList::parse(c.HttpAllowFrom, &invalid).allowsAnyone() && !invalid.isEmpty())
        load.problem(http, QStringLiteral("AllowFrom"), invalid.join(QStringLiteral(", ")),
                     QStringLiteral("no address or range"),
                     QStringLiteral("the rest of the list (none: no one)"));
    c.OverdueDays = load.ranged(http, QStringLiteral("OverdueDays"), 2, 1, 32767);
}

// A PasswordHash that cannot be used locks the panel for good rather than letting the password
// of the day back in: whoever set it meant the day's number to stop working.
void loadSecurity(Loader& load, LoadedConfiguration& out) {
    const QString security = QStringLiteral("Security"), key = QStringLiteral("PasswordHash");
    out.config.PasswordHash = load.own(security, key, QString()).trimmed();
    QString why;
    if (!out.config.PasswordHash.isEmpty() && !PasswordHash::parse(out.config.PasswordHash, &why))
        out.problems << QStringLiteral("Dialvane.ini: [%1] %2 cannot be used (%3): the "
                                       "configuration panel stays locked; `dialvane password` "
                                       "makes a usable one.")
                            .arg(security, key, why);
}

} // namespace

QString configurationFault(const QString& iniFile) {
    QFile file(iniFile);
    if (!file.exists())
        return QString();
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read (%2)").arg(iniFile, file.errorString());
    const QByteArray head = file.read(64 * 1024);
    if (head.isEmpty() && file.error() != QFileDevice::NoError)
        return QStringLiteral("%1 cannot be read (%2)").arg(iniFile, file.errorString());
    if (head.trimmed().isEmpty())
        return QString();
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") || head.contains('\0'))
        return QStringLiteral("%1 is not 8-bit text (UTF-16?) and cannot be read: save it as "
                              "plain text")
            .arg(iniFile);
    for (const QByteArray& line : head.split('\n'))
        if (line.trimmed().startsWith('['))
            return QString();
    return QStringLiteral("%1 holds no [section] line and cannot be read").arg(iniFile);
}

QString sourceName(ValueSource source) {
    switch (source) {
    case ValueSource::Ini:
        return QStringLiteral("Dialvane.ini");
    case ValueSource::Companion:
        return QStringLiteral("Stockwell settings");
    case ValueSource::BuiltIn:
        break;
    }
    return QStringLiteral("built-in");
}

std::int16_t Configuration::effectivePort() const {
    return PortNumber >= 1 && PortNumber <= 9 ? PortNumber : std::int16_t{1};
}

std::int16_t Configuration::effectiveSpeed() const {
    return LineSpeed == 1200 || LineSpeed == 2400 ? LineSpeed : std::int16_t{9600};
}

QString connectionName(Connection connection) {
    return connection == Connection::Modem ? QStringLiteral("Modem") : QStringLiteral("Direct");
}

QString Configuration::connectionText() const {
    return connectionFrom(connectionRead) == connection ? connectionRead
                                                        : connectionName(connection);
}

void Configuration::setConnection(Connection chosen) {
    connection = chosen;
    connectionRead = connectionName(chosen);
}

LineSettings Configuration::lineSettings() const {
    LineSettings line;
    line.speed = effectiveSpeed();
    return line;
}

LoadedConfiguration loadConfiguration(SettingsManager& settings, const QString& iniFile,
                                      const QLocale& locale) {
    LoadedConfiguration out;
    Configuration& c = out.config;
    if (const QString problem = fileProblem(iniFile); !problem.isEmpty())
        out.problems << problem;
    Loader load(settings, iniFile, locale, out);
    const QString global = QStringLiteral("Global"),
                  communication = QStringLiteral("Communication");

    loadFolders(load, out);

    c.sendDelay = readSendDelay(load);

    // An empty days value, or one that is no number, means the default.
    QString days = load.own(global, QStringLiteral("DaysToKeep"), QStringLiteral("60"));
    if (days.isEmpty())
        days = QStringLiteral("60");
    if (!isRegionalNumber(days, locale)) {
        load.problem(global, QStringLiteral("DaysToKeep"), days, QStringLiteral("not a number"),
                     QStringLiteral("60"));
        load.setSource(QStringLiteral("DaysToKeep"), ValueSource::BuiltIn);
        days = QStringLiteral("60");
    }
    try {
        c.KeepDays = toInt16(days, locale);
    } catch (const ConversionError& failure) {
        load.problem(global, QStringLiteral("DaysToKeep"), days, failure.description(),
                     QStringLiteral("60"));
        load.setSource(QStringLiteral("DaysToKeep"), ValueSource::BuiltIn);
        c.KeepDays = 60;
    }

    c.PortNumber = load.number(communication, QStringLiteral("ComPort"), QStringLiteral("1"));
    c.connectionRead =
        load.own(communication, QStringLiteral("Connection"), QStringLiteral("Direct"));
    c.connection = connectionFrom(c.connectionRead);
    c.LineSpeed = load.number(communication, QStringLiteral("Speed"), QStringLiteral("9600"));
    c.ModemCheckMinutes =
        load.ranged(communication, QStringLiteral("ModemCheckMinutes"), 10, 0, 32767);
    c.ReopenSeconds = load.ranged(communication, QStringLiteral("ReopenSeconds"), 30, 1, 32767);
    // Hand-edited only (section Global): months of call journal kept (zero or less keeps
    // every month), and the wire trace.
    c.JournalMonths = load.number(global, QStringLiteral("JournalMonths"), QStringLiteral("13"));
    c.Trace = load.number(global, QStringLiteral("Trace"), QStringLiteral("0")) != 0;
    c.TraceMaxMB = load.ranged(global, QStringLiteral("TraceMaxMB"), 64, 1, 4096);
    // Hand-edited only (section Network): how long a call on a network line may last, and how
    // many it answers at once.
    const QString network = QStringLiteral("Network");
    c.MaxCallMinutes = load.ranged(network, QStringLiteral("MaxCallMinutes"), 60, 0, 32767);
    c.MaxCalls = load.ranged(network, QStringLiteral("MaxCalls"), 32, 1, 32767);
    c.MaxCallsPerAddress = load.ranged(network, QStringLiteral("MaxCallsPerAddress"), 4, 0, 32767);
    c.BlockAfter = load.ranged(network, QStringLiteral("BlockAfter"), 10, 0, 32767);
    c.BlockMinutes = load.ranged(network, QStringLiteral("BlockMinutes"), 15, 1, 32767);
    c.AllowFrom = load.own(network, QStringLiteral("AllowFrom"), QString());
    QStringList invalid;
    if (!AllowList::parse(c.AllowFrom, &invalid).allowsAnyone() && !invalid.isEmpty())
        out.problems << QStringLiteral("Dialvane.ini: [Network] AllowFrom: %1 is no address or "
                                       "range and is left out; a list without a valid entry "
                                       "lets no one call.")
                            .arg(invalid.join(QStringLiteral(", ")));
    c.CertificateFile = load.own(network, QStringLiteral("CertificateFile"), QString());
    c.KeyFile = load.own(network, QStringLiteral("KeyFile"), QString());
    c.ClientCAFile = load.own(network, QStringLiteral("ClientCAFile"), QString());
    c.CRLFile = load.own(network, QStringLiteral("CRLFile"), QString());
    loadWatchSettings(load, c);
    loadSecurity(load, out);
    return out;
}

void saveChanges(SettingsManager& settings, const Configuration& stored,
                 const Configuration& wanted) {
    const QString path = QStringLiteral("Path"), communication = QStringLiteral("Communication");
    if (wanted.BackroomFolder != stored.BackroomFolder)
        settings.Save(path, QStringLiteral("BackroomPath"), wanted.BackroomFolder, kOwnFile);
    if (wanted.LogFolder != stored.LogFolder)
        settings.Save(path, QStringLiteral("LogPath"), wanted.LogFolder, kOwnFile);
    if (wanted.KeepDays != stored.KeepDays)
        settings.Save(QStringLiteral("Global"), QStringLiteral("DaysToKeep"),
                      QString::number(wanted.KeepDays), kOwnFile);
    if (wanted.PortNumber != stored.PortNumber)
        settings.Save(communication, QStringLiteral("ComPort"), QString::number(wanted.PortNumber),
                      kOwnFile);
    if (wanted.connectionText() != stored.connectionText())
        settings.Save(communication, QStringLiteral("Connection"), wanted.connectionText(),
                      kOwnFile);
    if (wanted.LineSpeed != stored.LineSpeed)
        settings.Save(communication, QStringLiteral("Speed"), QString::number(wanted.LineSpeed),
                      kOwnFile);
}

std::vector<SettingText> describeSettings(const Configuration& c, const QString& device) {
    const auto number = [](int value) { return QString::number(value); };
    return {
        {QStringLiteral("BackroomPath"), c.BackroomFolder},
        {QStringLiteral("LogPath"), c.LogFolder},
        {QStringLiteral("DaysToKeep"), number(c.KeepDays)},
        {QStringLiteral("GDelay"), QStringLiteral("%1 ms").arg(c.sendDelay.count())},
        {QStringLiteral("ComPort"),
         QStringLiteral("COM%1 = %2").arg(c.effectivePort()).arg(device)},
        {QStringLiteral("Connection"), connectionName(c.connection)},
        {QStringLiteral("Speed"), c.lineSettings().text()},
        {QStringLiteral("ModemCheckMinutes"), number(c.ModemCheckMinutes)},
        {QStringLiteral("ReopenSeconds"), number(c.ReopenSeconds)},
        {QStringLiteral("JournalMonths"), number(c.JournalMonths)},
        {QStringLiteral("Trace"), c.Trace ? QStringLiteral("on") : QStringLiteral("off")},
        {QStringLiteral("MaxCallMinutes"), number(c.MaxCallMinutes)},
        {QStringLiteral("MaxCalls"), number(c.MaxCalls)},
        {QStringLiteral("AllowFrom"),
         c.AllowFrom.isEmpty() ? QStringLiteral("anyone") : c.AllowFrom},
        {QStringLiteral("CertificateFile"), c.CertificateFile},
        {QStringLiteral("KeyFile"), c.KeyFile},
        {QStringLiteral("ClientCAFile"),
         c.ClientCAFile.isEmpty() ? QStringLiteral("none: any caller") : c.ClientCAFile},
        {QStringLiteral("CRLFile"), c.CRLFile.isEmpty() ? QStringLiteral("none") : c.CRLFile},
        {QStringLiteral("BlockAfter"),
         c.BlockAfter == 0
             ? QStringLiteral("off")
             : QStringLiteral("%1 refused calls in %2 min block an address for %2 min")
                   .arg(c.BlockAfter)
                   .arg(c.BlockMinutes)},
        {QStringLiteral("PasswordHash"), c.PasswordHash.isEmpty()
                                             ? QStringLiteral("not set (password of the day)")
                                         : PasswordHash::parse(c.PasswordHash)
                                             ? QStringLiteral("set")
                                             : QStringLiteral("unusable: the panel stays locked")},
    };
}

QStringList settingChanges(const std::vector<SettingText>& before,
                           const std::vector<SettingText>& after) {
    QStringList changes;
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i)
        if (before[i].value != after[i].value)
            changes << QStringLiteral("%1: %2 -> %3")
                           .arg(before[i].key, before[i].value, after[i].value);
    return changes;
}

QString portDevice(SettingsManager& settings, int number) {
    const QString mapped = settings.Load(QStringLiteral("Ports"),
                                         QStringLiteral("COM%1").arg(number), QString(), kOwnFile);
    return deviceForPort(number, mapped);
}

PortRequest portRequestFor(const Configuration& config, const QString& device) {
    PortRequest request;
    request.connection = config.connection;
    request.speed = config.effectiveSpeed();
    request.portNumber = config.effectivePort();
    request.device = device;
    request.config.BackroomFolder = config.BackroomFolder;
    request.config.LogFolder = config.LogFolder;
    request.config.sendDelay = config.sendDelay;
    request.config.modemCheckInterval = std::chrono::minutes(config.ModemCheckMinutes);
    request.config.trace = config.Trace;
    request.config.traceMaxBytes = qint64(config.TraceMaxMB) * 1024 * 1024;
    request.config.maxCall = std::chrono::minutes(config.MaxCallMinutes);
    request.allowFrom = config.AllowFrom;
    request.maxCalls = config.MaxCalls;
    request.maxCallsPerAddress = config.MaxCallsPerAddress;
    request.tls.certificateFile = config.CertificateFile;
    request.tls.keyFile = config.KeyFile;
    request.tls.clientCAFile = config.ClientCAFile;
    request.tls.crlFile = config.CRLFile;
    request.defence.blockAfter = config.BlockAfter;
    request.defence.window = request.defence.blockFor = std::chrono::minutes(config.BlockMinutes);
    request.reopenInterval = std::chrono::seconds(config.ReopenSeconds);
    return request;
}

} // namespace dialvane
