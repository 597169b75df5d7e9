#pragma once
// The station's configuration as values: where each setting is read from, the companion
// product's fallbacks, the built-in defaults, and what a Save stores. The window and the
// service both start from loadConfiguration and store through saveChanges.
//
// A value that cannot be read never stops the station: it is named in `problems`, its default
// is used, and the port is opened all the same. An unattended station that refuses every call
// because of one typo is worse than one that answers with a default and says so.

#include "link/LineSettings.h"
#include "link/PortRequest.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <vector>

namespace dialvane {

class SettingsManager;

// Where a value came from, for --check.
enum class ValueSource { Ini, Companion, BuiltIn };
QString sourceName(ValueSource source);

struct Configuration {
    QString BackroomFolder; // ends with the path separator
    QString LogFolder;      // ends with the path separator
    QString GeneralFolder;
    Millis sendDelay{200}; // GDelay: 0 to 60000 ms
    std::int16_t KeepDays = 60;
    // The port, speed and connection as stored: a number the lists cannot show is kept, so the
    // window can tell it from what they show, and opened as the lists would show it.
    std::int16_t PortNumber = 1;
    std::int16_t LineSpeed = 9600;
    Connection connection = Connection::Direct; // "Modem" exactly; anything else is Direct
    // The Connection text as read ("modem", say, which opens as Direct): the window compares its
    // list with it, so that Save writes over a value the list cannot show, as it does for the
    // numbers. Changed together with `connection` through setConnection.
    QString connectionRead = QStringLiteral("Direct");
    // Hand-edited only (section Communication): the idle modem check, zero for never, and how
    // often a failed port is tried again.
    std::int16_t ModemCheckMinutes = 10;
    std::int16_t ReopenSeconds = 30;
    // Hand-edited only (section Global): months of call journal kept, and the wire trace.
    std::int16_t JournalMonths = 13;
    bool Trace = false;
    std::int16_t TraceMaxMB = 64; // what one call's trace may hold, 1 to 4096
    // Hand-edited only (section Network): minutes a call on a network line may last, 0 no limit.
    std::int16_t MaxCallMinutes = 60;
    std::int16_t MaxCalls = 32;          // calls a network line answers at once
    std::int16_t MaxCallsPerAddress = 4; // of them from one address, 0 no limit
    QString AllowFrom; // addresses and CIDR ranges that may call a network line; empty: anyone
    // A tls: line's files (PEM): the station's certificate chain and key, and, when restaurants
    // must show a certificate, its authority and revocation list (empty: none).
    QString CertificateFile;
    QString KeyFile;
    QString ClientCAFile;
    QString CRLFile;
    // An address with BlockAfter refused calls within BlockMinutes is turned away for
    // BlockMinutes (link/Defender.h); 0 never.
    std::int16_t BlockAfter = 10;
    std::int16_t BlockMinutes = 15;
    // Hand-edited only (section Hooks): commands run for each delivered file (station/Hooks.h).
    QString OnReceived;
    QString OnFetched;
    std::int16_t HookParallel = 2;  // hooks running at once, of different restaurants
    std::int16_t HookSeconds = 300; // a hook still running after this is killed
    // Hand-edited only (section Http): the read-only HTTP endpoint, off while Listen is empty.
    QString HttpListen;           // "127.0.0.1:8086", "[::1]:8086", "*:8086"
    QString HttpAllowFrom;        // as AllowFrom of section Network
    std::int16_t OverdueDays = 2; // a restaurant without a received file for longer is overdue
    // Hand-edited only (section Security): the panel's password as `dialvane password` prints
    // it (common/PasswordHash.h); empty for the password of the day. Kept as read even when it
    // cannot be used, so that such a value unlocks nothing.
    QString PasswordHash;

    // What the connection lists can show: port 1 to 9, speed 1200, 2400 or 9600. Anything else
    // stored is opened as the lists would show it.
    std::int16_t effectivePort() const;
    std::int16_t effectiveSpeed() const;
    LineSettings lineSettings() const;
    // The Connection text Dialvane.ini holds for this configuration: the one read while it still
    // means `connection`, else the connection's name.
    QString connectionText() const;
    void setConnection(Connection chosen);
};

struct LoadedConfiguration {
    Configuration config;
    bool defaultsUsed = false; // a built-in folder was used: start-up saves once
    QStringList problems;      // values (or the file) that could not be read, for the operator
    std::map<QString, ValueSource> sources; // by key name
};

// "Modem" or "Direct", as the list shows it and Save stores it.
QString connectionName(Connection connection);

// Why a Dialvane.ini that exists cannot be read as one at all ("... cannot be read (Permission
// denied)", not 8-bit text, no [section] line), naming the file; empty when it can, and when it
// is missing or empty (the built-in settings then serve, as they always have). The service
// refuses to start on such a file and a reload keeps the configuration in use; the window and
// loadConfiguration say it and go on with built-in settings.
QString configurationFault(const QString& iniFile);
// The exit status of a command stopped by such a file (EX_CONFIG of sysexits.h).
inline constexpr int kExitConfig = 78;

// The settings manager must have been Init'ed on the folder of `iniFile` (Dialvane.ini).
LoadedConfiguration loadConfiguration(SettingsManager& settings, const QString& iniFile,
                                      const QLocale& locale);

// Stores, key by key, what `wanted` changes from `stored` (folders compared as they stand).
void saveChanges(SettingsManager& settings, const Configuration& stored,
                 const Configuration& wanted);

// Each setting in effect, key by key, as the operator reads it: --check prints them and a
// reload says which changed. `device` is what the port names.
struct SettingText {
    QString key;
    QString value;
};
std::vector<SettingText> describeSettings(const Configuration& config, const QString& device);
// "Speed: 9600,n,8,1 -> 2400,n,8,1", one line per setting that differs.
QStringList settingChanges(const std::vector<SettingText>& before,
                           const std::vector<SettingText>& after);

// The device port `number` names: key "COMn" of section "Ports", else the platform's name.
QString portDevice(SettingsManager& settings, int number);

// The request that opens the port of `config` (port, speed and connection as the lists would
// show them) on `device`, with its folders and timings. The one builder: the start-up, the
// service, a reload and the window's reopen all go through it.
PortRequest portRequestFor(const Configuration& config, const QString& device);

} // namespace dialvane
