// The station as a supervised service, and both programs on a signal: real processes, real
// sockets, a notification socket standing in for systemd.
#include "StationProcess.h"
#include "common/PasswordHash.h"
#include "journal/Journal.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>

namespace dialvane::test {
namespace {

class ServiceProcess : public StationProcessTest {
protected:
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

// What the supervisor and `dialvane status` (as monitoring runs it) are told before the start,
// while the station waits, during calls and after them, and once it has stopped.
TEST_F(ServiceProcess, ReadyAndStatusAnswerDespiteBadValuesAndEndAReceiveCleanlyOnSigterm) {
    NotifySocket notify(dir.filePath("notify"));
    StationProcess service = station("station");
    WritePrivateProfileString("Communication", "Speed", "abc", service.ini());
    WritePrivateProfileString("Global", "DaysToKeep", "40000", service.ini());
    QByteArray shown;
    // Polls: the service writes its status a moment after each change.
    const auto status = [&](int code, const QByteArray& text) {
        for (QDeadlineTimer deadline(10000); !deadline.hasExpired();) {
            const Ran ran = run(DIALVANE_PROGRAM, {"status", "--config-dir", service.folder()});
            shown = ran.out;
            if (ran.status == code && shown.contains(text))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(status(1, "not running: no status file")) << shown.toStdString();
    QProcessEnvironment env;
    env.insert("NOTIFY_SOCKET", notify.path());
    service.start("--service", env);
    ASSERT_TRUE(notify.waitFor("READY=1")) << service.process().readAll().toStdString();
    EXPECT_TRUE(notify.waitFor(QString("STATUS=waiting for calls on COM1 (tcp:127.0.0.1:%1)")
                                   .arg(service.port())
                                   .toUtf8()));
    const QByteArray port =
        QString("port COM1 (tcp:127.0.0.1:%1): open\n").arg(service.port()).toUtf8();
    EXPECT_TRUE(status(0, port + "0 calls in progress\nlast call: none")) << shown.toStdString();

    RawSite first;
    ASSERT_TRUE(first.connectTo(service.port()));
    ASSERT_TRUE(first.sendFile({"a", "b", "c"}));
    first.hangUp();
    const QByteArray installed = readAll(resto("itrfinv1"));
    ASSERT_EQ(installed, fields({"a", "b", "c"}));
    EXPECT_TRUE(status(0, "0 calls in progress\nlast call: 20")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("completed, 3 records received (387 bytes; itrfinv1)"))
        << shown.toStdString();
    RawSite silent; // a health check: connects and closes
    ASSERT_TRUE(silent.connectTo(service.port()));
    silent.hangUp();

    RawSite second;
    ASSERT_TRUE(beginReceive(second, service.port()));
    ASSERT_TRUE(notify.waitFor("STATUS=call from 000123: receiving"));
    EXPECT_TRUE(status(0, port + "1 call in progress\n  000123  receive  ")) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith("running (pid ")) << shown.toStdString();
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
          "call 000123 S1 from 127.0.0.1:", ": completed, 3 records received (387 bytes; itrfinv1)",
          "stopping on SIGTERM"})
        EXPECT_TRUE(log.contains(line)) << line << '\n' << log.toStdString();
    EXPECT_TRUE(QRegularExpression("info: call without a header from 127\\.0\\.0\\.1:\\d+: dropped "
                                   "\\(closed before sending a byte\\), ")
                    .match(QString::fromUtf8(log))
                    .hasMatch())
        << log.toStdString();
    EXPECT_TRUE(status(1, "not running (pid ")) << shown.toStdString();
    // The first line says what runs, with the time's offset; the last comes after every call.
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT[\\d:]{8}(Z|[+-]\\d\\d:\\d\\d) info: "
                                   "dialvane " DIALVANE_VERSION " starting: line station, "
                                   "configuration /")
                    .match(QString::fromUtf8(log))
                    .hasMatch())
        << log.toStdString();
    EXPECT_TRUE(log.trimmed().endsWith("info: stopped")) << log.toStdString();

