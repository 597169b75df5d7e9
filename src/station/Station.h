#pragma once
// The station without its windows: it reads the configuration, opens the port through the link
// thread, saves once when built-in folders had to be used, purges old transfer logs and call
// journals at start and once a day after local midnight, writes each call's row to the call
// journal, and stores and applies a changed configuration. The
// window binds widgets to it; the service runs it as it is.
//
// Nothing here stops the station: what cannot be read or done is said through problem() (a
// message box in the window, an error line in the service) and the station goes on.

#include "journal/Journal.h"
#include "link/CallSummary.h"
#include "settings/SettingsManager.h"
#include "station/Configuration.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QTimer>

#include <functional>

namespace dialvane {

class LinkThread;
class RegistryArea;

struct StationContext {
    QString programFolder;              // where Dialvane.ini lives
    LinkThread* link = nullptr;         // must outlive the station
    RegistryArea* registry = nullptr;   // the per-user settings area (empty: the real one)
    QLocale locale = QLocale::system(); // how stored numbers are read
    // The local date and time, for the purge cutoff and the daily purge (empty: the clock).
    std::function<QDateTime()> now;
};

// How long after `now` the next daily purge is due: a few minutes after the next local
// midnight, so that a clock set on the hour has settled first.
std::chrono::milliseconds untilDailyPurge(const QDateTime& now);

class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(StationContext context, QObject* parent = nullptr);

    // The whole start-up of a station without windows: load, open, the save of built-in
    // folders, the purge, the daily purge.
    void start();

    // The steps of start-up, for a window that puts its own between them.
    void load();
    void openPort(const PortRequest& request);
    void openPort(); // with the configuration in use
    // With `config`'s port, connection, speed, folders and timings (the window's lists).
    void openPort(const Configuration& config);
    void purgeOldLogs();
    void startDailyPurge();

    // Stores what `wanted` changes and makes it the configuration in use.
    void store(const Configuration& wanted);
    // store(), then re-opens the port with the new configuration.
    void apply(const Configuration& wanted);
    // Reads Dialvane.ini again and re-opens the port with it (SIGHUP).
    void reload();

    const Configuration& configuration() const { return config_; }
    const LoadedConfiguration& loaded() const { return loaded_; }
    bool defaultsUsed() const { return loaded_.defaultsUsed; }
    SettingsManager& settings() { return settings_; }
    QString iniFile() const;
    // "COM1 (tcp:0.0.0.0:5001)": the port in use, for status texts.
    QString portName() const;
    LinkThread& link() const { return *context_.link; }

signals:
    // For the operator: a value that cannot be read, a port that cannot be opened, a purge
    // that failed. The station goes on.
    void problem(const QString& text);
    // What an unattended station's log should say (purge results, what was opened).
    void notice(const QString& text);
    // A call ended and its row went to the call journal.
    void callRecorded(const dialvane::journal::Entry& call);
    // The row of a call could not be written; said once per call, the station goes on.
    void journalFailed(const QString& text);

private:
    QDateTime now() const;
    void recordCall(const CallSummary& call);

    StationContext context_;
    SettingsManager settings_;
    LoadedConfiguration loaded_;
    Configuration config_;
    PortRequest lastRequest_;
    QTimer dailyPurge_;
};

} // namespace dialvane
