// The station as a supervised service, and both programs on a signal: real processes, real
// sockets, a notification socket standing in for systemd.
#include "StationProcess.h"

#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

namespace dialvane::test {
namespace {

constexpr int kAck = 6;

QByteArray installedRecord(const QByteArray& text) {
    return text.leftJustified(126, ' ') + char(ETX) + "\r\n";
}

// A whole send of `records` one-letter records; true when the end block was acknowledged.
bool sendFile(RawSite& site, const QByteArray& records) {
    site.send(header("000123", 'S'));
    if (site.answer() != kAck)
        return false;
    for (char r : records) {
        site.send(BuildBlock(QByteArray(1, r)));
        if (site.answer() != kAck)
            return false;
    }
    site.send(BuildBlock(kEndMarker));
    return site.answer() == kAck;
}

// A receive left half-way: the header and one block answered, the station reading on.
bool beginReceive(RawSite& site, quint16 port) {
    if (!site.connectTo(port))
        return false;
    site.send(header("000123", 'S'));
    if (site.answer() != kAck)
        return false;
    site.send(BuildBlock("x"));
    return site.answer() == kAck;
}

class ServiceProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        backroom = dir.filePath("Backroom/");
        QDir().mkpath(backroom + "000123");
        QDir().mkpath(dir.filePath("Logs"));
    }
    QString resto(const QString& name) const { return backroom + "000123/" + name; }

    // Ends the process with `signal` while `during` holds, and says how long the exit took.
    qint64 stopWith(StationProcess& station, int signal) {
        QElapsedTimer clock;
        clock.start();
        station.signal(signal);
        EXPECT_TRUE(station.process().waitForFinished(5000));
        return clock.elapsed();
    }

    QTemporaryDir dir;
    QString backroom;
};

