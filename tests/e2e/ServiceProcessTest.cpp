// The station as a supervised service, and both programs on a signal: real processes, real
// sockets, a notification socket standing in for systemd.
#include "StationProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace dialvane::test {
namespace {

class ServiceProcess : public StationProcessTest {
protected:
    // `dialvane calls` or `overdue` on the station's folder: what it printed, when it ran well.
    static QByteArray report(const QStringList& arguments, StationProcess& station) {
        QProcess process;
        process.start(DIALVANE_PROGRAM, arguments + QStringList{"--config-dir", station.folder()});
        EXPECT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput();
    }

    // A receive left half-way: the header and one block answered, the station reading on.
    static bool beginReceive(RawSite& site, quint16 port) {
        return site.connectTo(port) && site.exchange(kSendHeader) && site.sendRecords({"x"});
    }

    // Ends the process with `signal` mid-call: cleanly, at once (well within the station's
    // 2000 ms read wait), and the old file left in place.
    void stopsCleanly(StationProcess& station, int signal, const QByteArray& installed) {
        QElapsedTimer clock;
        clock.start();
        station.signal(signal);
        EXPECT_TRUE(station.process().waitForFinished(5000));
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_EQ(station.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(station.process().exitCode(), 0);
        EXPECT_EQ(readAll(resto("itrfinv1")), installed);
        EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    }
};

TEST_F(ServiceProcess, ReadyAnswersDespiteBadValuesAndEndsAReceiveCleanlyOnSigterm) {
    NotifySocket notify(dir.filePath("notify"));
    ASSERT_TRUE(notify.bound());
    StationProcess service = station("station");
    WritePrivateProfileString("Communication", "Speed", "abc", service.ini());
    WritePrivateProfileString("Global", "DaysToKeep", "40000", service.ini());
    QProcessEnvironment env;
    env.insert("NOTIFY_SOCKET", notify.path());
    service.start("--service", env);
    ASSERT_TRUE(notify.waitFor("READY=1")) << service.process().readAll().toStdString();
    EXPECT_TRUE(notify.waitFor(QString("STATUS=waiting for calls on COM1 (tcp:127.0.0.1:%1)")
                                   .arg(service.port())
                                   .toUtf8()));

    RawSite first;
    ASSERT_TRUE(first.connectTo(service.port()));
    ASSERT_TRUE(first.sendFile({"a", "b", "c"}));
    first.hangUp();
    const QByteArray installed = readAll(resto("itrfinv1"));
    ASSERT_EQ(installed, fields({"a", "b", "c"}));

    RawSite second;
    ASSERT_TRUE(beginReceive(second, service.port()));
    ASSERT_TRUE(notify.waitFor("STATUS=call from 000123: receiving"));
    RawSite third; // a second call at once, without a header yet: the most recent
    ASSERT_TRUE(third.connectTo(service.port()));
    ASSERT_TRUE(notify.waitFor(QString("STATUS=2 calls in progress on COM1 (tcp:127.0.0.1:%1); "
                                       "latest: call on COM1 (tcp:127.0.0.1:%1): waiting for a "
                                       "header")
                                   .arg(service.port())
                                   .toUtf8()));
    stopsCleanly(service, SIGTERM, installed);
    EXPECT_TRUE(notify.waitFor("STOPPING=1", 0));
    const QByteArray log = service.process().readAll();
    for (const char* line :
         {"error: Dialvane.ini: [Communication] Speed=\"abc\"", "DaysToKeep=\"40000\"",
          "call 000123 S1: completed, 3 records received", "stopping on SIGTERM"})
        EXPECT_TRUE(log.contains(line)) << line << '\n' << log.toStdString();

    // The journal those two calls left, as the reports read it.
    const QByteArray calls = report({"calls", "--csv"}, service);
    const QList<QByteArray> rows = calls.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 4) << calls.toStdString();
    EXPECT_TRUE(rows[1].contains(",000123,S,1,receive,itrfinv1,3,0,0,0,387,completed,"))
        << rows[1].toStdString();
    EXPECT_TRUE(rows[1].contains(",127.0.0.1:")) << rows[1].toStdString(); // the caller
    const QByteArray stopped = rows[2] + '\n' + rows[3]; // began in the same second
    EXPECT_TRUE(stopped.contains(",000123,S,1,receive,itrfinv1,1,0,0,0,129,stopped,"))
        << stopped.toStdString();
    EXPECT_TRUE(stopped.contains(",none,,0,0,0,0,0,stopped,")) << stopped.toStdString();
    EXPECT_EQ(report({"overdue"}, service), "All 1 restaurants sent a file in the last 1 day.\n");
}

TEST_F(ServiceProcess, SighupReadsTheIniAgainAndAnswersOnTheNewPort) {
    StationProcess service = station("station");
    service.start();
    RawSite before;
    ASSERT_TRUE(before.connectTo(service.port()));
    before.hangUp();
    const quint16 old = service.port();
    service.movePort();
    service.signal(SIGHUP);
    RawSite after;
    ASSERT_TRUE(after.connectTo(service.port()));
    EXPECT_TRUE(after.sendFile({"z"}));
    EXPECT_EQ(readAll(resto("itrfinv1")), fields({"z"}));
    RawSite stale;
    EXPECT_FALSE(stale.connectTo(old, 300)) << "the old address is no longer listened on";
}

TEST_F(ServiceProcess, TheWindowProgramAlsoEndsACallCleanlyOnSigterm) {
    writeFile(resto("itrfinv1"), "previous\r\n");
    StationProcess window = station("station");
    window.start(QString());
    RawSite site;
    ASSERT_TRUE(beginReceive(site, window.port()));
    stopsCleanly(window, SIGTERM, "previous\r\n");
}

// Every command as an operator types it on a server: no display at all, so a command that
// made a GUI object would abort; the exit status is what scripts and monitoring read.
TEST_F(ServiceProcess, CommandsRunWithoutADisplayAndExitWithTheirStatus) {
    StationProcess station(dir.filePath("station"), backroom, logs); // 000123, no call yet
    const QString folder = station.folder();
    StationProcess unreadable(dir.filePath("unreadable"), backroom, logs);
    WritePrivateProfileString("Communication", "Speed", "abc", unreadable.ini());
    const QByteArray ini = readAll(station.ini());
    // `dialvane` alone in a folder: the window program is not beside it.
    const QString alone = dir.filePath("alone/dialvane");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("alone")) && QFile::copy(DIALVANE_PROGRAM, alone));
    const struct {
        QString program;
        QStringList arguments;
        int status;
        QByteArray output; // in standard output, or standard error for a status other than 0
    } cases[] = {
        {DIALVANE_PROGRAM, {"--help"}, 0, "Usage: dialvane"},
        {DIALVANE_PROGRAM, {"--version"}, 0, "dialvane " DIALVANE_VERSION "\n"},
        {DIALVANE_PROGRAM, {"calls", "--help"}, 0, "--outcome"},
        {DIALVANE_PROGRAM, {"--bogus"}, 2, "Usage: dialvane"},
        {DIALVANE_PROGRAM, {"status"}, 2, "unknown command \"status\""},
        {DIALVANE_PROGRAM, {"--service", "--check", "--config-dir", folder}, 2, "exclude"},
        {DIALVANE_PROGRAM, {"--service", "--bogus", "--config-dir", folder}, 2, "bogus"},
        {DIALVANE_PROGRAM, {"--check", "--line", "a", "--config-dir", folder}, 2, "give one"},
        {DIALVANE_PROGRAM, {"--check", "--line", "../etc"}, 2, "--line takes"},
        {DIALVANE_PROGRAM, {"calls", "--outcome", "bogus", "--config-dir", folder}, 2, "hung-up"},
        {DIALVANE_PROGRAM, {"calls", "--resto", "12x", "--config-dir", folder}, 2, "--resto"},
        {DIALVANE_PROGRAM, {"calls", "extra", "--config-dir", folder}, 2, "extra"},
        {DIALVANE_PROGRAM, {"overdue", "--days", "x", "--config-dir", folder}, 2, "--days"},
        {DIALVANE_PROGRAM, {"--config-dir", folder, "calls", "--since", "0d"}, 0, "0 calls"},
        {DIALVANE_PROGRAM, {"overdue", "--config-dir", folder}, 1, "1 of 1 restaurants"},
        {DIALVANE_PROGRAM, {"--check", "--config-dir", folder}, 0, "OK   Backroom folder"},
        {DIALVANE_PROGRAM,
         {"--check", "--config-dir", unreadable.folder()},
         1,
         "FAIL Dialvane.ini readable"},
        // The window: handed to dialvane-window, which says that there is no display.
        {DIALVANE_PROGRAM, {"--config-dir", folder}, 1, "no display"},
        {alone, {}, 1, "dialvane-desktop"},
        {DIALVANE_SITE, {"--version"}, 0, "dialvane-site " DIALVANE_VERSION},
        {DIALVANE_SITE, {"--bogus"}, 2, "bogus"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("XDG_CONFIG_HOME", dir.filePath("xdg"));
    for (const auto& c : cases) {
        SCOPED_TRACE((QFileInfo(c.program).fileName() + ' ' + c.arguments.join(' ')).toStdString());
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(c.program, c.arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray err = process.readAllStandardError();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), c.status) << out.toStdString() << err.toStdString();
        EXPECT_TRUE((c.status == 0 ? out : err + out).contains(c.output))
            << out.toStdString() << err.toStdString();
    }
    EXPECT_EQ(readAll(station.ini()), ini) << "no command changes the settings";
}

} // namespace
} // namespace dialvane::test