    // The journal those calls left, as the reports read it past a row a crash tore and bytes that
    // are no row: each report says what it skipped and exits 1.
    const QString path = journal::journalFiles(logs).at(0).path;
    writeFile(path, readAll(path) + "\x01\xff no row\r\n2026-12-06T10:01:00,1.\"torn");
    const auto report = [&](const QStringList& arguments) {
        const Ran ran =
            run(DIALVANE_PROGRAM, arguments + QStringList{"--config-dir", service.folder()});
        EXPECT_EQ(ran.status, 1) << arguments.join(' ').toStdString();
        EXPECT_EQ(ran.err, "Skipped 2 damaged rows of the call journal " + path.toUtf8() +
                               " (a row torn by a crash, or bytes that are no row).\n");
        return ran.out;
    };
    report({"calls"});
    const QByteArray calls = report({"calls", "--csv"});
    const QList<QByteArray> rows = calls.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 5) << calls.toStdString();
    EXPECT_TRUE(rows[1].contains(",000123,S,1,receive,itrfinv1,3,0,0,0,387,completed,"))
        << rows[1].toStdString();
    EXPECT_TRUE(rows[1].contains(",127.0.0.1:")) << rows[1].toStdString(); // the caller
    const QByteArray stopped = rows[2] + '\n' + rows[3] + '\n' + rows[4];  // the same second
    EXPECT_TRUE(stopped.contains(",000123,S,1,receive,itrfinv1,1,0,0,0,129,stopped,"))
        << stopped.toStdString();
    EXPECT_TRUE(stopped.contains(",none,,0,0,0,0,0,stopped,")) << stopped.toStdString();
    EXPECT_EQ(report({"overdue"}), "All 1 restaurants sent a file in the last 1 day.\n");
}

