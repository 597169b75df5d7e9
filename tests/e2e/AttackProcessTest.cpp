// The real station under attack on loopback: more callers than it has descriptors for.
#include "StationProcess.h"

#include <QTest>

#include <algorithm>

#include <sys/resource.h>

namespace dialvane::test {
namespace {

using AttackProcess = StationProcessTest;

// Told it may take 2,000 calls, the station lowers MaxCalls to what 256 descriptors can serve.
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

    std::vector<std::unique_ptr<QTcpSocket>> silent(400);
    for (auto& socket : silent) {
        socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, service.port());
    }
    const auto closedByStation = [&] {
        return std::count_if(silent.begin(), silent.end(), [](const auto& s) {
            return s->state() == QAbstractSocket::UnconnectedState;
        });
    };
    const int allowed = (256 - 64) / 4;
    EXPECT_TRUE(QTest::qWaitFor([&] { return closedByStation() == 400 - allowed; }, 20000))
        << closedByStation();
    EXPECT_EQ(service.process().state(), QProcess::Running);
    silent.clear();

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
