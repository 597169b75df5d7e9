#include "station/Hooks.h"

#include "common/DurableFile.h"
#include "common/EightBitText.h"
#include "common/Paths.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

namespace dialvane {

namespace {

// What of a hook's output reaches the log: enough to say why it failed, never megabytes.
constexpr int kOutputLines = 5;
constexpr qsizetype kOutputBytes = 1024;
// The queue file is compacted once this many "done" lines have piled up (and they outnumber
// the hooks still queued), so that draining a long queue rewrites it a few times only.
constexpr std::size_t kCompactAfter = 1000;

QJsonObject toJson(const HookJob& job) {
    return QJsonObject{{QStringLiteral("id"), QString::number(job.id)},
                       {QStringLiteral("hook"), job.hook},
                       {QStringLiteral("command"), job.command},
                       {QStringLiteral("restaurant"), job.restaurant},
                       {QStringLiteral("transaction"), job.transaction},
                       {QStringLiteral("type"), job.type},
                       {QStringLiteral("files"), QJsonArray::fromStringList(job.files)},
                       {QStringLiteral("folder"), job.folder},
                       {QStringLiteral("peer"), job.peer},
                       {QStringLiteral("line"), job.line}};
}

bool fromJson(const QJsonObject& o, HookJob& job) {
    bool ok = false;
    job.id = o.value(QStringLiteral("id")).toString().toULongLong(&ok);
    job.hook = o.value(QStringLiteral("hook")).toString();
    job.command = o.value(QStringLiteral("command")).toString();
    job.restaurant = o.value(QStringLiteral("restaurant")).toString();
    job.transaction = o.value(QStringLiteral("transaction")).toString();
    job.type = o.value(QStringLiteral("type")).toString();
    job.files.clear();
    for (const QJsonValue& f : o.value(QStringLiteral("files")).toArray())
        job.files << f.toString();
    job.folder = o.value(QStringLiteral("folder")).toString();
    job.peer = o.value(QStringLiteral("peer")).toString();
    job.line = o.value(QStringLiteral("line")).toString();
    return ok && job.id > 0 && !job.restaurant.isEmpty() && !job.command.isEmpty();
}

QByteArray addLine(const HookJob& job) {
    return QJsonDocument(QJsonObject{{QStringLiteral("queued"), toJson(job)}})
               .toJson(QJsonDocument::Compact) +
           '\n';
}

QByteArray doneLine(quint64 id) {
    return QJsonDocument(QJsonObject{{QStringLiteral("done"), QString::number(id)}})
               .toJson(QJsonDocument::Compact) +
           '\n';
}

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(static_cast<double>(duration.count()) / 1000.0, 'f', 1);
}

} // namespace

HookSettings hookSettingsOf(const Configuration& config) {
    HookSettings settings;
    settings.onReceived = config.OnReceived;
    settings.onFetched = config.OnFetched;
    settings.parallel = std::max<int>(1, config.HookParallel);
    settings.timeout = std::chrono::seconds(std::max<int>(1, config.HookSeconds));
    return settings;
}

QString resultName(HookRun::Result result) {
    switch (result) {
    case HookRun::Result::Ok:
        return QStringLiteral("ok");
    case HookRun::Result::Failed:
        return QStringLiteral("failed");
    case HookRun::Result::TimedOut:
        return QStringLiteral("timeout");
    case HookRun::Result::NotStarted:
        break;
    }
    return QStringLiteral("not_started");
}

QString HookRun::describe() const {
    QString text = QStringLiteral("hook %1 for %2 (%3%4)")
                       .arg(job.hook, job.restaurant, job.transaction, job.type);
    switch (result) {
    case Result::Ok:
        text += QStringLiteral(": done in %1 s").arg(seconds(duration));
        break;
    case Result::Failed:
        text +=
            exitCode >= 0
                ? QStringLiteral(": exit status %1 after %2 s").arg(exitCode).arg(seconds(duration))
                : QStringLiteral(": crashed after %1 s").arg(seconds(duration));
        break;
    case Result::TimedOut:
        text += QStringLiteral(": killed after %1 s").arg(seconds(duration));
        break;
    case Result::NotStarted:
        text += QStringLiteral(": cannot start \"%1\": %2").arg(job.command, why);
        break;
    }
    if (!output.isEmpty())
        text += QStringLiteral(": ") + output;
    return text;
}

