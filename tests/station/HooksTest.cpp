// Hooks run as real processes: a small script plays the hook, once per row, and what it wrote
// (its arguments, folder and environment) and what the queue said of it are checked.
#include "station/Hooks.h"

#include "support/CallFixtures.h"

#include <QTest>

namespace dialvane {
namespace {

const char kScript[] = R"(#!/bin/sh
mode=$1; log=$2
# The first run of "once" is marked before it says anything: a test that stops it as soon as
# it has said so must find the mark.
if [ "$mode" = once ] && [ ! -e "$log.seen" ]; then touch "$log.seen"; first=1; fi
echo "$mode|$DIALVANE_RESTAURANT|$(pwd)|$DIALVANE_TRANSACTION$DIALVANE_TYPE|$DIALVANE_PEER|$DIALVANE_LINE|$DIALVANE_FILE" >> "$log"
case $mode in
  ok) exit 0 ;;
  fail) echo first; echo; echo second; echo third; exit 3 ;;
  hang) exec sleep 30 ;;
  chatty) head -c 3000000 /dev/zero | tr '\0' 'x'; exit 0 ;;
  once) [ -z "$first" ] && exit 0; exec sleep 30 ;;
esac
)";

class HooksTest : public test::BackroomTest {
protected:
    void SetUp() override {
        BackroomTest::SetUp();
        test::writeFile(dir.filePath("hook.sh"), kScript);
        QFile::setPermissions(dir.filePath("hook.sh"), QFile::ReadOwner | QFile::ExeOwner);
    }

    QString command(const QString& mode) const {
        return QStringLiteral("%1 %2 %3").arg(dir.filePath("hook.sh"), mode, log());
    }
    QString log() const { return dir.filePath("hook.log"); }
    QStringList logLines() const {
        QFile file(log());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString queueFile() const { return dir.filePath("Dialvane-hooks.queue"); }

    std::unique_ptr<HookQueue> queueWith(const QString& onReceived, int parallel = 2) {
        HookSettings settings;
        settings.onReceived = onReceived;
        settings.onFetched = command("ok");
        settings.parallel = parallel;
        // Long enough for a busy machine to run a shell script, short enough to wait for once.
        settings.timeout = std::chrono::milliseconds(3000);
        auto queue = std::make_unique<HookQueue>(queueFile());
        QObject::connect(queue.get(), &HookQueue::finished,
                         [this](const HookRun& run) { runs.push_back(run); });
        QObject::connect(queue.get(), &HookQueue::problem,
                         [this](const QString& text) { problems << text; });
        queue->configure(settings);
        return queue;
    }
    bool ran(std::size_t count) {
        return QTest::qWaitFor([&] { return runs.size() >= count; }, 10000);
    }

    static CallSummary receive(const char* restaurant) {
        CallSummary call;
        call.restoNum = restaurant;
        call.transaction = "S";
        call.type = "1";
        call.outcome = CallOutcome::Completed;
        call.files << QStringLiteral("itrfinv1");
        call.peer = QStringLiteral("127.0.0.1");
        call.port = QStringLiteral("COM1");
        return call;
    }

    std::vector<HookRun> runs;
    QStringList problems;
};

TEST_F(HooksTest, EachOutcomeIsToldAndTheNextHookRuns) {
    using R = HookRun::Result;
    struct Row {
        const char* name;
        QString mode; // the script's mode, or a command of its own
        R result;
        int exitCode;
        QString output;
    };
    const Row rows[] = {
        {"success", "ok", R::Ok, 0, ""},
        {"failure: status and first lines", "fail", R::Failed, 3, "first | second | third"},
        {"timeout: killed", "hang", R::TimedOut, -1, ""},
        {"megabytes of output: bounded", "chatty", R::Ok, 0, QString(1024, QLatin1Char('x'))},
        {"missing program", "/nonexistent/hook", R::NotStarted, -1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(log());
        runs.clear();
        const auto queue =
            queueWith(row.mode.startsWith(QLatin1Char('/')) ? row.mode : command(row.mode));
        queue->callEnded(receive("000123"), backroom);
        // A fetch after it runs whatever became of the first hook.
        CallSummary fetch = receive("000123");
        fetch.transaction = "X";
        fetch.files = QStringList{"trfloc", "trfbru1", "trfinv1"};
        queue->callEnded(fetch, backroom);
        ASSERT_TRUE(ran(2));
        EXPECT_EQ(runs[0].result, row.result);
        EXPECT_EQ(runs[0].job.hook, "OnReceived");
        // A killed or missing hook has no exit status of its own.
        EXPECT_TRUE(row.exitCode < 0 || runs[0].exitCode == row.exitCode) << runs[0].exitCode;
        EXPECT_EQ(runs[0].output, row.output);
        EXPECT_TRUE(runs[0].describe().contains("000123")) << runs[0].describe().toStdString();
        EXPECT_EQ(runs[1].result, R::Ok) << runs[1].describe().toStdString();
        EXPECT_EQ(runs[1].job.hook, "OnFetched");
        // The fetch's hook ran in the restaurant's folder with the call's environment.
        const QString folder = QDir(backroom + "000123").canonicalPath();
        const QString files = resto("trfloc\n") + resto("trfbru1\n") + resto("trfinv1");
        EXPECT_TRUE(
            logLines().join('\n').endsWith("ok|000123|" + folder + "|X1|127.0.0.1|COM1|" + files))
            << logLines().join('\n').toStdString();
        EXPECT_EQ(queue->pending(), 0);
    }
}

TEST_F(HooksTest, OneAtATimePerRestaurantInOrder) {
    QDir().mkpath(backroom + "000456");
    const auto queue = queueWith(command("ok"));
    for (const char* restaurant : {"000123", "000123", "000456", "000123"})
        queue->callEnded(receive(restaurant), backroom);
    EXPECT_EQ(queue->running(), 2);
    ASSERT_TRUE(ran(4));
    std::vector<quint64> ids;
    for (const HookRun& run : runs)
        if (run.job.restaurant == "000123")
            ids.push_back(run.job.id);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(ids.size(), 3u);
}

// A hook that was running when the station stopped runs again at the next start; a queue file
// with a damaged line is set aside and what can be read of it still runs.
TEST_F(HooksTest, RestartRunsWhatWasPending) {
    {
        const auto first = queueWith(command("once"));
        first->callEnded(receive("000123"), backroom);
        ASSERT_TRUE(QTest::qWaitFor([&] { return logLines().size() == 1; }, 10000));
    } // stopped while the hook sleeps
    {
        const auto second = queueWith(command("once"));
        ASSERT_TRUE(ran(1));
        EXPECT_EQ(runs[0].result, HookRun::Result::Ok) << runs[0].describe().toStdString();
        EXPECT_EQ(logLines().size(), 2);
    }

    // Damage: a line that is no JSON after a queued hook that is whole.
    queueWith(command("ok"), 0)->callEnded(receive("000123"), backroom);
    {
        QFile file(queueFile());
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("{\"queued\": garbage\n");
    }
    const auto third = queueWith(command("ok"));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains("set aside")) << problems[0].toStdString();
    ASSERT_TRUE(ran(2));
    EXPECT_EQ(QDir(dir.path()).entryList({"Dialvane-hooks.queue.damaged-*"}).size(), 1);
}

} // namespace
} // namespace dialvane
