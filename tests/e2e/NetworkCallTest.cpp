// Real processes, real sockets, real time: dialvane-site calls a station's network line.
#include "StationHost.h"

#include "link/Block.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <atomic>

namespace dialvane::test {
namespace {

class NetworkCallTest : public StationHost {};

QByteArray records(int count, char fill) {
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += QByteArray::number(i).leftJustified(100, fill) + "\r\n";
    return text;
}

// What the station installs for those records: 126-byte fields, ETX, CR LF.
QByteArray installed(const QByteArray& text) {
    QByteArray out;
    for (QByteArray line : text.split('\n')) {
        line.chop(line.endsWith('\r') ? 1 : 0);
        if (!line.isEmpty())
            out += line.leftJustified(126, ' ', true) + char(ETX) + "\r\n";
    }
    return out;
}

TEST_F(NetworkCallTest, ASiteSendsFiveHundredRecords) {
    writeFile(dir.path() + "/send.txt", records(500, 's'));
    const SiteRun run = site({"--resto", "000123", "send", dir.path() + "/send.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("blocks 500, failures 0")) << run.output.toStdString();
    EXPECT_EQ(readAll(resto("itrfinv1")), installed(records(500, 's')));
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
}

// A site's file may come from a pipe or standard input; an empty or unreadable one never
// reaches the station, where it would replace the restaurant's file with nothing.
TEST_F(NetworkCallTest, SendReadsPipesToTheEndAndRefusesEmptyOrUnreadableFiles) {
    const QString empty = dir.path() + "/empty.txt";
    writeFile(empty, "");
    const QByteArray two = "first\r\nsecond\n";
    const struct {
        const char* what;
        QStringList arguments;
        const QByteArray* input;
        int exitCode;
        QByteArray installed;
    } cases[] = {
        {"standard input", {"send", "-"}, &two, 0, installed(two)},
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
    }
}

TEST_F(NetworkCallTest, ASiteFetchesTheThreeFilesAndTheLogsAreWritten) {
    writeFile(resto("trfloc"), records(20, 'l'));
    writeFile(resto("trfbru2"), records(30, 'b'));
    writeFile(resto("trfinv2"), records(40, 'i'));
    const QString out = dir.path() + "/fetched";
    const SiteRun run = site({"--resto", "000123", "--type", "2", "fetch", out});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    const auto asFetched = [](const QByteArray& text) {
        QByteArray out;
        for (QByteArray line : text.split('\n')) {
            line.chop(line.endsWith('\r') ? 1 : 0);
            if (!line.isEmpty())
                out += line.leftJustified(126, ' ', true) + "\r\n";
        }
        return out;
    };
    EXPECT_EQ(readAll(out + "/trfloc"), asFetched(records(20, 'l')));
    EXPECT_EQ(readAll(out + "/trfbru2"), asFetched(records(30, 'b')));
    EXPECT_EQ(readAll(out + "/trfinv2"), asFetched(records(40, 'i')));
    const QStringList names = QDir(logs).entryList(QDir::Files);
    ASSERT_GE(names.size(), 1); // logs started in the same second share one file
    QByteArray all;
    for (const QString& name : names)
        all += readAll(logs + name);
    EXPECT_EQ(all.count("Sent:"), 90);
    EXPECT_EQ(all.count("Failed:"), 0);
}

TEST_F(NetworkCallTest, DropsInEitherDirectionLeaveNothingHalfDoneAndTheNextCallWorks) {
    writeFile(dir.path() + "/send.txt", records(50, 's'));
    writeFile(resto("itrfinv1"), "previous\r\n");
    writeFile(resto("trfloc"), records(50, 'l'));
    writeFile(resto("trfbru1"), records(5, 'b'));
    writeFile(resto("trfinv1"), records(5, 'i'));

    SiteRun run =
        site({"--resto", "000123", "--drop-after-bytes", "3000", "send", dir.path() + "/send.txt"});
    EXPECT_EQ(run.exitCode, 1) << run.output.toStdString();
    run = site({"--resto", "000123", "--drop-after-bytes", "3000", "fetch", dir.path() + "/f1"});
    EXPECT_EQ(run.exitCode, 1) << run.output.toStdString();
    // The station notices the drop at its next wait; give it that long before looking.
    link.waitIdle();
    EXPECT_EQ(readAll(resto("itrfinv1")), "previous\r\n");

    run = site({"--resto", "000123", "send", dir.path() + "/send.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(readAll(resto("itrfinv1")), installed(records(50, 's')));
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
}

TEST_F(NetworkCallTest, ASecondCallerIsRefusedWhileACallRuns) {
    QTcpSocket first;
    QString host;
    first.connectToHost("127.0.0.1", address.section(':', 2).toUShort());
    ASSERT_TRUE(first.waitForConnected(5000));
    // The station accepts within one poll and stops listening.
    QTcpSocket second;
    bool refused = false;
    for (int attempt = 0; attempt < 100 && !refused; ++attempt) {
        second.connectToHost("127.0.0.1", address.section(':', 2).toUShort());
        if (!second.waitForConnected(2000) ||
            (second.waitForDisconnected(200) && second.state() != QAbstractSocket::ConnectedState))
            refused = second.error() == QAbstractSocket::ConnectionRefusedError;
        second.abort();
    }
    EXPECT_TRUE(refused);
    first.abort();
}

} // namespace
} // namespace dialvane::test

namespace dialvane::test {
namespace {

TEST_F(NetworkCallTest, APortInUseFailsLikeAPortThatCannotBeOpened) {
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    PortRequest request;
    request.portNumber = 5;
    request.device = QStringLiteral("tcp:127.0.0.1:%1").arg(squatter.serverPort());
    QSignalSpy failed(&link, &LinkThread::openFailed);
    QSignalSpy titles(&link, &LinkThread::titleChanged);
    link.reopen(request);
    link.waitIdle();
    ASSERT_TRUE(failed.count() == 1 || failed.wait(5000));
    EXPECT_TRUE(failed.at(0).at(0).toString().contains("COM5"));
    ASSERT_TRUE(titles.count() >= 2 || titles.wait(5000));
    EXPECT_EQ(titles.at(0).at(0).toString(), "FERME/CLOSED");
    EXPECT_EQ(titles.at(1).at(0).toString(), "9600,n,8,1 COM5");
}

// A port that cannot be opened, or that fails while open, is said once and opened again by
// itself as soon as it can be: no person needed.
TEST_F(NetworkCallTest, APortThatFailsIsSaidOnceAndOpensAgainByItself) {
    const quint16 port = address.section(':', 2).toUShort();
    QSignalSpy failedToOpen(&link, &LinkThread::openFailed);
    QSignalSpy failedWhileOpen(&link, &LinkThread::lineFailed);
    QSignalSpy restored(&link, &LinkThread::lineRestored);

    // While open: somebody takes the address during a call; when the call ends the line
    // cannot listen again.
    QTcpSocket caller;
    caller.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(caller.waitForConnected(5000));
    QTcpServer squatter;
    for (QDeadlineTimer deadline(5000); !squatter.listen(QHostAddress::LocalHost, port);)
        ASSERT_FALSE(deadline.hasExpired()) << "the line kept listening during the call";
    caller.abort();
    ASSERT_TRUE(failedWhileOpen.count() == 1 || failedWhileOpen.wait(5000));
    QTest::qWait(300); // several tries at 50 ms: none is said
    EXPECT_EQ(failedWhileOpen.count(), 1);
    EXPECT_EQ(restored.count(), 0);
    squatter.close();
    ASSERT_TRUE(restored.count() == 1 || restored.wait(5000));
    EXPECT_TRUE(restored.at(0).at(0).toString().contains("COM1"));

    // Not even opened: the same, once, then back by itself.
    link.close();
    link.waitIdle();
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port));
    PortRequest request;
    request.device = address;
    request.reopenInterval = Millis(50);
    link.reopen(request);
    link.waitIdle();
    ASSERT_TRUE(failedToOpen.count() == 1 || failedToOpen.wait(5000));
    QTest::qWait(300);
    EXPECT_EQ(failedToOpen.count(), 1);
    squatter.close();
    ASSERT_TRUE(restored.count() == 2 || restored.wait(5000));
    EXPECT_EQ(failedWhileOpen.count(), 1);
}

TEST_F(NetworkCallTest, ClosingThePortDuringACallEndsItAndDropsThePartialFile) {
    writeFile(resto("itrfinv1"), "previous\r\n");
    // A site that sends the header and one block, then stays connected and silent.
    QSignalSpy started(&link, &LinkThread::callStarted);
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", address.section(':', 2).toUShort());
    ASSERT_TRUE(socket.waitForConnected(5000));
    ASSERT_TRUE(started.count() == 1 || started.wait(5000));
    socket.write(BuildBlock("000123S1"));
    ASSERT_TRUE(socket.waitForReadyRead(5000));
    socket.readAll();
    socket.write(BuildBlock("partial"));
    ASSERT_TRUE(socket.waitForReadyRead(5000));
    ASSERT_TRUE(QFile::exists(resto("itrfinv1.tmp")));

    link.close();
    link.waitIdle();
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    EXPECT_EQ(readAll(resto("itrfinv1")), "previous\r\n");
    EXPECT_TRUE(socket.state() != QAbstractSocket::ConnectedState ||
                socket.waitForDisconnected(5000));
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
        for (QDeadlineTimer deadline(5000); beats < target && !deadline.hasExpired();)
            QThread::msleep(10);
        return beats >= target;
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
