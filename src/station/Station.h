#pragma once
// The station without its windows: it reads the configuration, opens the port through the link
// thread, lets the window save once when built-in folders had to be used (the service never
// writes Dialvane.ini), purges old transfer logs and call
// journals at start and once a day after local midnight, writes each call's row to the call
// journal, and stores and applies a changed configuration. The
// window binds widgets to it; the service runs it as it is.
//
// Nothing here stops the station: what cannot be read or done is said through problem() (a
// message box in the window, an error line in the service) and the station goes on.

#include "common/Clock.h"
#include "journal/Journal.h"
#include "link/CallSummary.h"
#include "link/LinkEvents.h"
#include "settings/SettingsManager.h"
#include "station/Configuration.h"
#include "station/Hooks.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace dialvane {

class LinkThread;
class RegistryArea;

struct StationContext {
    QString programFolder;              // where Dialvane.ini lives
    LinkThread* link = nullptr;         // must outlive the station
    RegistryArea* registry = nullptr;   // the per-user settings area (empty: the real one)
    QLocale locale = QLocale::system(); // how stored numbers are read
    // The local date and time, for the purge cutoff, the daily purge and the calls' logs.
    const Clock* clock = &systemClock();
};

// What a window does between the steps of start-up; each may be left empty.
struct StartupView {
    std::function<void()> loaded; // the configuration is read: show it
    // Built-in folders are stored as a Save stores them: the window's Save, which takes what
    // its lists show and applies it. Without one (the service) nothing is stored.
    std::function<void()> save;
    // Lists the restaurant folders; a Failure it throws is said and start-up goes on.
    std::function<void()> listRestaurants;
};

// Removes the partly received files ("itrfinv<T>.tmp") a crash left in the restaurant folders
// of `backroom`, only where the restaurant's lock can be taken: another station sharing the
// Backroom may be writing one. Returns the files removed.
QStringList removeLeftoverReceives(const QString& backroom);

// How long after `now` the next daily purge is due: a few minutes after the next local
// midnight, so that a clock set on the hour has settled first.
std::chrono::milliseconds untilDailyPurge(const QDateTime& now);

class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(StationContext context, QObject* parent = nullptr);

    // The one start-up, of the window and of the service alike: read the configuration, open
    // the port, let the window store built-in folders as its Save would (which opens the port
    // again), list the restaurants, purge old transfer logs and journals, and purge again each
    // day.
    void start(const StartupView& view = {});

    // Stores what `wanted` changes, makes it the configuration in use and re-opens the port
    // with it (the Save of the window).
    void apply(const Configuration& wanted);
    // SIGHUP, as one transaction. A Dialvane.ini that cannot be read changes nothing. Otherwise
    // what changed is said key by key (notice) and the new configuration is used: the calls in
    // progress go on unless the port or its line settings changed, and then the new port is
    // opened before the old one goes. A new port that cannot be opened leaves the old one and
    // the whole configuration before the reload in service (problem). Values that cannot be
    // read are named and their defaults used, as at start.
    void reload();

    const Configuration& configuration() const { return config_; }
    const LoadedConfiguration& loaded() const { return loaded_; }
    bool defaultsUsed() const { return loaded_.defaultsUsed; }
    SettingsManager& settings() { return settings_; }
    QString iniFile() const;
    // "COM1 (tcp:0.0.0.0:5001)": the port in use, for status texts.
    QString portName() const;
    LinkThread& link() const { return *context_.link; }
    // The commands run for delivered files; queued in the program folder.
    HookQueue& hooks() { return hooks_; }

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
    void load();
    void openPort();
    PortRequest requestFor(const Configuration& config);
    void portKept(const LinkEvent& event);
    void store(const Configuration& wanted);
    void purgeOldLogs();
    void startDailyPurge();
    QDateTime now() const;
    void recordCall(const CallSummary& call);

    StationContext context_;
    SettingsManager settings_;
    LoadedConfiguration loaded_;
    Configuration config_;
    PortRequest lastRequest_;
    // What a reload replaced, until the new port is known to open.
    struct InService {
        LoadedConfiguration loaded;
        PortRequest request;
    };
    std::optional<InService> beforeReload_;
    QTimer dailyPurge_;
    HookQueue hooks_;
};

} // namespace dialvane
