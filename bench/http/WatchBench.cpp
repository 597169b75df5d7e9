// Figures of the HTTP endpoint and the hook queue, in process, on loopback.
//   bench_watch page [RESTAURANTS ROWS REQUESTS]   (5000 150000 100)
//       the status page and /metrics of a station with that many restaurants and a month of
//       that many journal rows: start-up seeding time, then each request's time to the last
//       byte, p50 / p99 / max
//   bench_watch hooks [ENTRIES]                     (10000)
//       a queue file of that many hooks (/bin/true, 100 restaurants) drained at HookParallel 2:
//       time, and the process's peak resident memory
#include "http/HttpEndpoint.h"
#include "journal/Journal.h"
#include "link/LinkThread.h"
#include "settings/INIFunctions.h"
#include "station/Hooks.h"
#include "station/Station.h"
#include "support/MemoryRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace dialvane;

namespace {

long statusKb(const char* key) {
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    return 0;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One GET on a fresh connection, read to its end: milliseconds, and the body's size.
double timedGet(quint16 port, const char* path, qint64* size) {
    QElapsedTimer clock;
    clock.start();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const QByteArray request = QByteArray("GET ") + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
    if (::write(fd, request.constData(), request.size()) != request.size()) {
        ::close(fd);
        return -1;
    }
    QByteArray bytes;
    qint64 wanted = -1;
    char buffer[65536];
    while (wanted < 0 || bytes.size() < wanted) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
        const qsizetype end = bytes.indexOf("\r\n\r\n");
        if (wanted < 0 && end >= 0) {
            const qsizetype at = bytes.indexOf("Content-Length: ");
            wanted = end + 4 + bytes.mid(at + 16, bytes.indexOf('\r', at) - at - 16).toLongLong();
        }
    }
    ::close(fd);
    *size = bytes.size();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

int page(int restaurants, int rows, int requests) {
    QTemporaryDir dir;
    const QString backroom = dir.filePath("Backroom/"), logs = dir.filePath("Logs/");
    QDir().mkpath(logs);
    for (int r = 0; r < restaurants; ++r) {
        const QString folder = backroom + QString::number(100000 + r);
        QDir().mkpath(folder);
        QFile(folder + "/trfbru1").open(QIODevice::WriteOnly);
    }
    // A month of rows, written as the journal writes them.
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime monthStart(QDate(now.date().year(), now.date().month(), 1), QTime(0, 0));
    QFile journalFile(logs + journal::journalFileName(now.date()));
    journalFile.open(QIODevice::WriteOnly);
    journalFile.write(journal::headerLine());
    const qint64 span = std::max<qint64>(1, monthStart.secsTo(now));
    for (int i = 0; i < rows; ++i) {
        journal::Entry e;
        e.start = monthStart.addSecs(span * i / rows);
        e.seconds = 3.2;
        e.port = "COM1";
        e.device = "tcp:127.0.0.1:5001";
        e.peer = "127.0.0.1";
        e.restaurant = QByteArray::number(100000 + i % restaurants);
        e.transaction = i % 3 ? "S" : "X";
        e.type = "1";
        e.direction = i % 3 ? "receive" : "send";
        e.files << (i % 3 ? "itrfinv1" : "trfloc");
        e.records = 200;
        e.bytes = 200 * 126;
        e.outcome = i % 50 ? "completed" : "failed";
        if (i % 50 == 0)
            e.reason = "Cannot open trfloc";
        journalFile.write(journal::rowLine(e));
    }
    journalFile.close();

    const quint16 http = freePort();
    const QString ini = dir.filePath("Dialvane.ini");
    WritePrivateProfileString("Path", "BackroomPath", backroom, ini);
    WritePrivateProfileString("Path", "LogPath", logs, ini);
    WritePrivateProfileString("Ports", "COM1", QString("tcp:127.0.0.1:%1").arg(freePort()), ini);
    WritePrivateProfileString("Http", "Listen", QString("127.0.0.1:%1").arg(http), ini);
    test::MemoryRegistry registry;
    LinkThread link;
    StationContext context;
    context.programFolder = dir.path();
    context.link = &link;
    context.registry = &registry;
    Station station(context);
    HttpEndpoint endpoint(station);
    QElapsedTimer seeding;
    seeding.start();
    station.start();
    while (endpoint.port() == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    std::printf("%d restaurants, %d journal rows: listening after %lld ms (seeding included), "
                "resident %.1f MB\n",
                restaurants, rows, static_cast<long long>(seeding.elapsed()),
                statusKb("VmRSS:") / 1024.0);

    for (const char* path : {"/", "/metrics"}) {
        std::vector<double> times;
        qint64 size = 0;
        std::atomic<bool> finished{false};
        std::thread client([&] {
            for (int i = 0; i < requests; ++i)
                times.push_back(timedGet(http, path, &size));
            finished = true;
        });
        while (!finished)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        client.join();
        std::sort(times.begin(), times.end());
        const auto at = [&](double q) {
            return times[std::min<size_t>(times.size() - 1, static_cast<size_t>(q * times.size()))];
        };
        std::printf("GET %-8s %d requests, %lld bytes: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                    path, requests, static_cast<long long>(size), at(0.5), at(0.99), times.back());
    }
    return 0;
}

int hooks(int entries) {
    QTemporaryDir dir;
    const QString backroom = dir.filePath("Backroom/");
    for (int r = 0; r < 100; ++r)
        QDir().mkpath(backroom + QString::number(100000 + r));
    const QString queueFile = dir.filePath("Dialvane-hooks.queue");
    {
        // Queued while no hook may run, as a station down for a while would leave them.
        HookQueue writer(queueFile);
        HookSettings none;
        none.parallel = 0;
        writer.configure(none);
        for (int i = 0; i < entries; ++i) {
            HookJob job;
            job.hook = "OnReceived";
            job.command = "/bin/true";
            job.restaurant = QString::number(100000 + i % 100);
            job.transaction = "S";
            job.type = "1";
            job.folder = backroom + job.restaurant + "/";
            job.files << job.folder + "itrfinv1";
            job.line = "COM1";
            writer.enqueue(job);
        }
    }
    std::printf("queue file of %d hooks: %lld bytes; resident before draining %.1f MB\n", entries,
                static_cast<long long>(QFileInfo(queueFile).size()), statusKb("VmRSS:") / 1024.0);
    HookQueue queue(queueFile);
    int done = 0, failed = 0;
    QObject::connect(&queue, &HookQueue::finished, [&](const HookRun& run) {
        ++done;
        failed += run.ok() ? 0 : 1;
    });
    QElapsedTimer clock;
    clock.start();
    HookSettings settings;
    settings.parallel = 2;
    queue.configure(settings);
    long peak = 0;
    while (queue.pending() > 0) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        peak = std::max(peak, statusKb("VmRSS:"));
    }
    std::printf("drained %d hooks (%d failed) in %.1f s; resident at most %.1f MB while "
                "draining (peak of the process %.1f MB); queue file left %lld bytes\n",
                done, failed, clock.elapsed() / 1000.0, peak / 1024.0, statusKb("VmHWM:") / 1024.0,
                static_cast<long long>(QFileInfo(queueFile).size()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == "page")
        return page(args.value(2, "5000").toInt(), args.value(3, "150000").toInt(),
                    args.value(4, "100").toInt());
    if (mode == "hooks")
        return hooks(args.value(2, "10000").toInt());
    std::fprintf(stderr, "usage: bench_watch page [RESTAURANTS ROWS REQUESTS] | hooks [ENTRIES]\n");
    return 2;
}
