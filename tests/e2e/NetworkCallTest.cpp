// Real processes, real sockets, real time: dialvane-site calls a station's network line, and
// the link thread opens, closes and tries its port again.
#include "NetworkCallFixture.h"
#include "support/TlsCaller.h"

#include <map>

#include <sys/resource.h>
#include <unistd.h>

namespace dialvane::test {
namespace {

// Calls on a network line run side by side, each its own: ten sites send at once while
// another call of 000123 waits silent in the middle of its file; a second call of 000123 is
// busy and leaves that file alone; a site that drops its carrier halfway loses only its call;
// a TLS client is told apart from a garbled header at once, not after the silences of a block.
TEST_F(NetworkCallTest, ManySitesCallAtOnceAndEachCallStandsAlone) {
    writeFile(resto("itrfinv1"), "previous\r\n");
    RawSite holder;
    ASSERT_TRUE(holder.connectTo(port()));
    ASSERT_TRUE(holder.exchange(kSendHeader) && holder.sendRecords(records(3, 'h')));

    const auto start = [&](const QString& resto, const QStringList& options, int count) {
        QDir().mkpath(backroom + resto);
        writeFile(backroom + resto + "/itrfinv1", "previous\r\n");
        const QString input = dir.filePath(resto + ".txt");
        writeFile(input, asText(records(count, static_cast<char>('a' + resto.toInt() % 10))));
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(DIALVANE_SITE, QStringList{"--line", address, "--resto", resto} + options +
                                          QStringList{"send", input});
        return process;
    };
    std::vector<std::unique_ptr<QProcess>> sites;
    for (int i = 1; i <= 10; ++i)
        sites.push_back(start(QString("0002%1").arg(i, 2, 10, QChar('0')), {}, 300));
    const auto dropper = start("000300", {"--drop-after-bytes", "2000"}, 300);
    const auto second = start("000123", {}, 5);
    for (auto* process : {dropper.get(), second.get()})
        ASSERT_TRUE(process->waitForFinished(60000));
    for (int i = 1; i <= 10; ++i) {
        QProcess& site = *sites[i - 1];
        ASSERT_TRUE(site.waitForFinished(60000));
        EXPECT_EQ(site.exitCode(), 0) << site.readAll().toStdString();
        EXPECT_EQ(readAll(backroom + QString("0002%1/itrfinv1").arg(i, 2, 10, QChar('0'))),
                  fields(records(300, static_cast<char>('a' + (200 + i) % 10))))
            << i;
    }
    EXPECT_EQ(readAll(backroom + "000300/itrfinv1"), "previous\r\n");
    EXPECT_FALSE(QFile::exists(backroom + "000300/itrfinv1.tmp"));
    EXPECT_NE(second->exitCode(), 0);
    EXPECT_EQ(readAll(resto("itrfinv1")), "previous\r\n");

    TlsCaller tlsClient{QString()};
    EXPECT_FALSE(tlsClient.call(port()));
    ASSERT_TRUE(holder.sendRecords(records(2, 'j')) && holder.exchange(BuildBlock(kEndMarker)));
    EXPECT_EQ(readAll(resto("itrfinv1")), fields(records(3, 'h') + records(2, 'j')));
    holder.hangUp();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return heard.count(LinkEvent::Kind::CallEnded) == 14; }, 10000));
    std::map<CallOutcome, QStringList> outcomes;
    for (const CallSummary& call : heard.ended()) {
        outcomes[call.outcome] << (call.outcome == CallOutcome::Refused
                                       ? call.reason
                                       : QString::fromLatin1(call.restoNum));
        EXPECT_TRUE(call.peer.startsWith("127.0.0.1:")) << call.peer.toStdString();
    }
    EXPECT_EQ(outcomes[CallOutcome::Completed].size(), 11);
    EXPECT_EQ(outcomes[CallOutcome::Dropped], QStringList{"000300"});
    EXPECT_EQ(outcomes[CallOutcome::Busy], QStringList{"000123"});
    EXPECT_EQ(outcomes[CallOutcome::Refused],
              QStringList{"the caller began a TLS handshake on a tcp: line (it should call a "
                          "tls: line)"});
}

