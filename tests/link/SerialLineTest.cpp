// The serial line's data path on a pseudo-terminal (which has no modem lines).
#include "link/SerialLine.h"
#include "link/LinkThread.h"
#include "support/TestFiles.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace dialvane::test {
namespace {

using namespace std::chrono_literals;

class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            device_ = QString::fromLocal8Bit(::ptsname(master_));
    }
    ~PseudoTerminal() {
        if (master_ >= 0)
            ::close(master_);
    }
    QString device() const { return device_; }
    void write(const QByteArray& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), bytes.size());
    }
    QByteArray read() {
        char buffer[256];
        pollfd p{master_, POLLIN, 0};
        const auto n = ::poll(&p, 1, 5000) > 0 ? ::read(master_, buffer, sizeof buffer) : 0;
        return QByteArray(buffer, std::max<qsizetype>(n, 0));
    }

private:
    int master_ = -1;
    QString device_;
};

TEST(SerialLine, CarriesBytesBothWaysAndSaysOnceThatTheCarrierCannotBeRead) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.device().isEmpty());
    SerialLine line(3, pty.device());
    QStringList warnings;
    line.onWarning([&](const QString& text) { warnings << text; });
    line.open(LineSettings{});
    ASSERT_TRUE(line.isOpen());

    pty.write("hello");
    Millis deadline = line.now() + 5s;
    while (line.InBufferCount() < 5 && line.now() < deadline)
        line.waitUntil(deadline);
    EXPECT_EQ(line.Input(), "hello");

    line.Output(QByteArray("\x06\x15", 2));
    EXPECT_EQ(pty.read(), QByteArray("\x06\x15", 2));

    // A few polls of the carrier: still no carrier, and the warning came at most once.
    line.waitUntil(line.now() + 200ms);
    EXPECT_FALSE(line.CDHolding());
    EXPECT_LE(warnings.size(), 1);
    for (const QString& w : warnings)
        EXPECT_TRUE(w.contains("COM3") && w.contains(pty.device())) << w.toStdString();
    line.close();
    EXPECT_FALSE(line.isOpen());
}

TEST(PortMapping, NumbersNameDevicesUnlessTheIniMapsThem) {
    EXPECT_EQ(deviceForPort(1, ""), "/dev/ttyS0");
    EXPECT_EQ(deviceForPort(9, "  "), "/dev/ttyS8");
    EXPECT_EQ(deviceForPort(2, "/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(deviceForPort(4, " tcp:127.0.0.1:5001 "), "tcp:127.0.0.1:5001");
}

} // namespace
} // namespace dialvane::test
