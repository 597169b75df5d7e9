// What encryption costs a call, on loopback, in one run: the same call (a site sending
// `--records` blocks, each after the ACK of the one before, "GDelay" 0) over a tcp: line and
// over a tls: line with restaurant certificates, as blocks per second and turnaround; then
// `--handshakes` sequential connections to the tls: line, each timed from connect to the
// end of its handshake (the station's certificate checked, the restaurant's presented).
//
//   bench_tls [--records 5000] [--rounds 5] [--handshakes 100]
#include "LoopbackSupport.h"
#include "link/Block.h"
#include "support/TlsCaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
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

// The sites block on their sockets, each wait bounded at 5 s: the plain one reads its answer
// byte, the encrypted one has OpenSSL on the socket itself, as a site's own TLS stack would, so
// that what differs between the two lines is the encryption alone.
int connectPlain(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

bool plainExchange(int fd, const QByteArray& block) {
    char answer = 0;
    return ::send(fd, block.constData(), block.size(), MSG_NOSIGNAL) == block.size() &&
           ::recv(fd, &answer, 1, 0) == 1 && answer == ACK;
}

class SocketTlsSite {
public:
    SocketTlsSite(const QString& folder, quint16 port) : fd_(connectPlain(port)) {
        SSL_CTX_load_verify_locations(context_, qPrintable(folder + "/ca.crt"), nullptr);
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_use_certificate_chain_file(context_, qPrintable(folder + "/000001.crt"));
        SSL_CTX_use_PrivateKey_file(context_, qPrintable(folder + "/000001.key"), SSL_FILETYPE_PEM);
        ssl_ = SSL_new(context_); // after the context has its certificates: it copies them
        SSL_set_fd(ssl_, fd_);
        connected_ = SSL_connect(ssl_) == 1;
    }
    ~SocketTlsSite() {
        SSL_free(ssl_);
        SSL_CTX_free(context_);
        ::close(fd_);
    }
    bool connected() const { return connected_; }
    bool exchange(const QByteArray& block) {
        char answer = 0;
        return SSL_write(ssl_, block.constData(), static_cast<int>(block.size())) == block.size() &&
               SSL_read(ssl_, &answer, 1) == 1 && answer == ACK;
    }

private:
    int fd_;
    SSL_CTX* context_ = SSL_CTX_new(TLS_client_method());
    SSL* ssl_ = nullptr;
    bool connected_ = false;
};

void print(const char* line, const Figures& f) {
    std::printf("%-4s one call: %.0f blocks/s; turnaround p50 %.3f ms, p99 %.3f ms%s\n", line,
                f.blocksPerSecond, f.p50, f.p99, f.complete ? "" : " (INCOMPLETE)");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN); // a station that hangs up fails the site's write, not the run
    int records = 5000, handshakes = 100, rounds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--records")
            records = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--handshakes")
            handshakes = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--rounds")
            rounds = std::max(1, QByteArray(argv[i + 1]).toInt());
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

    // Rounds of one call each way, one after the other, so that what else the machine does
    // falls on both lines alike; the medians are compared.
    std::vector<double> plainRates, tlsRates;
    for (int round = 0; round < rounds; ++round) {
        const int fd = connectPlain(plainPort);
        QThread::msleep(100); // the station takes the call before the header comes
        const Figures plain =
            sendFile(records, [fd](const QByteArray& block) { return plainExchange(fd, block); });
        ::close(fd);
        print("tcp:", plain);

        SocketTlsSite site(dir.path(), tlsPort);
        if (!site.connected()) {
            std::printf("tls: handshake failed\n");
            return 1;
        }
        QThread::msleep(100);
        const Figures encrypted =
            sendFile(records, [&site](const QByteArray& block) { return site.exchange(block); });
        print("tls:", encrypted);
        plainRates.push_back(plain.blocksPerSecond);
        tlsRates.push_back(encrypted.blocksPerSecond);
        QThread::msleep(100); // both calls over before the next round
    }
    std::printf("tls:/tcp: median blocks per second over %d rounds: %.0f / %.0f = %.2fx\n", rounds,
                percentile(tlsRates, 0.5), percentile(plainRates, 0.5),
                percentile(tlsRates, 0.5) / percentile(plainRates, 0.5));

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
