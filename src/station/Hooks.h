#pragma once
// Commands run for each delivered file: OnReceived once a received itrfinv<T> is installed and
// its end block acknowledged (a completed receive), OnFetched once a site fetched its three
// files (a completed send). A hook hears of a call only from its CallEnded event, so it can
// never run before the site was told "received", and it runs off the call's thread: a hook
// never delays a call or its answers.
//
// Order and room: hooks of one restaurant run one at a time, in the order their calls ended;
// hooks of different restaurants run side by side, at most `parallel` at once. A hook still
// running after `timeout` is killed. Nothing a hook does (it cannot start, exits non-zero,
// hangs, prints megabytes, its program was removed while queued) touches the call or the file:
// it is said through finished() and the next hook runs.
//
// The queue is kept in a file of its own, one JSON line per event: a hook queued (written and
// synced before callEnded returns) or a hook done (written, not synced). When the done lines
// outweigh the queued ones the file is replaced atomically by one holding only what is still
// to run, and so at every start. A crash or a restart therefore loses no hook; a hook that
// was running, or whose "done" line had not reached the disk, runs again at the next start:
// a hook may run twice, never zero times. A damaged queue file is set aside under another
// name with a message, the hooks that can still be read from it are kept, and the station
// starts.

#include "link/CallSummary.h"
#include "station/Configuration.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <set>

class QProcess;

namespace dialvane {

struct HookSettings {
    QString onReceived; // a program and its arguments, split as QProcess::splitCommand does
    QString onFetched;
    int parallel = 2;
    std::chrono::milliseconds timeout{std::chrono::seconds(300)};
};

HookSettings hookSettingsOf(const Configuration& config);

// One hook to run, as the queue keeps it: the command is the one configured when the call
// ended.
struct HookJob {
    quint64 id = 0;
    QString hook; // "OnReceived" or "OnFetched"
    QString command;
    QString restaurant;
    QString transaction;
    QString type;
    QStringList files; // full paths
    QString folder;    // the restaurant's folder: where the hook runs
    QString peer;
    QString line; // "COM1"
};

struct HookRun {
    enum class Result { Ok, Failed, TimedOut, NotStarted };
    HookJob job;
    Result result = Result::Ok;
    int exitCode = 0;
    std::chrono::milliseconds duration{0};
    QString output; // its first lines, escaped, joined by " | "
    QString why;    // NotStarted: the system's reason

    bool ok() const { return result == Result::Ok; }
    // "hook OnReceived for 000123: exit status 3 after 0.2 s: first line | second line".
    QString describe() const;
};

// "ok", "failed", "timeout", "not_started": the result label of the hooks metric.
QString resultName(HookRun::Result result);

class HookQueue : public QObject {
    Q_OBJECT
public:
    explicit HookQueue(QString queueFile, QObject* parent = nullptr);
    // Kills the hooks running: they stay queued and run again at the next start.
    ~HookQueue() override;

    // Takes the settings in use. The first call reads the queue file and starts what it holds.
    void configure(const HookSettings& settings);
    // Queues the hook the call asks for, if any: a completed receive runs OnReceived, a
    // completed fetch OnFetched, for the restaurant's folder under `backroomFolder`.
    void callEnded(const CallSummary& call, const QString& backroomFolder);
    // Queues `job` (its id is given here) and starts it when it may run.
    void enqueue(HookJob job);

    int pending() const { return static_cast<int>(queued_) + running(); }
    int running() const { return static_cast<int>(running_.size()); }
    QString queueFile() const { return file_.fileName(); }

signals:
    void finished(const dialvane::HookRun& run);
    // The queue file cannot be read, written or was damaged; the hooks go on.
    void problem(const QString& text);
    // Every queued hook has run.
    void drained();

private:
    struct Running;
    void open();
    void dispatch();
    void launch(HookJob job);
    void done(Running& run, HookRun::Result result, int exitCode, const QString& why);
    void appendLine(const QByteArray& line, bool sync);
    void compact();
    void fileProblem(const QString& text);

    HookSettings settings_;
    bool opened_ = false;
    bool dispatchPosted_ = false;
    QFile file_;
    quint64 nextId_ = 1;
    std::size_t queued_ = 0;
    std::size_t doneLines_ = 0;
    QString lastFileProblem_;
    std::map<QString, std::deque<HookJob>> waiting_;      // by restaurant, in order of arrival
    std::set<std::pair<quint64, QString>> ready_;         // heads of restaurants not running
    std::map<QString, std::unique_ptr<Running>> running_; // by restaurant
};

} // namespace dialvane

Q_DECLARE_METATYPE(dialvane::HookRun)