struct HookQueue::Running {
    HookJob job;
    QProcess* process = nullptr; // owned by the queue, deleted later
    QTimer timer;
    QElapsedTimer clock;
    QByteArray output;
    int lines = 0;
    bool timedOut = false;
    bool finished = false;
};

HookQueue::HookQueue(QString queueFile, QObject* parent) : QObject(parent) {
    qRegisterMetaType<dialvane::HookRun>();
    file_.setFileName(queueFile);
}

HookQueue::~HookQueue() {
    for (auto& [resto, run] : running_) {
        run->finished = true;
        if (!run->process)
            continue;
        run->process->disconnect(this);
        run->process->kill();
        run->process->waitForFinished(1000);
    }
}

void HookQueue::configure(const HookSettings& settings) {
    settings_ = settings;
    if (!opened_) {
        opened_ = true;
        open();
    }
    dispatch();
}

void HookQueue::fileProblem(const QString& text) {
    // Said once until the file works again: a full disk must not flood the log.
    if (text == lastFileProblem_)
        return;
    lastFileProblem_ = text;
    emit problem(text);
}

// Reads what the last run left: queued lines minus done lines. A line that is no JSON is
// damage, unless it is the last and unfinished (a crash in the middle of an append).
void HookQueue::open() {
    if (!file_.exists())
        return;
    if (!file_.open(QIODevice::ReadOnly)) {
        fileProblem(QStringLiteral("The hook queue %1 cannot be read (%2): its hooks do not "
                                   "run; new hooks are queued in memory.")
                        .arg(file_.fileName(), file_.errorString()));
        return;
    }
    const QByteArray all = file_.readAll();
    file_.close();
    std::map<quint64, HookJob> jobs;
    int damaged = 0;
    int lineNumber = 0;
    qsizetype at = 0;
    while (at < all.size()) {
        qsizetype end = all.indexOf('\n', at);
        const bool unfinished = end < 0;
        if (unfinished)
            end = all.size();
        const QByteArray line = all.mid(at, end - at).trimmed();
        at = end + 1;
        ++lineNumber;
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        HookJob job;
        if (o.contains(QStringLiteral("queued")) &&
            fromJson(o.value(QStringLiteral("queued")).toObject(), job)) {
            nextId_ = std::max(nextId_, job.id + 1);
            jobs[job.id] = job;
        } else if (o.contains(QStringLiteral("done"))) {
            jobs.erase(o.value(QStringLiteral("done")).toString().toULongLong());
        } else if (!unfinished) {
            ++damaged;
        }
    }
    if (damaged > 0) {
        const QString aside =
            file_.fileName() + QStringLiteral(".damaged-") +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
        const QString moved = renameOver(file_.fileName(), aside);
        emit problem(
            QStringLiteral("The hook queue %1 is damaged (%2 lines cannot be read): "
                           "set aside as %3%4; the %5 hooks that could be read will "
                           "run.")
                .arg(file_.fileName())
                .arg(damaged)
                .arg(aside, moved.isEmpty() ? QString() : QStringLiteral(" failed (%1)").arg(moved))
                .arg(jobs.size()));
    }
    for (auto& [id, job] : jobs) {
        auto& line = waiting_[job.restaurant];
        if (line.empty())
            ready_.emplace(id, job.restaurant);
        line.push_back(std::move(job));
        ++queued_;
    }
    compact();
}

