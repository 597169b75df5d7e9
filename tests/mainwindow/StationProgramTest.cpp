// The whole station: the real dialvane program, offscreen, on a folder of its own with port 1 a
// network line, called by dialvane-site.
#include "settings/INIFunctions.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void putFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

TEST(StationProgram, ListsPurgesAndAnswersASendingAndAFetchingSite) {
    QTemporaryDir dir;
    const QString config = dir.filePath("station/"), backroom = dir.filePath("Backroom/"),
                  logs = dir.filePath("Logs/");
    ASSERT_TRUE(QDir().mkpath(config));
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const QString line = QString("tcp:127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    for (auto [section, key, value] : {std::tuple{"Path", "BackroomPath", backroom},
                                       {"Path", "LogPath", logs},
                                       {"Global", "GDelay", QString("0")},
                                       {"Global", "DaysToKeep", QString("30")},
                                       {"Ports", "COM1", line}})
        ASSERT_TRUE(WritePrivateProfileString(section, key, value, config + "Dialvane.ini"));
    const QString old = logs + "Dialvane20000101-120000-000123.log",
                  recent = logs + "Dialvane" + QDate::currentDate().toString("yyyyMMdd") +
                           "-000000-000123.log";
    for (auto [path, bytes] : {std::pair{backroom + "000123/trfloc", "loc1,loc2\r\n"},
                               {backroom + "000123/trfbru1", "bru\r\n"},
                               {backroom + "000123/trfinv1", "inv\r\n"},
                               {old, "old\r\n"},
                               {recent, "recent\r\n"},
                               {dir.filePath("count.txt"), "buns,18\r\npatties,40\r\n"}})
        putFile(path, bytes);

    QProcess station;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("xdg"));
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::MergedChannels);
    station.start(DIALVANE_PROGRAM, {"--config-dir", config});
    ASSERT_TRUE(station.waitForStarted(10000));
    auto site = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(DIALVANE_SITE, QStringList{"--line", line, "--resto", "000123"} + arguments);
        process.waitForFinished(60000);
        return std::pair{process.exitCode(), process.readAll()};
    };

    // Until its start-up has opened the port the station refuses calls: a line error (2).
    auto [status, output] = site({"send", dir.filePath("count.txt")});
    for (QDeadlineTimer deadline(20000); status == 2 && !deadline.hasExpired();) {
        QTest::qWait(100);
        std::tie(status, output) = site({"send", dir.filePath("count.txt")});
    }
    ASSERT_EQ(status, 0) << output.toStdString() << station.readAll().toStdString();
    const QByteArray installed = fileBytes(backroom + "000123/itrfinv1");
    EXPECT_EQ(installed.count('\n'), 2);
    EXPECT_TRUE(installed.startsWith("buns,18 ")) << installed.toStdString();

    std::tie(status, output) = site({"fetch", dir.filePath("fetched")});
    ASSERT_EQ(status, 0) << output.toStdString();
    for (const char* name : {"trfloc", "trfbru1", "trfinv1"})
        EXPECT_EQ(fileBytes(dir.filePath("fetched/") + name).size(), 128 * (name[3] == 'l' ? 2 : 1))
            << name;
    QByteArray logged;
    for (const QString& name : QDir(logs).entryList(QDir::Files))
        logged += fileBytes(logs + name);
    EXPECT_EQ(logged.count("Sent:"), 4) << logged.toStdString();
    EXPECT_FALSE(QFile::exists(old)); // purged at start
    EXPECT_TRUE(QFile::exists(recent));
    EXPECT_EQ(station.state(), QProcess::Running);
    EXPECT_EQ(
        GetPrivateProfileString("Communication", "ComPort", "<absent>", config + "Dialvane.ini"),
        "<absent>");
    station.terminate();
    EXPECT_TRUE(station.waitForFinished(10000));
}

} // namespace
} // namespace dialvane::test