TEST_F(ServiceProcess, ReadyAnswersAndEndsAReceiveCleanlyOnSigterm) {
    NotifySocket notify(dir.filePath("notify"));
    ASSERT_TRUE(notify.bound());
    StationProcess station(dir.filePath("station"), backroom, dir.filePath("Logs/"));
    QProcessEnvironment env;
    env.insert("NOTIFY_SOCKET", notify.path());
    station.start("--service", env);
    ASSERT_TRUE(notify.waitFor("READY=1")) << station.process().readAll().toStdString();
    EXPECT_TRUE(notify.waitFor(QString("STATUS=waiting for calls on COM1 (tcp:127.0.0.1:%1)")
                                   .arg(station.port())
                                   .toUtf8()));

    RawSite first;
    ASSERT_TRUE(first.connectTo(station.port()));
    ASSERT_TRUE(sendFile(first, "abc"));
    first.hangUp();
    const QByteArray installed = readAll(resto("itrfinv1"));
    ASSERT_EQ(installed, installedRecord("a") + installedRecord("b") + installedRecord("c"));

    // A second receive, stopped half-way: in the middle of the station's 2000 ms read wait.
    RawSite second;
    ASSERT_TRUE(beginReceive(second, station.port()));
    ASSERT_TRUE(notify.waitFor("STATUS=call from 000123: receiving"));
    EXPECT_LT(stopWith(station, SIGTERM), 2000);
    EXPECT_EQ(station.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(station.process().exitCode(), 0);
    EXPECT_TRUE(notify.waitFor("STOPPING=1", 0));
    EXPECT_EQ(readAll(resto("itrfinv1")), installed);
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    const QByteArray log = station.process().readAll();
    EXPECT_TRUE(log.contains("call 000123 S1: completed, 3 records received")) << log.toStdString();
    EXPECT_TRUE(log.contains("stopping on SIGTERM")) << log.toStdString();
}

TEST_F(ServiceProcess, SighupReadsTheIniAgainAndAnswersOnTheNewPort) {
    StationProcess station(dir.filePath("station"), backroom, dir.filePath("Logs/"));
    station.start();
    RawSite before;
    ASSERT_TRUE(before.connectTo(station.port()));
    before.hangUp();
    const quint16 old = station.port();
    station.movePort();
    station.signal(SIGHUP);
    RawSite after;
    ASSERT_TRUE(after.connectTo(station.port()));
    EXPECT_TRUE(sendFile(after, "z"));
    EXPECT_EQ(readAll(resto("itrfinv1")), installedRecord("z"));
    RawSite stale;
    EXPECT_FALSE(stale.connectTo(old, 300)) << "the old address is no longer listened on";
}

TEST_F(ServiceProcess, AValueThatCannotBeReadIsLoggedAndTheStationStillAnswers) {
    StationProcess station(dir.filePath("station"), backroom, dir.filePath("Logs/"));
    WritePrivateProfileString("Communication", "Speed", "abc", station.ini());
    WritePrivateProfileString("Global", "DaysToKeep", "40000", station.ini());
    station.start();
    RawSite site;
    ASSERT_TRUE(site.connectTo(station.port()));
    EXPECT_TRUE(sendFile(site, "q"));
    station.signal(SIGTERM);
    ASSERT_TRUE(station.process().waitForFinished(5000));
    const QByteArray log = station.process().readAll();
    EXPECT_TRUE(log.contains("error: Dialvane.ini: [Communication] Speed=\"abc\""))
        << log.toStdString();
    EXPECT_TRUE(log.contains("DaysToKeep=\"40000\"")) << log.toStdString();
}

TEST_F(ServiceProcess, TheWindowProgramAlsoEndsACallCleanlyOnSigterm) {
    writeFile(resto("itrfinv1"), "previous\r\n");
    StationProcess station(dir.filePath("station"), backroom, dir.filePath("Logs/"));
    station.start(QString());
    RawSite site;
    ASSERT_TRUE(beginReceive(site, station.port()));
    EXPECT_LT(stopWith(station, SIGTERM), 2000);
    EXPECT_EQ(station.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(station.process().exitCode(), 0);
    EXPECT_EQ(readAll(resto("itrfinv1")), "previous\r\n");
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
}

// --check on a good configuration and on each kind of bad one; it never changes a file.
TEST_F(ServiceProcess, CheckPassesAGoodConfigurationAndNamesEachFault) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const struct {
        const char* what;
        std::tuple<const char*, const char*, QString> setting;
        const char* failure; // empty: every check passes
    } cases[] = {
        {"good", {"Global", "GDelay", "0"}, ""},
        {"unreadable value", {"Communication", "Speed", "abc"}, "FAIL Dialvane.ini readable"},
        {"missing Backroom",
         {"Path", "BackroomPath", dir.filePath("nowhere")},
         "FAIL Backroom folder"},
        {"missing device", {"Ports", "COM1", "/dev/ttyS99-none"}, "FAIL port COM1"},
        {"address in use",
         {"Ports", "COM1", QString("tcp:127.0.0.1:%1").arg(taken.serverPort())},
         "FAIL port COM1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = dir.filePath(QString("check-") + c.what);
        StationProcess station(folder, backroom, dir.filePath("Logs/"));
        const auto& [section, key, value] = c.setting;
        WritePrivateProfileString(section, key, value, station.ini());
        const QByteArray before = readAll(station.ini());
        const QStringList filesBefore = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);

        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(DIALVANE_PROGRAM, {"--check", "--config-dir", folder});
        ASSERT_TRUE(check.waitForFinished(10000));
        const QByteArray out = check.readAll();
        const bool good = std::strlen(c.failure) == 0;
        EXPECT_EQ(check.exitCode(), good ? 0 : 1) << out.toStdString();
        EXPECT_EQ(out.contains("FAIL"), !good) << out.toStdString();
        if (!good) {
            EXPECT_TRUE(out.contains(c.failure)) << out.toStdString();
        }
        EXPECT_TRUE(out.contains("BackroomPath")) << out.toStdString();
        EXPECT_EQ(readAll(station.ini()), before);
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden), filesBefore);
    }
}

} // namespace
} // namespace dialvane::test
