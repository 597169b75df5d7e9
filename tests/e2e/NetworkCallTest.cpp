// Real processes, real sockets, real time: dialvane-site calls a station's network line, and
// the link thread opens, closes and tries its port again.
#include "E2eSupport.h"
#include "link/LinkThread.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <atomic>

namespace dialvane::test {
namespace {

struct SiteRun {
    int exitCode = -1;
    QByteArray output;
};

// The link thread, without windows, on a network line on 127.0.0.1.
class NetworkCallTest : public BackroomTest {
protected:
    void SetUp() override {
        BackroomTest::SetUp();
        PortRequest request;
        request.connectionLetter = "M"; // a network line has no modem: nothing is sent
        request.device = address;
        request.config.BackroomFolder = backroom;
        request.config.LogFolder = logs;
        request.config.SendDelay = "0";
        request.reopenInterval = Millis(50);
        QSignalSpy opened(&link, &LinkThread::portOpened);
        link.reopen(request);
        link.waitIdle();
        ASSERT_EQ(opened.count(), 1);
    }

    // Runs dialvane-site; `input` (when given) is its standard input, closed after it.
    SiteRun site(const QStringList& arguments, const QByteArray* input = nullptr) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(DIALVANE_SITE, QStringList{"--line", address} + arguments);
        if (input) {
            process.write(*input);
            process.closeWriteChannel();
        }
        process.waitForFinished(60000);
        return {process.exitCode(), process.readAll()};
    }
    quint16 port() const { return address.section(':', 2).toUShort(); }