// A station out of descriptors turns the caller it cannot take away and lives on; a port that
// cannot be opened is said once and opened again by itself as soon as it can be. A supervisor's
// watchdog is fed from the link thread itself, with the port open or closed: a worker stuck in a
// call or a wait stops the beats and gets the station restarted.
TEST_F(NetworkCallTest, ACallerBeyondTheDescriptorsIsTurnedAwayAndAPortTriesAgainAndBeats) {
    using Kind = LinkEvent::Kind;
    std::atomic<int> beats{0};
    std::atomic<bool> onTheLinkThread{true};
    QThread* mainThread = QThread::currentThread();
    link.setHeartbeat(
        [&] {
            ++beats;
            onTheLinkThread = onTheLinkThread && QThread::currentThread() != mainThread;
        },
        Millis(20));
    const auto threeMore = [](const std::atomic<int>& count) {
        const int target = count + 3;
        return QTest::qWaitFor([&] { return count >= target; }, 5000);
    };
    EXPECT_TRUE(threeMore(beats)) << "serving an open line";
    const auto cannotOpen = LinkEvent::PortFailure::CannotOpen,
               whileOpen = LinkEvent::PortFailure::FailedWhileOpen;
    const auto restored = [&] {
        qsizetype n = 0;
        for (const LinkEvent& e : heard.of(Kind::PortOpened))
            n += e.restored;
        return n;
    };

    // While open: the process runs out of descriptors and no caller can be accepted. The line
    // turns that caller away with its spare descriptor rather than spin on it or close, and
    // answers the next caller once descriptors are back. (Not under the sanitizers: their own
    // checks need descriptors in that moment.)
#ifndef __SANITIZE_ADDRESS__
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    rlimit scarce = saved;
    scarce.rlim_cur = static_cast<rlim_t>(lowestFree) + 1; // the caller's socket, nothing more
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &scarce), 0);
    QTcpSocket caller;
    caller.connectToHost(QHostAddress::LocalHost, port());
    const bool turnedAway = heard.waitFor(1, Kind::CallEnded);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(turnedAway);
    const CallSummary shed = heard.ended()[0];
    EXPECT_EQ(shed.outcome, CallOutcome::Busy);
    EXPECT_EQ(shed.reason, "no descriptor left for another call on COM1");
    RawSite next;
    EXPECT_TRUE(next.connectTo(port()) && next.exchange(kSendHeader));
    next.hangUp();
    EXPECT_EQ(heard.count(Kind::PortClosed, whileOpen), 0);
#endif

    // Not even opened: the same, once, then back by itself.
    const qsizetype restoredEarlier = restored(),
                    failedEarlier = heard.count(Kind::PortClosed, whileOpen);
    link.close();
    link.waitIdle();
    EXPECT_TRUE(threeMore(beats)) << "with the port closed";
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port()));
    PortRequest request;
    request.portNumber = 5;
    request.device = address;
    request.reopenInterval = Millis(50);
    link.reopen(request);
    ASSERT_TRUE(heard.waitFor(1, Kind::PortClosed, cannotOpen));
    EXPECT_TRUE(heard.of(Kind::PortClosed, cannotOpen)[0].text.contains("COM5"));
    ASSERT_TRUE(threeMore(opens)); // several tries at 50 ms, none of them said
    EXPECT_EQ(heard.count(Kind::PortClosed, cannotOpen), 1);
    squatter.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return restored() == restoredEarlier + 1; }, 5000));
    EXPECT_EQ(heard.count(Kind::PortClosed, whileOpen), failedEarlier);
    EXPECT_TRUE(onTheLinkThread);
    link.setHeartbeat({}, Millis(0));
}

} // namespace
} // namespace dialvane::test
