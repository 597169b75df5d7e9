// Many calls at once on one network line, on loopback. A station (the link thread) and the
// sites share this process; the sites are plain sockets driven from one thread by epoll, so
// they are never late themselves: what is late is the station.
//   1. N sites (1, 10, 100) each send 1,000 records at once, "GDelay" 0: aggregate blocks per
//      second, and each block's turnaround (from the block written to its ACK read) at p50
//      and p99.
//   2. Paced: N sites (1,000) call at once and each sends 20 records with "GDelay" 200, as
//      real sites do: every answer's latency (header, records, end) at p50, p99 and max, set
//      against the delay, and the station's CPU (the process's less the sites' thread). With
//      --service PROGRAM the station is that program (`dialvane`) run as a service instead.
//   3. N connected callers that say nothing (1,000): descriptors and resident memory per call,
//      and CPU while the station waits on them.
//   4. --flood N: N callers (0 unless asked) each send --flood-mb megabytes (100) and never an
//      ETX: the most resident memory while they send, set against the idle station's.
// Every call is from 127.0.0.1: no limit per address. With --tls the line is a tls: line
// with restaurant certificates, and every site's handshake is done before the timing starts.
//
//   bench_many_calls [--sites 1,10,100] [--paced-sites 0] [--gdelay 200] [--records 20]
//                    [--silent 1000] [--wait-seconds 10] [--tls] [--service PROGRAM]
//                    [--flood 0] [--flood-mb 100]
#include "LoopbackSupport.h"
#include "link/Block.h"
#include "link/CallFollower.h"
#include "link/LinkThread.h"
#include "support/TlsCaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

using namespace dialvane;