    QString address = QStringLiteral("tcp:127.0.0.1:%1").arg(freePort());
    std::atomic<int> opens{0}; // tries to open a port, tries again included
    LinkThread link{[this](const PortRequest& request) {
        ++opens;
        return makeRealLine(request);
    }};
};

QByteArray asText(const QByteArrayList& records) {
    return records.join("\r\n") + "\r\n";
}

// A site's file may come from a pipe or standard input; an empty or unreadable one never
// reaches the station, where it would replace the restaurant's file with nothing.
TEST_F(NetworkCallTest, ASiteSendsAFileOrPipeAndNeverAnEmptyOrUnreadableOne) {
    const QString empty = dir.path() + "/empty.txt", many = dir.path() + "/send.txt";
    writeFile(empty, "");
    writeFile(many, asText(records(500, 's')));
    const QByteArray two = "first\r\nsecond\n";
    const struct {
        const char* what;
        QStringList arguments;
        const QByteArray* input;
        int exitCode;
        QByteArray installed;
    } cases[] = {
        {"500 records", {"send", many}, nullptr, 0, fields(records(500, 's'))},
        {"standard input", {"send", "-"}, &two, 0, fields({"first", "second"})},
        {"empty file", {"send", empty}, nullptr, 2, "previous\r\n"},
        {"unreadable file", {"send", dir.path() + "/none.txt"}, nullptr, 2, "previous\r\n"},
        {"empty on purpose", {"--allow-empty", "send", empty}, nullptr, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(resto("itrfinv1"), "previous\r\n");
        const SiteRun run = site(QStringList{"--resto", "000123"} + c.arguments, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output.toStdString();
        EXPECT_EQ(readAll(resto("itrfinv1")), c.installed);
        EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    }
}

TEST_F(NetworkCallTest, ASiteFetchesTheThreeFilesAndTheLogsAreWritten) {
    writeFile(resto("trfloc"), asText(records(20, 'l')));
    writeFile(resto("trfbru2"), asText(records(30, 'b')));
    writeFile(resto("trfinv2"), asText(records(40, 'i')));
    const QString out = dir.path() + "/fetched";
    const SiteRun run = site({"--resto", "000123", "--type", "2", "fetch", out});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(readAll(out + "/trfloc"), fields(records(20, 'l'), "\r\n"));
    EXPECT_EQ(readAll(out + "/trfbru2"), fields(records(30, 'b'), "\r\n"));
    EXPECT_EQ(readAll(out + "/trfinv2"), fields(records(40, 'i'), "\r\n"));
    QByteArray all; // logs started in the same second share one file
    for (const QString& name : QDir(logs).entryList(QDir::Files))
        all += readAll(logs + name);
    EXPECT_EQ(all.count("Sent:"), 90);
    EXPECT_EQ(all.count("Failed:"), 0);
}

TEST_F(NetworkCallTest, ASecondCallerIsRefusedWhileACallRuns) {
    QTcpSocket first;
    first.connectToHost("127.0.0.1", port());
    ASSERT_TRUE(first.waitForConnected(5000));
    // The station accepts within one poll and stops listening.
    QTcpSocket second;
    bool refused = false;
    for (int attempt = 0; attempt < 100 && !refused; ++attempt) {
        second.connectToHost("127.0.0.1", port());
        if (!second.waitForConnected(2000) ||
            (second.waitForDisconnected(200) && second.state() != QAbstractSocket::ConnectedState))
            refused = second.error() == QAbstractSocket::ConnectionRefusedError;
        second.abort();
    }
    EXPECT_TRUE(refused);
}

// A port that cannot be opened, or that fails while open, is said once and opened again by
// itself as soon as it can be: no person needed.
TEST_F(NetworkCallTest, APortThatFailsIsSaidOnceAndOpensAgainByItself) {
    QSignalSpy failedToOpen(&link, &LinkThread::openFailed);
    QSignalSpy failedWhileOpen(&link, &LinkThread::lineFailed);
    QSignalSpy restored(&link, &LinkThread::lineRestored);
    // Several tries at 50 ms, none of them said.
    const auto triesPass = [&] {
        const int target = opens + 3;
        return QTest::qWaitFor([&] { return opens >= target; }, 5000);
    };

    // While open: somebody takes the address during a call; when the call ends the line
    // cannot listen again.
    QTcpSocket caller;
    caller.connectToHost(QHostAddress::LocalHost, port());
    ASSERT_TRUE(caller.waitForConnected(5000));
    QTcpServer squatter;
    for (QDeadlineTimer deadline(5000); !squatter.listen(QHostAddress::LocalHost, port());)
        ASSERT_FALSE(deadline.hasExpired()) << "the line kept listening during the call";
    caller.abort();
    ASSERT_TRUE(failedWhileOpen.count() == 1 || failedWhileOpen.wait(5000));
    EXPECT_TRUE(failedWhileOpen.at(0).at(0).toString().contains("COM1"));
    ASSERT_TRUE(triesPass());
    EXPECT_EQ(failedWhileOpen.count(), 1);
    EXPECT_EQ(restored.count(), 0);
    squatter.close();
    ASSERT_TRUE(restored.count() == 1 || restored.wait(5000));
    EXPECT_TRUE(restored.at(0).at(0).toString().contains("COM1"));

    // Not even opened: the same, once, then back by itself.
    link.close();
    link.waitIdle();
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port()));
    PortRequest request;
    request.portNumber = 5;
    request.device = address;
    request.reopenInterval = Millis(50);
    link.reopen(request);
    ASSERT_TRUE(failedToOpen.count() == 1 || failedToOpen.wait(5000));
    EXPECT_TRUE(failedToOpen.at(0).at(0).toString().contains("COM5"));
    ASSERT_TRUE(triesPass());
    EXPECT_EQ(failedToOpen.count(), 1);
    squatter.close();
    ASSERT_TRUE(restored.count() == 2 || restored.wait(5000));
    EXPECT_EQ(failedWhileOpen.count(), 1);
}

// A supervisor's watchdog is fed from the link thread itself, with the port open or closed: a
// worker stuck in a call or a wait stops the beats and gets the station restarted.
TEST_F(NetworkCallTest, TheHeartbeatComesFromTheLinkThreadWithThePortOpenOrClosed) {
    std::atomic<int> beats{0};
    std::atomic<bool> onTheLinkThread{true};
    QThread* mainThread = QThread::currentThread();
    link.setHeartbeat(
        [&] {
            ++beats;
            if (QThread::currentThread() == mainThread)
                onTheLinkThread = false;
        },
        Millis(20));
    auto threeMoreBeats = [&] {
        const int target = beats + 3;
        return QTest::qWaitFor([&] { return beats >= target; }, 5000);
    };
    EXPECT_TRUE(threeMoreBeats()) << "serving an open line";
    link.close();
    link.waitIdle();
    EXPECT_TRUE(threeMoreBeats()) << "with the port closed";
    EXPECT_TRUE(onTheLinkThread);
    link.setHeartbeat({}, Millis(0));
}

} // namespace
} // namespace dialvane::test