// SIGHUP as a transaction: whatever the reload meets, the port in service stays and the call in
// progress goes on; the log says what happened. A port that opens takes over from the old one.
TEST_F(ServiceProcess, AReloadKeepsThePortAndTheCallItCannotOrNeedNotReplace) {
    StationProcess service = station("station");
    service.start();
    QTcpServer taken; // an address the station cannot listen on
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const QString ini = service.ini();
    const QByteArray good = readAll(ini);
    const struct {
        const char* what;
        std::tuple<const char*, const char*, QString> setting; // empty section: an unreadable file
        QByteArray said;
    } cases[] = {
        {"a port that cannot be opened",
         {"Ports", "COM1", QString("tcp:127.0.0.1:%1").arg(taken.serverPort())},
         QString("already in use); COM1 (tcp:127.0.0.1:%1) and the configuration before the "
                 "reload stay in service")
             .arg(service.port())
             .toUtf8()},
        {"a file that cannot be read", {"", "", ""}, "; the configuration in use stays"},
        {"the calls' settings only", {"Global", "GDelay", "1"}, "reload: GDelay: 0 ms -> 1 ms"},
    };
    QByteArray said;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(ini, good);
        RawSite site;
        ASSERT_TRUE(beginReceive(site, service.port()));
        const auto& [section, key, value] = c.setting;
        if (*section)
            WritePrivateProfileString(section, key, value, ini);
        else
            writeFile(ini, QByteArray("\xFF\xFE[\0P\0]\0", 8));
        service.signal(SIGHUP);
        for (QDeadlineTimer deadline(10000); !said.contains(c.said) && !deadline.hasExpired();) {
            service.process().waitForReadyRead(100);
            said += service.process().readAll();
        }
        ASSERT_TRUE(said.contains(c.said)) << said.toStdString();
        EXPECT_TRUE(site.sendRecords({"y"}) && site.exchange(BuildBlock(kEndMarker)));
        site.hangUp();
        EXPECT_EQ(readAll(resto("itrfinv1")), fields({"x", "y"}));
        RawSite next;
        EXPECT_TRUE(next.connectTo(service.port()) && next.sendFile({"z"}));
        next.hangUp();
    }
    const quint16 old = service.port();
    service.movePort();
    service.signal(SIGHUP);
    RawSite after;
    EXPECT_TRUE(after.connectTo(service.port()) && after.sendFile({"y"}));
    EXPECT_EQ(readAll(resto("itrfinv1")), fields({"y"}));
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
// made a GUI object would abort; the exit status is what scripts and monitoring read. A
// Dialvane.ini that is there but cannot be read stops every command: none goes on with built-in
// settings.
TEST_F(ServiceProcess, CommandsRunWithoutADisplayAndExitWithTheirStatus) {
    StationProcess station(dir.filePath("station"), backroom, logs); // 000123, no call yet
    const QString folder = station.folder();
    StationProcess unreadable(dir.filePath("unreadable"), backroom, logs);
    WritePrivateProfileString("Communication", "Speed", "abc", unreadable.ini());
    const QByteArray ini = readAll(station.ini());
    // `dialvane` alone in a folder: the window program is not beside it.
    const QString alone = dir.filePath("alone/dialvane");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("alone")) && QFile::copy(DIALVANE_PROGRAM, alone));
    struct Case {
        QStringList arguments;
        int status;
        QByteArray output; // in standard output, or standard error for a status other than 0
        QString program = DIALVANE_PROGRAM;
    };
    std::vector<Case> cases = {
        {{"--help"}, 0, "Usage: dialvane"},
        {{"--version"}, 0, "dialvane " DIALVANE_VERSION "\n"},
        {{"calls", "--help"}, 0, "--outcome"},
        {{"--bogus"}, 2, "Usage: dialvane"},
        {{"state"}, 2, "unknown command \"state\""},
        {{"--service", "--check", "--config-dir", folder}, 2, "exclude"},
        {{"--service", "--bogus", "--config-dir", folder}, 2, "bogus"},
        {{"--check", "--line", "../etc"}, 2, "--line takes"},
        {{"calls", "--outcome", "bogus", "--config-dir", folder}, 2, "hung-up"},
        {{"calls", "--resto", "12x", "--config-dir", folder}, 2, "--resto"},
        {{"calls", "extra", "--config-dir", folder}, 2, "extra"},
        {{"overdue", "--days", "x", "--config-dir", folder}, 2, "--days"},
        {{"password", "--bogus"}, 2, "bogus"},
        {{"password"}, 1, "no password given"}, // nothing on standard input
        {{"--config-dir", folder, "calls", "--since", "0d"}, 0, "0 calls"},
        {{"overdue", "--config-dir", folder}, 1, "1 of 1 restaurants"},
        {{"--check", "--config-dir", folder}, 0, "OK   Backroom folder"},
        {{"--check", "--config-dir", unreadable.folder()}, 1, "FAIL Dialvane.ini readable"},
        // The window: handed to dialvane-window, which says that there is no display.
        {{"--config-dir", folder}, 1, "no display"},
        {{}, 1, "dialvane-desktop", alone},
        {{"--version"}, 0, "dialvane-site " DIALVANE_VERSION, DIALVANE_SITE},
        {{"--bogus"}, 2, "bogus", DIALVANE_SITE},
    };
    StationProcess utf16(dir.filePath("utf16"), backroom, logs);
    writeFile(utf16.ini(), QByteArray("\xFF\xFE[\0P\0]\0", 8));
    StationProcess folderIni(dir.filePath("folder"), backroom, logs);
    QFile::remove(folderIni.ini());
    ASSERT_TRUE(QDir().mkpath(folderIni.ini()));
    for (const char* command : {"--service", "--check", "calls", "status"}) {
        cases.push_back({{command, "--config-dir", utf16.folder()},
                         78,
                         (utf16.ini() + " is not 8-bit").toUtf8()});
        cases.push_back({{command, "--config-dir", folderIni.folder()},
                         78,
                         (folderIni.ini() + " cannot be read (").toUtf8()});
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("XDG_CONFIG_HOME", dir.filePath("xdg"));
    for (const Case& c : cases) {
        SCOPED_TRACE((QFileInfo(c.program).fileName() + ' ' + c.arguments.join(' ')).toStdString());
        const Ran ran = run(c.program, c.arguments, {}, env);
        EXPECT_EQ(ran.status, c.status) << ran.out.toStdString() << ran.err.toStdString();
        EXPECT_TRUE((c.status == 0 ? ran.out : ran.err + ran.out).contains(c.output))
            << ran.out.toStdString() << ran.err.toStdString();
    }
    EXPECT_EQ(readAll(station.ini()), ini) << "no command changes the settings";

    // `dialvane password` fed by a pipe: one line, a hash of that password which the station's
    // own reading takes as set.
    const Ran made = run(DIALVANE_PROGRAM, {"password"}, "sel et poivre\n");
    ASSERT_TRUE(made.status == 0 && made.out.startsWith("PasswordHash=pbkdf2-sha256$600000$") &&
                made.out.count('\n') == 1)
        << made.out.toStdString() << made.err.toStdString();
    const QString hash = QString::fromUtf8(made.out).trimmed().section('=', 1);
    EXPECT_TRUE(passwordMatches(hash, "sel et poivre"));
    EXPECT_FALSE(passwordMatches(hash, "sel"));
    WritePrivateProfileString("Security", "PasswordHash", hash, station.ini());
    const QByteArray said = run(DIALVANE_PROGRAM, {"--check", "--config-dir", folder}).out;
    EXPECT_TRUE(said.contains("PasswordHash       set") && said.contains("OK   Dialvane.ini"))
        << said.toStdString();
}

} // namespace
} // namespace dialvane::test