void HookQueue::callEnded(const CallSummary& call, const QString& backroomFolder) {
    if (call.outcome != CallOutcome::Completed)
        return;
    const CallDirection direction = call.direction();
    const QString& command =
        direction == CallDirection::Receive ? settings_.onReceived : settings_.onFetched;
    if (direction == CallDirection::None || command.isEmpty())
        return;
    HookJob job;
    job.hook = direction == CallDirection::Receive ? QStringLiteral("OnReceived")
                                                   : QStringLiteral("OnFetched");
    job.command = command;
    // A completed call had a safe header: its restaurant field names a folder as it stands.
    job.restaurant = printable(call.restoNum.trimmed());
    job.transaction = printable(call.transaction);
    job.type = printable(call.type);
    job.folder = AddBackslash(AddBackslash(backroomFolder) + fromEightBit(call.restoNum));
    for (const QString& name : call.files)
        job.files << job.folder + name;
    job.peer = call.peer;
    job.line = call.port;
    enqueue(std::move(job));
}

void HookQueue::enqueue(HookJob job) {
    if (!opened_) {
        opened_ = true;
        open();
    }
    job.id = nextId_++;
    appendLine(addLine(job), true);
    auto& line = waiting_[job.restaurant];
    if (line.empty() && !running_.count(job.restaurant))
        ready_.emplace(job.id, job.restaurant);
    line.push_back(std::move(job));
    ++queued_;
    dispatch();
}

void HookQueue::appendLine(const QByteArray& line, bool sync) {
    if (!file_.isOpen() && !file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        fileProblem(QStringLiteral("The hook queue %1 cannot be written (%2): a restart before "
                                   "the hooks have run would lose them.")
                        .arg(file_.fileName(), file_.errorString()));
        return;
    }
    const bool written =
        file_.write(line) == line.size() && (sync ? syncToDisk(file_) : file_.flush());
    if (!written) {
        fileProblem(QStringLiteral("The hook queue %1 cannot be written (%2): a restart before "
                                   "the hooks have run would lose them.")
                        .arg(file_.fileName(), file_.errorString()));
        file_.close();
        return;
    }
    lastFileProblem_.clear();
}

// Replaces the file by one holding only the hooks still to run (those running included).
void HookQueue::compact() {
    file_.close();
    doneLines_ = 0;
    QByteArray text;
    std::vector<const HookJob*> live;
    for (const auto& [resto, run] : running_)
        live.push_back(&run->job);
    for (const auto& [resto, line] : waiting_)
        for (const HookJob& job : line)
            live.push_back(&job);
    if (live.empty() && !file_.exists())
        return;
    std::sort(live.begin(), live.end(), [](auto* a, auto* b) { return a->id < b->id; });
    for (const HookJob* job : live)
        text += addLine(*job);
    const QString temporary = file_.fileName() + QStringLiteral(".tmp");
    QFile out(temporary);
    QString failure;
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size() ||
        !syncToDisk(out))
        failure = out.errorString();
    out.close();
    if (failure.isEmpty())
        failure = replaceFile(temporary, file_.fileName());
    if (!failure.isEmpty()) {
        QFile::remove(temporary);
        fileProblem(QStringLiteral("The hook queue %1 cannot be replaced (%2).")
                        .arg(file_.fileName(), failure));
    }
}

// Starts queued hooks while there is room. Posted rather than called from a hook's end, so a
// hook that cannot start does not recurse through the whole queue on one stack.
void HookQueue::dispatch() {
    if (!opened_)
        return;
    while (running() < settings_.parallel && !ready_.empty()) {
        const auto [id, resto] = *ready_.begin();
        ready_.erase(ready_.begin());
        auto found = waiting_.find(resto);
        if (found == waiting_.end() || found->second.empty())
            continue;
        HookJob job = std::move(found->second.front());
        found->second.pop_front();
        if (found->second.empty())
            waiting_.erase(found);
        --queued_;
        launch(std::move(job));
    }
}

