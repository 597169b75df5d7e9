// The real station under attack on loopback: more callers than it has descriptors for,
// callers that flood it, and the reports over a journal a crash and garbage have damaged.
#include "StationProcess.h"
#include "common/EightBitText.h"
#include "journal/Journal.h"
#include "settings/INIFunctions.h"

#include <QTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

namespace dialvane::test {
namespace {

using AttackProcess = StationProcessTest;

// A connection of the test's own to the station, made at once (the station accepts later).
int connectRaw(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

#ifndef __SANITIZE_ADDRESS__
long residentKb(qint64 pid) {
    const QByteArray status = readAll(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("VmRSS:");
    return at < 0 ? -1
                  : status.mid(at + 6, status.indexOf('\n', at) - at - 6)
                        .trimmed()
                        .split(' ')[0]
                        .toLong();
}
#endif

// 400 silent callers against a station limited to 256 descriptors and told it may take 2,000
// calls: it lowers MaxCalls to what it can serve, turns the rest away, and once they are gone
// answers a real call. Then four callers that send 100 MB each and never an ETX cost it no more
// than their bounded buffers: its memory stays within 8 MB of what it was idle. (Not under the
// sanitizers, which keep freed memory aside on purpose.)
TEST_F(AttackProcess, AStationShortOfDescriptorsTurnsCallersAwayAndFloodsCostNoMoreThanBuffers) {
    StationProcess service = station("station");
    WritePrivateProfileString("Network", "MaxCalls", "2000", service.ini());
    WritePrivateProfileString("Network", "MaxCallsPerAddress", "0", service.ini());
    service.process().setChildProcessModifier([] {
        const rlimit scarce{256, 256};
        ::setrlimit(RLIMIT_NOFILE, &scarce);
    });
    service.start();
    RawSite probe;
    ASSERT_TRUE(probe.connectTo(service.port()));
    probe.hangUp();

    std::vector<int> silent;
    for (int i = 0; i < 400; ++i)
        if (const int fd = connectRaw(service.port()); fd >= 0)
            silent.push_back(fd);
    ASSERT_EQ(silent.size(), 400u);
    // The station closes every caller beyond the calls its descriptors allow.
    const auto closedByStation = [&] {
        int closed = 0;
        for (int fd : silent) {
            pollfd p{fd, POLLIN, 0};
            char byte = 0;
            closed += ::poll(&p, 1, 0) == 1 && ::recv(fd, &byte, 1, MSG_PEEK) == 0;
        }
        return closed;
    };
    const int allowed = (256 - 64) / 4;
    EXPECT_TRUE(QTest::qWaitFor([&] { return closedByStation() == 400 - allowed; }, 20000))
        << closedByStation();
    EXPECT_EQ(service.process().state(), QProcess::Running);
    for (int fd : silent)
        ::close(fd);

    RawSite site;
    ASSERT_TRUE(site.connectTo(service.port()));
    EXPECT_TRUE(site.sendFile({"z"}));
    EXPECT_EQ(readAll(resto("itrfinv1")), fields({"z"}));
    site.hangUp();
#ifndef __SANITIZE_ADDRESS__
    const long idle = residentKb(service.process().processId());
    constexpr qint64 kFlood = 100LL * 1024 * 1024;
    std::vector<int> floods;
    std::vector<qint64> sent(4, 0);
    for (int i = 0; i < 4; ++i)
        floods.push_back(connectRaw(service.port()));
    const QByteArray chunk(64 * 1024, 'x');
    long peak = idle;
    for (QDeadlineTimer deadline(60000); !deadline.hasExpired();) {
        bool more = false;
        for (size_t i = 0; i < floods.size(); ++i) {
            if (sent[i] >= kFlood)
                continue;
            more = true;
            pollfd p{floods[i], POLLOUT, 0};
            if (::poll(&p, 1, 10) == 1) {
                const auto n = ::send(floods[i], chunk.constData(), chunk.size(), MSG_NOSIGNAL);
                if (n <= 0) {
                    ADD_FAILURE() << "flood " << i << " cut after " << sent[i] << " bytes";
                    sent[i] = kFlood;
                } else
                    sent[i] += n;
            }
        }
        peak = std::max(peak, residentKb(service.process().processId()));
        if (!more)
            break;
    }
    for (qint64 s : sent)
        EXPECT_GE(s, kFlood);
    peak = std::max(peak, residentKb(service.process().processId()));
    EXPECT_LE(peak - idle, 8 * 1024) << "idle " << idle << " KB, peak " << peak << " KB";
    for (int fd : floods)
        ::close(fd);
    EXPECT_EQ(service.process().state(), QProcess::Running);
#endif
    service.process().terminate();
    service.process().waitForFinished(10000);
    const QByteArray log = service.process().readAll();
    EXPECT_TRUE(log.contains("MaxCalls=2000 is more than the 256 descriptors"))
        << log.left(2000).toStdString();
}

// A journal with 200 KB of random bytes in it: the reports count the
// real rows only, say on stderr how many rows of which file they skipped, exit 1, and --csv
// passes no control character on.
TEST_F(AttackProcess, ReportsOverADamagedJournalCountTheRealRowsAndSayWhatTheySkipped) {
    StationProcess service = station("station");
    const QDateTime start = QDateTime::currentDateTime().addSecs(-60);
    const auto call = [&](int resto, bool completed) {
        journal::Entry e;
        e.start = start;
        e.restaurant = QByteArray::number(resto).rightJustified(6, '0');
        e.direction = "receive";
        e.bytes = 100;
        e.outcome = completed ? "completed" : "failed";
        e.reason = completed ? "" : "Cannot write itrfinv1.tmp, twice";
        return e;
    };
    for (int resto = 100; resto < 110; ++resto) {
        QDir().mkpath(backroom + QString::number(resto).rightJustified(6, '0'));
        journal::append(logs, call(resto, resto < 105));
    }
    const QString path = journal::journalFiles(logs).at(0).path;
    journal::append(logs, call(106, false));
    std::mt19937 random(22);
    QByteArray garbage(200 * 1024, '\0');
    for (char& byte : garbage)
        byte = static_cast<char>(random() & 0xFF);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(garbage);
    }
    journal::append(logs, call(107, false));
    qint64 damaged = 0; // every line of garbage that is not blank
    for (QByteArray line : garbage.split('\n'))
        damaged += !(line.endsWith('\r') ? line.chopped(1) : line).isEmpty();

    // Each report exits 1 and says what it skipped.
    const auto report = [&](const QStringList& arguments) {
        const Ran ran =
            run(DIALVANE_PROGRAM, arguments + QStringList{"--config-dir", service.folder()});
        EXPECT_EQ(ran.status, 1) << arguments.join(' ').toStdString();
        EXPECT_EQ(ran.err, "Skipped " + QByteArray::number(damaged) +
                               " damaged rows of the call journal " + path.toUtf8() +
                               " (a row torn by a crash, or bytes that are no row).\n");
        return ran.out;
    };
    QByteArray out = report({"calls"});
    EXPECT_TRUE(out.endsWith("\n12 calls, 5 completed, 7 failed, 1200 bytes\n"))
        << out.toStdString();
    out = report({"calls", "--csv"});
    EXPECT_EQ(out.count('\n'), 13);                  // the header and the 12 calls
    EXPECT_EQ(QString::fromUtf8(out).toUtf8(), out); // UTF-8 throughout
    for (const QChar c : QString::fromUtf8(out))
        ASSERT_TRUE(c == QLatin1Char('\n') || !isControlCharacter(c.unicode()))
            << static_cast<int>(c.unicode());
    out = report({"overdue"});
    EXPECT_TRUE(out.endsWith("\n6 of 11 restaurants sent no file in the last 1 day.\n"))
        << out.toStdString();
}

} // namespace
} // namespace dialvane::test
