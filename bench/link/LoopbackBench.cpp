// Whole-station figures on loopback: a station (the link thread on a network line) and a
// plain TCP site in one process. Prints blocks per second each way, the station's turnaround
// from the last byte of a block to its answer, its CPU time while idle and while waiting
// through a silence, and the measured send delay with "GDelay" 200.
//
//   bench_loopback [--idle-seconds N]
#include "LoopbackSupport.h"
#include "link/Block.h"
#include "link/LinkThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace dialvane;

namespace {

QByteArray readExactly(QTcpSocket& s, qsizetype n, int timeoutMs = 30000) {
    QByteArray bytes;
    while (bytes.size() < n) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(timeoutMs))
            break;
        bytes += s.read(n - bytes.size());
    }
    return bytes;
}

struct Station {
    QTemporaryDir dir;
    QString backroom = dir.path() + "/Backroom/";
    QString logs = dir.path() + "/Logs/";
    quint16 port = 0;
    bool trace = false; // --trace: every call's bytes to a trace log
    LinkThread link;

    void open(Millis sendDelay) {
        PortRequest request;
        request.config.BackroomFolder = backroom;
        request.config.LogFolder = logs;
        request.config.sendDelay = sendDelay;
        request.config.trace = trace;
        port = openLoopbackLine(link, request);
    }
};

void connectSite(QTcpSocket& site, quint16 port) {
    site.connectToHost("127.0.0.1", port);
    site.waitForConnected(5000);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int idleSeconds = 60;
    bool trace = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--idle-seconds" && i + 1 < argc)
            idleSeconds = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--trace")
            trace = true;
    }
    const int records = 5000;

    Station station;
    station.trace = trace;
    QDir().mkpath(station.backroom + "000123");
    QDir().mkpath(station.logs);
    QByteArray file;
    for (int i = 0; i < records; ++i)
        file += QByteArray::number(i).leftJustified(120, 'x') + "\r\n";
    for (const char* name : {"trfloc", "trfbru1", "trfinv1"}) {
        QFile f(station.backroom + "000123/" + name);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(name) == "trfloc" ? file : QByteArray("one\r\n"));
    }
    station.open(Millis(0));

    // Site -> station: the site sends 5,000 blocks, each after the ACK of the one before.
    {
        QTcpSocket site;
        connectSite(site, station.port);
        QThread::msleep(100); // let the station take the call and empty its buffer
        site.write(BuildBlock("000123S1"));
        readExactly(site, 1);
        std::vector<double> turnaround;
        QElapsedTimer total, one;
        total.start();
        for (int i = 0; i < records; ++i) {
            site.write(BuildBlock(QByteArray::number(i)));
            site.flush();
            one.start();
            if (readExactly(site, 1) != QByteArray(1, ACK)) {
                std::printf("receive: no ACK for block %d\n", i);
                return 1;
            }
            turnaround.push_back(one.nsecsElapsed() / 1e6);
        }
        const double seconds = total.nsecsElapsed() / 1e9;
        // The end block's answer waits for the file to be synced, renamed and its folder synced.
        site.write(BuildBlock(kEndMarker));
        site.flush();
        one.start();
        readExactly(site, 1);
        const double endBlock = one.nsecsElapsed() / 1e6;
        site.disconnectFromHost();
        std::printf("site -> station: %d blocks in %.3f s = %.0f blocks/s; turnaround p50 %.3f ms, "
                    "p99 %.3f ms; end block (install) %.3f ms\n",
                    records, seconds, records / seconds, percentile(turnaround, 0.5),
                    percentile(turnaround, 0.99), endBlock);
    }
    QThread::msleep(200);

    // Station -> site: the site fetches; trfloc holds the 5,000 records.
    {
        QTcpSocket site;
        connectSite(site, station.port);
        QThread::msleep(100);
        site.write(BuildBlock("000123X1"));
        readExactly(site, 1); // header ACK
        readExactly(site, 1); // ACK before the first file
        std::vector<double> turnaround;
        QElapsedTimer total, one;
        total.start();
        for (int i = 0; i < records; ++i) {
            const QByteArray block = readExactly(site, kBlockSize);
            if (i > 0)
                turnaround.push_back(one.nsecsElapsed() / 1e6);
            if (!IsValidBlock(block)) {
                std::printf("send: bad block %d\n", i);
                return 1;
            }
            site.write(QByteArray(1, ACK));
            site.flush();
            one.start();
        }
        const double seconds = total.nsecsElapsed() / 1e9;
        readExactly(site, kBlockSize); // end block
        site.write(QByteArray(1, ACK));
        site.flush();
        site.disconnectFromHost();
        std::printf("station -> site: %d blocks in %.3f s = %.0f blocks/s; turnaround p50 %.3f ms, "
                    "p99 %.3f ms\n",
                    records, seconds, records / seconds, percentile(turnaround, 0.5),
                    percentile(turnaround, 0.99));
    }
    QThread::msleep(500);

    // Idle with the line open.
    {
        const double before = cpuSeconds();
        QThread::sleep(static_cast<unsigned long>(idleSeconds));
        const double used = cpuSeconds() - before;
        std::printf("idle %d s with the line open: CPU %.3f s = %.3f%% of one core\n", idleSeconds,
                    used, 100.0 * used / idleSeconds);
    }

    // A caller that says nothing: the station waits through 8 silences of 2 s.
    {
        QTcpSocket site;
        connectSite(site, station.port);
        const double before = cpuSeconds();
        QElapsedTimer waited;
        waited.start();
        const QByteArray answer = readExactly(site, 1, 30000);
        const double seconds = waited.nsecsElapsed() / 1e9;
        const double used = cpuSeconds() - before;
        std::printf("silent caller: answer %s after %.3f s; CPU %.3f s = %.3f%% of one core\n",
                    answer == QByteArray(1, NAK) ? "NAK" : "?", seconds, used,
                    100.0 * used / seconds);
        site.disconnectFromHost();
    }
    QThread::msleep(200);

    // "GDelay" 200: the measured delay before each answer.
    {
        station.open(Millis(200));
        QTcpSocket site;
        connectSite(site, station.port);
        QThread::msleep(100);
        std::vector<double> delays;
        QElapsedTimer one;
        site.write(BuildBlock("000123S1"));
        site.flush();
        one.start();
        readExactly(site, 1);
        delays.push_back(one.nsecsElapsed() / 1e6);
        for (int i = 0; i < 50; ++i) {
            site.write(BuildBlock(QByteArray::number(i)));
            site.flush();
            one.start();
            readExactly(site, 1);
            delays.push_back(one.nsecsElapsed() / 1e6);
        }
        site.disconnectFromHost();
        std::printf("GDelay 200: %zu answers, delay min %.3f ms, p50 %.3f ms, max %.3f ms\n",
                    delays.size(), *std::min_element(delays.begin(), delays.end()),
                    percentile(delays, 0.5), *std::max_element(delays.begin(), delays.end()));
    }
    return 0;
}
