// The real station under attack on loopback: more callers than it has descriptors for.
#include "StationProcess.h"

#include <QTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

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

// 400 silent callers against a station limited to 256 descriptors and told it may take 2,000
// calls: it lowers MaxCalls to what it can serve, turns the rest away, and once they are gone
// answers a real call.
TEST_F(AttackProcess, AStationShortOfDescriptorsTurnsCallersAwayAndLivesOn) {
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
    service.process().terminate();
    service.process().waitForFinished(10000);
    const QByteArray log = service.process().readAll();
    EXPECT_TRUE(log.contains("MaxCalls=2000 is more than the 256 descriptors"))
        << log.left(2000).toStdString();
}

} // namespace
} // namespace dialvane::test