void HookQueue::launch(HookJob job) {
    auto run = std::make_unique<Running>();
    Running& r = *run;
    r.job = std::move(job);
    const QString resto = r.job.restaurant;
    running_[resto] = std::move(run);

    QStringList arguments = QProcess::splitCommand(r.job.command);
    if (arguments.isEmpty()) {
        done(r, HookRun::Result::NotStarted, -1, QStringLiteral("no program named"));
        return;
    }
    auto* process = new QProcess(this);
    r.process = process;
    process->setProgram(arguments.takeFirst());
    process->setArguments(arguments);
    process->setWorkingDirectory(r.job.folder);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DIALVANE_RESTAURANT"), r.job.restaurant);
    env.insert(QStringLiteral("DIALVANE_TRANSACTION"), r.job.transaction);
    env.insert(QStringLiteral("DIALVANE_TYPE"), r.job.type);
    env.insert(QStringLiteral("DIALVANE_FILE"), r.job.files.join(QLatin1Char('\n')));
    env.insert(QStringLiteral("DIALVANE_PEER"), r.job.peer);
    env.insert(QStringLiteral("DIALVANE_LINE"), r.job.line);
    process->setProcessEnvironment(env);

    // Keeps the first lines; the rest is read and dropped so a chatty hook neither blocks on a
    // full pipe nor fills the station's memory.
    connect(process, &QProcess::readyRead, this, [&r] {
        const QByteArray bytes = r.process->readAll();
        if (r.lines >= kOutputLines || r.output.size() >= kOutputBytes)
            return;
        for (char c : bytes) {
            if (c == '\n' && ++r.lines >= kOutputLines)
                break;
            r.output.append(c);
            if (r.output.size() >= kOutputBytes)
                break;
        }
    });
    connect(process, &QProcess::errorOccurred, this, [this, &r](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && !r.finished)
            done(r, HookRun::Result::NotStarted, -1, r.process->errorString());
    });
    connect(process, &QProcess::finished, this,
            [this, &r](int exitCode, QProcess::ExitStatus status) {
                if (r.finished)
                    return;
                if (r.timedOut)
                    done(r, HookRun::Result::TimedOut, -1, QString());
                else if (status == QProcess::CrashExit)
                    done(r, HookRun::Result::Failed, -1, QString());
                else
                    done(r, exitCode == 0 ? HookRun::Result::Ok : HookRun::Result::Failed, exitCode,
                         QString());
            });
    r.timer.setSingleShot(true);
    connect(&r.timer, &QTimer::timeout, this, [&r] {
        r.timedOut = true;
        r.process->kill();
    });
    r.clock.start();
    r.timer.start(settings_.timeout);
    process->start();
}

void HookQueue::done(Running& r, HookRun::Result result, int exitCode, const QString& why) {
    r.finished = true;
    r.timer.stop();
    HookRun run;
    run.job = r.job;
    run.result = result;
    run.exitCode = exitCode;
    run.duration = std::chrono::milliseconds(r.clock.isValid() ? r.clock.elapsed() : 0);
    run.why = why;
    QStringList lines;
    for (const QByteArray& line : r.output.split('\n'))
        if (!line.trimmed().isEmpty())
            lines << printable(line.trimmed());
    run.output = lines.join(QStringLiteral(" | "));
    if (r.process) {
        r.process->disconnect(this);
        r.process->deleteLater();
    }

    const QString resto = r.job.restaurant;
    const quint64 id = r.job.id;
    running_.erase(resto); // r is gone from here on
    appendLine(doneLine(id), false);
    ++doneLines_;
    if (const auto next = waiting_.find(resto); next != waiting_.end() && !next->second.empty())
        ready_.emplace(next->second.front().id, resto);
    if (running_.empty() && ready_.empty())
        compact();
    else if (doneLines_ >= kCompactAfter && doneLines_ >= queued_)
        compact();
    emit finished(run);
    if (running_.empty() && ready_.empty())
        emit drained();
    if (!dispatchPosted_) {
        dispatchPosted_ = true;
        QTimer::singleShot(0, this, [this] {
            dispatchPosted_ = false;
            dispatch();
        });
    }
}

} // namespace dialvane
