// What encryption costs a call, on loopback, in one run: the same call (a site sending
// `--records` blocks, each after the ACK of the one before, "GDelay" 0) over a tcp: line and
// over a tls: line with restaurant certificates, as blocks per second and turnaround; then
// `--handshakes` sequential connections to the tls: line, each timed from connect to the
// end of its handshake (the station's certificate checked, the restaurant's presented).
//
//   bench_tls [--records 5000] [--handshakes 100]
#include "LoopbackSupport.h"
#include "link/Block.h"
#include "support/TlsCaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <vector>

using namespace dialvane;
using dialvane::test::TlsCaller;

namespace {

struct Figures {
    double blocksPerSecond = 0, p50 = 0, p99 = 0;
    bool complete = false;
};

// One call's file: `exchange` sends a block and says whether the station answered ACK.
Figures sendFile(int records, const std::function<bool(const QByteArray&)>& exchange) {
    Figures figures;
    if (!exchange(BuildBlock("000001S1")))
        return figures;
    std::vector<double> turnaround;
    QElapsedTimer total, one;
    total.start();
    for (int i = 0; i < records; ++i) {
        one.start();
        if (!exchange(BuildBlock(QByteArray::number(i).leftJustified(100, 'x'))))
            return figures;
        turnaround.push_back(one.nsecsElapsed() / 1e6);
    }
    const double seconds = total.nsecsElapsed() / 1e9;
    figures.complete = exchange(BuildBlock(kEndMarker));
    figures.blocksPerSecond = records / seconds;
    figures.p50 = percentile(turnaround, 0.5);
    figures.p99 = percentile(turnaround, 0.99);
    return figures;
}

// A plain site: the answer byte read with a bounded wait.
bool plainExchange(int fd, const QByteArray& block) {
    if (::send(fd, block.constData(), block.size(), MSG_NOSIGNAL) != block.size())
        return false;
    pollfd p{fd, POLLIN, 0};
    char answer = 0;
    return ::poll(&p, 1, 5000) == 1 && ::recv(fd, &answer, 1, 0) == 1 && answer == ACK;
}

int connectPlain(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

void print(const char* line, const Figures& f) {
    std::printf("%-4s one call: %.0f blocks/s; turnaround p50 %.3f ms, p99 %.3f ms%s\n", line,
                f.blocksPerSecond, f.p50, f.p99, f.complete ? "" : " (INCOMPLETE)");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int records = 5000, handshakes = 100;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--records")
            records = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--handshakes")
            handshakes = QByteArray(argv[i + 1]).toInt();
    }
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/Backroom/000001");
    QDir().mkpath(dir.path() + "/Logs");
    PortRequest request;
    request.config.BackroomFolder = dir.path() + "/Backroom/";
    request.config.LogFolder = dir.path() + "/Logs/";
    request.config.sendDelay = Millis(0);
    request.maxCallsPerAddress = 0;

    LinkThread plainLink, tlsLink;
    const quint16 plainPort = openLoopbackLine(plainLink, request);
    if (!encryptLine(request, dir.path(), 1))
        return 1;
    const quint16 tlsPort = openLoopbackLine(tlsLink, request);
    QThread::msleep(200);

    const int fd = connectPlain(plainPort);
    QThread::msleep(100); // the station takes the call before the header comes
    const Figures plain =
        sendFile(records, [fd](const QByteArray& block) { return plainExchange(fd, block); });
    ::close(fd);
    print("tcp:", plain);

    TlsCaller site(dir.path() + "/ca.crt", dir.path() + "/000001.crt", dir.path() + "/000001.key");
    if (!site.call(tlsPort)) {
        std::printf("tls: handshake failed\n");
        return 1;
    }
    QThread::msleep(100);
    const Figures encrypted =
        sendFile(records, [&site](const QByteArray& block) { return site.exchange(block); });
    site.hangUp();
    print("tls:", encrypted);
    std::printf("tls:/tcp: blocks per second: %.2fx\n",
                encrypted.blocksPerSecond / plain.blocksPerSecond);

    QThread::msleep(500);
    std::vector<double> times;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < handshakes; ++i) {
        TlsCaller caller(dir.path() + "/ca.crt", dir.path() + "/000001.crt",
                         dir.path() + "/000001.key");
        QElapsedTimer one;
        one.start();
        if (!caller.call(tlsPort)) {
            std::printf("handshake %d failed\n", i);
            return 1;
        }
        times.push_back(one.nsecsElapsed() / 1e6);
    }
    std::printf("%d sequential handshakes (P-256, restaurant certificate): p50 %.3f ms, p99 %.3f "
                "ms, max %.3f ms; %.1f per second; CPU (both ends) %.2f ms each\n",
                handshakes, percentile(times, 0.5), percentile(times, 0.99), percentile(times, 1.0),
                handshakes / (all.nsecsElapsed() / 1e9),
                1000 * (cpuSeconds() - cpuBefore) / handshakes);
    return 0;
}