namespace {

long residentKb() {
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A loopback connection to the station, made before the timing starts.
int connectTo(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The answers' latencies (from the block written to its answer read), in ms, by block.
struct Answers {
    std::vector<double> header, records, end;
};

// One site sending its file, block after block as the ACKs come; a NAKed block goes again.
struct SendingSite {
    int fd = -1;
    std::unique_ptr<test::TlsCaller> tls; // on an encrypted line
    QByteArray resto;
    int next = 0; // 0: the header's ACK comes next
    QByteArray last;
    const QElapsedTimer* clock = nullptr; // the run's, shared by every site
    qint64 sentAt = 0;                    // ns on `clock`
    bool done = false, failed = false;
    int naks = 0;

    void send(const QByteArray& block) {
        last = block;
        sentAt = clock->nsecsElapsed();
        if (tls ? !tls->send(block) : ::write(fd, block.constData(), block.size()) != block.size())
            failed = done = true;
    }
    // One answer byte, read at `arrivedAt` (ns on `clock`); the latency of the block it
    // answers goes to `answers`.
    void answered(char c, int records, Answers& answers, qint64 arrivedAt) {
        if (clock == nullptr) // a NAK for a silence before this site's header: not its answer
            return;
        if (c == NAK && ++naks < 20)
            return send(last);
        if (c != ACK) {
            failed = done = true;
            return;
        }
        const double latency = (arrivedAt - sentAt) / 1e6;
        (next == 0         ? answers.header
         : next <= records ? answers.records
                           : answers.end)
            .push_back(latency);
        if (next < records)
            send(BuildBlock(QByteArray::number(next).leftJustified(100, 'x')));
        else if (next == records)
            send(BuildBlock(kEndMarker));
        else
            done = true;
        ++next;
    }
};

struct Station {
    QTemporaryDir dir;
    QString backroom = dir.path() + "/Backroom/";
    quint16 port = 0;
    std::atomic<int> calls{0}; // in progress
    CallFollower running;      // heard on this thread, as a window or a service hears them
    // Last: gone first, so calls that end as it closes still find what they report to.
    LinkThread link;

    explicit Station(int maxCalls, Millis sendDelay = Millis(0), int restaurants = 0) {
        QDir().mkpath(dir.path() + "/Logs");
        QObject::connect(&link, &LinkThread::event, &link, [this](const LinkEvent& event) {
            if (event.kind == LinkEvent::Kind::CallStarted)
                running.started(event.call);
            else if (event.kind == LinkEvent::Kind::CallEnded)
                running.ended(event.call);
            calls = running.running();
        });
        PortRequest request;
        request.config.BackroomFolder = backroom;
        request.config.LogFolder = dir.path() + "/Logs/";
        request.config.sendDelay = sendDelay;
        request.maxCalls = maxCalls;
        request.maxCallsPerAddress = 0; // every site calls from 127.0.0.1
        if (restaurants > 0 && !encryptLine(request, dir.path(), restaurants))
            std::exit(1);
        port = openLoopbackLine(link, request);
    }
};

// The real program, `dialvane --service`, on a folder of its own: with every subscriber of a
// running station (journal, service log, status file, metrics), its calls' events reach its main
// thread as they do in the field. Its CPU is read from /proc.
struct ServiceStation {
    QTemporaryDir dir;
    QString backroom = dir.path() + "/Backroom/";
    quint16 port = 0;
    QProcess process;

    ServiceStation(const QString& program, int maxCalls, int gdelay) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        QDir().mkpath(dir.path() + "/Logs");
        QFile ini(dir.path() + "/Dialvane.ini");
        ini.open(QIODevice::WriteOnly);
        ini.write(QStringLiteral("[Path]\r\nBackroomPath=%1\r\nLogPath=%2/Logs/\r\n[Global]\r\n"
                                 "GDelay=%3\r\n[Ports]\r\nCOM1=tcp:127.0.0.1:%4\r\n[Network]\r\n"
                                 "MaxCalls=%5\r\nMaxCallsPerAddress=0\r\nBlockAfter=0\r\n")
                      .arg(backroom, dir.path())
                      .arg(gdelay)
                      .arg(port)
                      .arg(maxCalls)
                      .toLatin1());
        ini.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/xdg");
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(dir.path() + "/service.log");
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {"--service", "--config-dir", dir.path()});
        for (int i = 0; i < 100; ++i) { // until it listens
            const int fd = connectTo(port);
            if (fd >= 0) {
                ::close(fd);
                return;
            }
            QThread::msleep(100);
        }
        std::printf("the service did not listen on %u\n", port);
        std::exit(1);
    }
    ~ServiceStation() {
        process.terminate();
        process.waitForFinished(10000);
    }
    double cpuSeconds() const { return cpuOf(QStringLiteral("/proc/%1/stat")); }
    // The connections it holds: its calls, and its listener.
    int connections() const {
        int sockets = 0;
        for (const auto& fd : std::filesystem::directory_iterator(
                 QStringLiteral("/proc/%1/fd").arg(process.processId()).toStdString()))
            sockets += std::filesystem::read_symlink(fd.path()).string().starts_with("socket:");
        return sockets - 1;
    }
    // The service's main thread: its event loop, where every subscriber hears the link.
    double mainThreadCpuSeconds() const { return cpuOf(QStringLiteral("/proc/%1/task/%1/stat")); }
    double cpuOf(const QString& statPattern) const {
        const QList<QByteArray> fields = readAll(statPattern.arg(process.processId())).split(' ');
        return fields.size() > 15
                   ? (fields[13].toDouble() + fields[14].toDouble()) / ::sysconf(_SC_CLK_TCK)
                   : 0;
    }
    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

// The sites are driven with plain sockets and epoll from one thread, so that they take as
// little of the machine as they can: the figures are the station's. With `program`, the
// station is that program run as a service rather than the link in this process.
void concurrentSenders(int sites, int records, int gdelay = 0, bool tls = false,
                       const QString& program = {}) {
    const bool paced = gdelay > 0;
    std::unique_ptr<ServiceStation> service;
    std::unique_ptr<Station> inProcess;
    if (program.isEmpty())
        inProcess = std::make_unique<Station>(sites + 1, Millis(gdelay), tls ? sites : 0);
    else
        service = std::make_unique<ServiceStation>(program, sites + 1, gdelay);
    struct {
        QString backroom;
        quint16 port;
        QTemporaryDir& dir;
    } station{inProcess ? inProcess->backroom : service->backroom,
              inProcess ? inProcess->port : service->port,
              inProcess ? inProcess->dir : service->dir};
    const auto stationCpuSeconds = [&] {
        return inProcess ? cpuSeconds() - threadCpuSeconds() : service->cpuSeconds();
    };
    std::vector<SendingSite> running(static_cast<std::size_t>(sites));
    QElapsedTimer handshakes;
    handshakes.start();
    for (int i = 0; i < sites; ++i) {
        running[i].resto = QByteArray::number(i + 1).rightJustified(6, '0');
        QDir().mkpath(station.backroom + running[i].resto);
        if (!tls) {
            running[i].fd = connectTo(station.port);
            continue;
        }
        const QString pki = station.dir.path() + "/";
        running[i].tls = std::make_unique<test::TlsCaller>(
            pki + "ca.crt", pki + running[i].resto + ".crt", pki + running[i].resto + ".key");
        if (!running[i].tls->call(station.port))
            std::printf("site %d: handshake failed\n", i + 1);
        running[i].fd = running[i].tls->descriptor();
    }
    if (tls)
        std::printf("%d sites: handshakes one after another in %.3f s\n", sites,
                    handshakes.nsecsElapsed() / 1e9);
    // Like a modem's CONNECT: the station has taken every call before the headers come.
    const auto taken = [&] { return inProcess ? inProcess->calls.load() : service->connections(); };
    if (!QTest::qWaitFor([&] { return taken() >= sites; }, 60000))
        std::printf("only %d of %d sites became calls\n", taken(), sites);
    QThread::msleep(200);
    Answers answers;
    answers.records.reserve(static_cast<std::size_t>(sites) * records);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = stationCpuSeconds();
    const double mainCpuBefore = service ? service->mainThreadCpuSeconds() : 0;
    const double sitesCpuBefore = threadCpuSeconds();
    // Paced sites call within one send delay of each other, as sites calling at once do, not
    // in the same microsecond: the first header at once, the last one a send delay later.
    const auto headerDue = [&](int i) {
        return paced ? static_cast<qint64>(i) * gdelay * 1000000 / sites : 0;
    };
    int headersSent = 0;
    const auto sendDueHeaders = [&] {
        for (; headersSent < sites && headerDue(headersSent) <= wall.nsecsElapsed();
             ++headersSent) {
            SendingSite& site = running[static_cast<std::size_t>(headersSent)];
            site.clock = &wall;
            site.send(BuildBlock(site.resto + "S1"));
        }
    };
    sendDueHeaders();
    const int events = ::epoll_create1(0);
    for (std::size_t i = 0; i < running.size(); ++i) {
        epoll_event watched{};
        watched.events = EPOLLIN;
        watched.data.u64 = i;
        ::epoll_ctl(events, EPOLL_CTL_ADD, running[i].fd, &watched);
    }
    int open = sites;
    std::vector<epoll_event> ready(running.size());
    while (open > 0 && wall.elapsed() < 600000) {
        const int wait =
            headersSent < sites
                ? static_cast<int>(std::max<qint64>(
                      0, (headerDue(headersSent) - wall.nsecsElapsed() + 999999) / 1000000))
                : 1000;
        const int n = ::epoll_wait(events, ready.data(), static_cast<int>(ready.size()), wait);
        // Every answer of this round arrived by now: the sites' own work on the ones before
        // does not count against the station.
        const qint64 arrivedAt = wall.nsecsElapsed();
        sendDueHeaders();
        for (int r = 0; r < n; ++r) {
            SendingSite& site = running[ready[r].data.u64];
            if (site.done)
                continue;
            QByteArray bytes(16, '\0');
            if (site.tls) {
                bytes = site.tls->read(0); // a ticket from the station decrypts to nothing
            } else {
                const ssize_t got = ::read(site.fd, bytes.data(), bytes.size());
                bytes.resize(std::max<ssize_t>(got, 0));
                if (got <= 0)
                    site.failed = site.done = true;
            }
            for (qsizetype k = 0; k < bytes.size() && !site.done; ++k)
                site.answered(bytes[k], records, answers, arrivedAt);
            if (site.done) {
                --open;
                ::epoll_ctl(events, EPOLL_CTL_DEL, site.fd, nullptr);
            }
        }
    }
    ::close(events);
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double sitesCpu = threadCpuSeconds() - sitesCpuBefore;
    const double stationCpu = stationCpuSeconds() - cpuBefore;
    const double mainCpu = service ? service->mainThreadCpuSeconds() - mainCpuBefore : 0;
    int failed = 0, naks = 0;
    for (SendingSite& site : running) {
        failed += site.failed;
        naks += site.naks;
        if (!site.tls)
            ::close(site.fd);
    }
    if (paced) {
        std::printf("%d paced sites x %d records, GDelay %d ms, in %.3f s: station CPU %.2f s "
                    "= %.1f%% of one core (sites' thread %.2f s); %d NAKs, %d failed\n",
                    sites, records, gdelay, seconds, stationCpu, 100.0 * stationCpu / seconds,
                    sitesCpu, naks, failed);
        if (service)
            std::printf("  of which the service's main thread %.2f s = %.1f%% of one core\n",
                        mainCpu, 100.0 * mainCpu / seconds);
        std::vector<double> all = answers.header;
        all.insert(all.end(), answers.records.begin(), answers.records.end());
        all.insert(all.end(), answers.end.begin(), answers.end.end());
        const std::pair<const char*, const std::vector<double>*> kinds[] = {
            {"header", &answers.header},
            {"records", &answers.records},
            {"end", &answers.end},
            {"all", &all}};
        for (const auto& [name, latencies] : kinds) {
            const double p50 = percentile(*latencies, 0.5), p99 = percentile(*latencies, 0.99);
            const double worst = percentile(*latencies, 1.0);
            std::printf("  %-7s %6zu answers: p50 %.1f ms (+%.1f), p99 %.1f ms (+%.1f), max %.1f "
                        "ms (+%.1f)\n",
                        name, latencies->size(), p50, p50 - gdelay, p99, p99 - gdelay, worst,
                        worst - gdelay);
        }
        return;
    }
    std::printf("%s%3d sites x %d records: %zu blocks in %.3f s = %.0f blocks/s aggregate; "
                "turnaround p50 %.3f ms, p99 %.3f ms; %d NAKs, %d failed\n",
                tls ? "tls: " : "", sites, records, answers.records.size(), seconds,
                answers.records.size() / seconds, percentile(answers.records, 0.5),
                percentile(answers.records, 0.99), naks, failed);
}

// `callers` connections to the station, once each has become a call; fewer when a connect
// failed, which is said.
std::vector<int> connectCallers(Station& station, int callers) {
    std::vector<int> sockets;
    for (int i = 0; i < callers; ++i) {
        const int fd = connectTo(station.port);
        if (fd < 0) {
            std::printf("connect %d failed\n", i);
            break;
        }
        sockets.push_back(fd);
    }
    if (!QTest::qWaitFor([&] { return station.calls == static_cast<int>(sockets.size()); }, 60000))
        std::printf("not every caller became a call within a minute\n");
    return sockets;
}

void silentCallers(int callers, int waitSeconds) {
    Station station(callers + 1);
    QThread::msleep(200);
    const long before = residentKb();
    const int descriptorsBefore = openDescriptors();
    const std::vector<int> sockets = connectCallers(station, callers);
    QThread::msleep(500);
    const long during = residentKb();
    // Each caller's own socket is in this process too: one descriptor of each is the site's.
    const int descriptorsDuring = openDescriptors();
    const double perCaller = static_cast<double>(descriptorsDuring - descriptorsBefore) /
                             std::max<std::size_t>(1, sockets.size());
    std::printf("%d silent callers: descriptors %d -> %d = %.2f per caller, %.2f of them the "
                "station's\n",
                static_cast<int>(sockets.size()), descriptorsBefore, descriptorsDuring, perCaller,
                perCaller - 1);
    const double cpuBefore = cpuSeconds();
    QThread::sleep(static_cast<unsigned long>(waitSeconds)); // this thread takes no CPU
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("%d silent callers (%d calls in progress): resident %ld KB -> %ld KB = %.1f KB "
                "per call; CPU over %d s while they wait %.3f s = %.2f%% of one core\n",
                static_cast<int>(sockets.size()), station.calls.load(), before, during,
                static_cast<double>(during - before) / std::max<std::size_t>(1, sockets.size()),
                waitSeconds, cpu, 100.0 * cpu / waitSeconds);
    for (int fd : sockets)
        ::close(fd);
}

// Each caller's bytes go as fast as the station takes them; what it has not taken waits in the
// kernel's buffers, so only the station's own buffers can make its memory grow.
void floodingCallers(int callers, int megabytes) {
    Station station(callers + 1);
    QThread::msleep(200);
    const long idle = residentKb();
    const qint64 total = qint64(megabytes) * 1024 * 1024;
    const QByteArray chunk(64 * 1024, 'x');
    const std::vector<int> sockets = connectCallers(station, callers);
    std::vector<qint64> sent(sockets.size(), 0);
    int cut = 0; // callers the station hung up on
    long peak = idle;
    QElapsedTimer clock;
    clock.start();
    for (bool more = true; more && clock.elapsed() < 600000;) {
        more = false;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if (sent[i] >= total)
                continue;
            more = true;
            pollfd ready{sockets[i], POLLOUT, 0};
            if (::poll(&ready, 1, 10) != 1)
                continue;
            const auto n = ::send(sockets[i], chunk.constData(), chunk.size(), MSG_NOSIGNAL);
            if (n > 0)
                sent[i] += n;
            else {
                ++cut;
                sent[i] = total; // sends no more
            }
        }
        peak = std::max(peak, residentKb());
    }
    QCoreApplication::processEvents(); // the calls that ended while this thread sent
    std::printf("%d callers flooding %d MB each without an ETX (%d cut off, %.1f s, %d calls in "
                "progress): resident %ld KB idle, %ld KB at the most = %+ld KB\n",
                static_cast<int>(sockets.size()), megabytes, cut, clock.elapsed() / 1000.0,
                station.calls.load(), idle, peak, peak - idle);
    for (int fd : sockets)
        ::close(fd);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    // The sites' sockets are in this process too: two descriptors per call, and some.
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    QList<int> sites{1, 10, 100};
    int silent = 1000, waitSeconds = 10, pacedSites = 0, gdelay = 200, records = 20;
    int flood = 0, floodMegabytes = 100;
    bool tls = false;
    QString program; // the station as this program's service, for the paced run
    for (int i = 1; i < argc; ++i) {
        const QByteArray option = argv[i], value = i + 1 < argc ? argv[i + 1] : "";
        if (option == "--tls")
            tls = true;
        if (option == "--sites") {
            sites.clear();
            for (const QByteArray& n : value.split(','))
                sites << n.toInt();
        } else if (option == "--silent") {
            silent = value.toInt();
        } else if (option == "--wait-seconds") {
            waitSeconds = value.toInt();
        } else if (option == "--paced-sites") {
            pacedSites = value.toInt();
        } else if (option == "--gdelay") {
            gdelay = value.toInt();
        } else if (option == "--records") {
            records = value.toInt();
        } else if (option == "--flood") {
            flood = value.toInt();
        } else if (option == "--flood-mb") {
            floodMegabytes = value.toInt();
        } else if (option == "--service") {
            program = QString::fromLocal8Bit(value);
        }
    }
    for (int n : sites)
        if (n > 0)
            concurrentSenders(n, 1000, 0, tls);
    if (pacedSites > 0)
        concurrentSenders(pacedSites, records, gdelay, tls, program);
    if (silent > 0)
        silentCallers(silent, waitSeconds);
    if (flood > 0)
        floodingCallers(flood, floodMegabytes);
    return 0;
}
