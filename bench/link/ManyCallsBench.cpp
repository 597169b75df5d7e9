// Many calls at once on one network line, on loopback, "GDelay" 0. A station (the link thread)
// and the sites share this process; the sites are plain sockets driven from one thread.
//   1. N sites (1, 10, 100) each send 1,000 records at once: aggregate blocks per second, and
//      each block's turnaround (from the block written to its ACK read) at p50 and p99.
//   2. 1,000 connected callers that say nothing: resident memory per call, and CPU while the
//      station waits on them.
//
//   bench_many_calls [--sites 1,10,100] [--silent 1000] [--wait-seconds 10]
#include "LoopbackSupport.h"
#include "link/Block.h"
#include "link/CallFollower.h"
#include "link/LinkThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
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

// One site sending its file, block after block as the ACKs come; a NAKed block goes again.
struct SendingSite {
    int fd = -1;
    QByteArray resto;
    int next = 0; // 0: the header's ACK comes next
    QByteArray last;
    QElapsedTimer sent;
    bool done = false, failed = false;
    int naks = 0;

    void send(const QByteArray& block) {
        last = block;
        sent.start();
        if (::write(fd, block.constData(), block.size()) != block.size())
            failed = done = true;
    }
    // One answer byte; the turnaround of the block it answers goes to `turnarounds`.
    void answered(char c, int records, std::vector<double>& turnarounds) {
        if (c == NAK && ++naks < 20)
            return send(last);
        if (c != ACK) {
            failed = done = true;
            return;
        }
        if (next > 0 && next <= records)
            turnarounds.push_back(sent.nsecsElapsed() / 1e6);
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
    // Before the link: the calls it ends when it goes still report here.
    std::atomic<int> calls{0}; // in progress
    std::mutex mutex;
    CallFollower running; // heard on the calls' own threads
    LinkThread link;

    explicit Station(int maxCalls) {
        QDir().mkpath(dir.path() + "/Logs");
        QObject::connect(
            &link, &LinkThread::event, &link,
            [this](const LinkEvent& event) {
                std::lock_guard lock(mutex);
                if (event.kind == LinkEvent::Kind::CallStarted)
                    running.started(event.call);
                else if (event.kind == LinkEvent::Kind::CallEnded)
                    running.ended(event.call);
                calls = running.running();
            },
            Qt::DirectConnection);
        PortRequest request;
        request.config.BackroomFolder = backroom;
        request.config.LogFolder = dir.path() + "/Logs/";
        request.config.sendDelay = Millis(0);
        request.maxCalls = maxCalls;
        request.maxCallsPerAddress = 0; // every site calls from 127.0.0.1
        port = openLoopbackLine(link, request);
    }
};

// The sites are driven with plain sockets and epoll from one thread, so that they take as
// little of the machine as they can: the figures are the station's.
void concurrentSenders(int sites, int records) {
    Station station(sites + 1);
    std::vector<SendingSite> running(static_cast<std::size_t>(sites));
    for (int i = 0; i < sites; ++i) {
        running[i].resto = QByteArray::number(i + 1).rightJustified(6, '0');
        QDir().mkpath(station.backroom + running[i].resto);
        running[i].fd = connectTo(station.port);
    }
    // Like a modem's CONNECT, a moment for the station to take the calls before the headers.
    QThread::msleep(200);
    std::vector<double> turnarounds;
    turnarounds.reserve(static_cast<std::size_t>(sites) * records);
    QElapsedTimer wall;
    wall.start();
    for (SendingSite& site : running)
        site.send(BuildBlock(site.resto + "S1"));
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
        const int n = ::epoll_wait(events, ready.data(), static_cast<int>(ready.size()), 1000);
        for (int r = 0; r < n; ++r) {
            SendingSite& site = running[ready[r].data.u64];
            if (site.done)
                continue;
            char answers[16];
            const ssize_t got = ::read(site.fd, answers, sizeof answers);
            if (got <= 0)
                site.failed = site.done = true;
            for (ssize_t k = 0; k < got && !site.done; ++k)
                site.answered(answers[k], records, turnarounds);
            if (site.done) {
                --open;
                ::epoll_ctl(events, EPOLL_CTL_DEL, site.fd, nullptr);
            }
        }
    }
    ::close(events);
    const double seconds = wall.nsecsElapsed() / 1e9;
    int failed = 0, naks = 0;
    for (SendingSite& site : running) {
        failed += site.failed;
        naks += site.naks;
        ::close(site.fd);
    }
    std::printf("%3d sites x %d records: %zu blocks in %.3f s = %.0f blocks/s aggregate; "
                "turnaround p50 %.3f ms, p99 %.3f ms; %d NAKs, %d failed\n",
                sites, records, turnarounds.size(), seconds, turnarounds.size() / seconds,
                percentile(turnarounds, 0.5), percentile(turnarounds, 0.99), naks, failed);
}

void silentCallers(int callers, int waitSeconds) {
    Station station(callers + 1);
    QThread::msleep(200);
    const long before = residentKb();
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
    QThread::msleep(500);
    const long during = residentKb();
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max; // two descriptors per silent caller, and some
    setrlimit(RLIMIT_NOFILE, &files);

    QList<int> sites{1, 10, 100};
    int silent = 1000, waitSeconds = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray option = argv[i], value = argv[i + 1];
        if (option == "--sites") {
            sites.clear();
            for (const QByteArray& n : value.split(','))
                sites << n.toInt();
        } else if (option == "--silent") {
            silent = value.toInt();
        } else if (option == "--wait-seconds") {
            waitSeconds = value.toInt();
        }
    }
    for (int n : sites)
        if (n > 0)
            concurrentSenders(n, 1000);
    if (silent > 0)
        silentCallers(silent, waitSeconds);
    return 0;
}
