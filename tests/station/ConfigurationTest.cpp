// The station core without a window: what a Dialvane.ini and the companion product's settings
// yield, what is said about them, and the small texts and times the service relies on.
#include "station/Configuration.h"
#include "link/Line.h"
#include "link/RestaurantLock.h"
#include "settings/INIFunctions.h"
#include "settings/SettingsManager.h"
#include "station/CallHistory.h"
#include "station/Check.h"
#include "station/ConfigFolder.h"
#include "station/ServiceLog.h"
#include "station/Station.h"
#include "support/MemoryRegistry.h"
#include "support/TestCertificates.h"
#include "support/TestFiles.h"

#include "support/CallFixtures.h"

#include <QTextStream>

namespace dialvane::test {
namespace {

class ConfigurationTest : public ::testing::Test {
protected:
    LoadedConfiguration load(const QByteArray& iniBytes) {
        QFile::remove(ini());
        if (!iniBytes.isNull())
            writeFile(ini(), iniBytes);
        SettingsManager settings(registry);
        settings.Init("Dialvane", dir.path());
        return loadConfiguration(settings, ini(), QLocale::c());
    }
    QString ini() const { return dir.filePath("Dialvane.ini"); }

    // What --check says of port 1 ("OK" or its reason) and what the open of the same
    // configuration throws ("<no failure>" or its reason).
    std::pair<QString, std::string> checkAndOpen(const QByteArray& iniBytes) {
        const LoadedConfiguration loaded = load(iniBytes);
        QString report;
        QTextStream out(&report);
        runCheck(dir.path(), out, &registry);
        const QString said = report.contains("OK   port COM1")
                                 ? QString("OK")
                                 : report.section("port COM1: ", 1).section('\n', 0, 0);
        SettingsManager settings(registry);
        settings.Init("Dialvane", dir.path());
        const QString device = portDevice(settings, 1);
        const std::string failure = failureOf<LineError>([&] {
            NoEvents events;
            makeRealLine(portRequestFor(loaded.config, device), events)->open(LineSettings{});
        });
        return {said, failure};
    }

    QTemporaryDir dir;
    MemoryRegistry registry;
};

TEST_F(ConfigurationTest, WhatCannotBeReadIsSaidAndItsDefaultUsed) {
    const struct {
        QByteArray bytes; // null: no file
        const char* said; // nullptr: read without a word
        int days = 60, port = 1, speed = 9600, delay = 200;
    } cases[] = {
        {{}, "does not exist"},
        {" \r\n", "is empty"},
        {QByteArray("\xFF\xFE[\0C\0]\0", 8), "UTF-16"},
        {"ComPort=3\r\nrubbish\r\n", "no [section]"},
        {"[Global]\nDaysToKeep=7.5", nullptr, 8},
        {"[Global]\nDaysToKeep=", nullptr},
        {"[Global]\nDaysToKeep=abc", "DaysToKeep=\"abc\""},
        {"[Global]\nDaysToKeep=40000", "DaysToKeep=\"40000\""},
        {"[Communication]\nComPort=1junk", "ComPort=\"1junk\""},
        {"[Communication]\nComPort=12", nullptr, 60, 12}, // a number: kept, opened as 1
        {"[Communication]\nComPort=9", nullptr, 60, 9},
        {"[Communication]\nSpeed=abc", "Speed=\"abc\""},
        {"[Communication]\nSpeed=2400", nullptr, 60, 1, 2400},
        // GDelay: whole milliseconds up to a minute; anything else but nothing at all is said.
        {"[Global]\nGDelay=0", nullptr, 60, 1, 9600, 0},
        {"[Global]\nGDelay= 60000 ", nullptr, 60, 1, 9600, 60000},
        {"[Global]\nGDelay=0350", nullptr, 60, 1, 9600, 350},
        {"[Global]\nGDelay=", nullptr},
        {"[Global]\nGDelay=60001", "GDelay=\"60001\""},
        {"[Global]\nGDelay=+5", "GDelay=\"+5\""},
        {"[Security]\nPasswordHash=pbkdf2-sha256$1$AA$AA", "PasswordHash cannot be used"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        const LoadedConfiguration l = load(c.bytes);
        const auto values = [](auto... v) { return ((std::to_string(v) + ' ') + ...); };
        EXPECT_EQ(values(l.config.KeepDays, l.config.PortNumber, l.config.effectivePort(),
                         l.config.LineSpeed, l.config.sendDelay.count()),
                  values(c.days, c.port, c.port <= 9 ? c.port : 1, c.speed, c.delay));
        EXPECT_EQ(l.problems.size(), c.said ? 1 : 0) << l.problems.join('\n').toStdString();
        EXPECT_TRUE(!c.said || l.problems.value(0).contains(c.said));
    }
}

// Every Ports value --check passes opens, and every one it fails the open refuses with the same
// words, naming the value; so for an encrypted line whose files cannot serve: the file named, and
// why. A serial device's words are the system's: only the verdict is held.
TEST_F(ConfigurationTest, CheckAndTheOpenAgreeOnEveryPortValueAndTlsFile) {
    TestCertificates pki(dir.path());
    ASSERT_TRUE(pki.authority("ca") && pki.issue("station", "ca", "station") &&
                pki.issue("old", "ca", "station", -1) && pki.issue("r1", "ca", "000001") &&
                pki.revoke("r1", "ca"))
        << pki.error().toStdString();
    const QString open = pki.key("open");
    QFile::copy(pki.key("station"), open);
    QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QTcpServer taken, probe; // the probe finds a port free on every address, then lets it go
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0) && probe.listen(QHostAddress::Any, 0));
    const QString P = QString::number(probe.serverPort()), T = QString::number(taken.serverPort());
    probe.close();
    const QString tls = "tls:127.0.0.1:" + P;
    const auto file = [](const char* key, const QString& path) {
        return QByteArray(key) + "=" + path.toUtf8() + "\n";
    };
    const auto pair = [&](const QString& cert, const QString& key) {
        return file("CertificateFile", cert) + file("KeyFile", key);
    };
    const QString cert = pki.cert("station"), key = pki.key("station");
    const QByteArray good = pair(cert, key);
    const struct {
        QString value;
        QByteArray network;  // the [Network] section
        const char* refusal; // nullptr: opens
    } cases[] = {
        {"tcp:127.0.0.1:" + P, "", nullptr},
        {"tcp:[::1]:" + P, "", nullptr},
        {"tcp:::1:" + P, "", nullptr}, // the port follows the last colon
        {"tcp:*:" + P, "", nullptr},
        {"tcp:localhost:" + P, "", nullptr},
        {"tcp:127.0.0.1:0", "", "from 1 to 65535"},
        {"tcp:127.0.0.1:65536", "", "from 1 to 65535"},
        {"tcp:127.0.0.1:+5001", "", "from 1 to 65535"},
        {"tcp:127.0.0.1", "", "not of the form tcp:HOST:PORT"},
        {"tcp::" + P, "", "no host"},
        {"tcp:[::1:" + P, "", "not an IPv6 address"},
        {"tcp:fe80::zz:" + P, "", "in brackets"},
        {"tcp:192.0.2.1:" + P, "", "cannot be listened on"}, // not an address of this machine
        {"tcp:127.0.0.1:" + T, "", "cannot be listened on"},
        {"/dev/ttyS99-none", "", ""},
        {"/dev/null", "", ""}, // opens, but takes no line settings
        {tls, good + file("ClientCAFile", pki.cert("ca")) + file("CRLFile", pki.crl("ca")),
         nullptr},
        {tls, file("KeyFile", key), "no CertificateFile is set in section Network"},
        {tls, file("CertificateFile", cert), "no KeyFile is set"},
        {tls, pair(dir.filePath("none.crt"), key), "none.crt cannot be read: No such file"},
        {tls, pair(key, key), "holds no PEM certificate"},
        {tls, pair(cert, open), "may be read by others than its owner"},
        {tls, pair(cert, pki.key("old")), "does not match the certificate"},
        {tls, pair(pki.cert("old"), pki.key("old")), "expired on"},
        {tls, good + file("ClientCAFile", dir.filePath("none.crt")), "ClientCAFile"},
        {tls, good + file("CRLFile", pki.crl("ca")), "CRLFile is set without ClientCAFile"},
        {tls, good + file("ClientCAFile", pki.cert("ca")) + file("CRLFile", pki.cert("ca")),
         "holds no PEM revocation list"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.value + ' ' + c.network).toStdString());
        const auto [said, failure] =
            checkAndOpen("[Ports]\nCOM1=" + c.value.toUtf8() + "\n[Network]\n" + c.network);
        EXPECT_EQ(said == "OK", c.refusal == nullptr) << said.toStdString();
        EXPECT_EQ(failure == "<no failure>", c.refusal == nullptr) << failure;
        if (c.refusal && *c.refusal) {
            EXPECT_EQ(failure, ("COM1: " + said).toStdString());
            const QString named = c.network.isEmpty() ? c.value : c.value + ": ";
            EXPECT_TRUE(said.startsWith(named) && said.contains(c.refusal)) << failure;
        }
    }
}

// The hand-edited network settings reach the line (a MaxCalls below 1 would refuse every call),
// and each value says whether the file or the built-in default gave it. What Save writes is
// checked through the window (PanelTest, StartupTest).
TEST_F(ConfigurationTest, NetworkSettingsReachThePortRequestAndEachValueSaysItsSource) {
    LoadedConfiguration loaded =
        load("[Network]\nMaxCalls=0\nMaxCallMinutes=5\nAllowFrom=10.0.0.0/8\n");
    ASSERT_EQ(loaded.problems.size(), 1);
    EXPECT_TRUE(loaded.problems[0].contains("MaxCalls=\"0\"")) << loaded.problems[0].toStdString();
    PortRequest request = portRequestFor(loaded.config, "tcp:127.0.0.1:5001");
    EXPECT_EQ(request.maxCalls, 32);
    EXPECT_EQ(request.config.maxCall, std::chrono::minutes(5));
    EXPECT_EQ(request.allowFrom, "10.0.0.0/8");
    EXPECT_EQ(request.defence,
              (DefenderSettings{10, std::chrono::minutes(15), std::chrono::minutes(15)}));
    loaded = load("[Path]\nBackroomPath=/data/\n[Communication]\nSpeed=2400\nConnection=modem\n"
                  "[Network]\nMaxCalls=200\nBlockAfter=3\nBlockMinutes=0\n");
    request = portRequestFor(loaded.config, "tcp:127.0.0.1:5001");
    EXPECT_EQ(request.maxCalls, 200);
    EXPECT_EQ(request.defence.blockAfter, 3);
    EXPECT_EQ(request.defence.blockFor, std::chrono::minutes(15)); // 0 would block for nothing
    EXPECT_EQ(loaded.sources["BackroomPath"], ValueSource::Ini);
    EXPECT_EQ(loaded.sources["Speed"], ValueSource::Ini);
    EXPECT_EQ(loaded.sources["ComPort"], ValueSource::BuiltIn);
    EXPECT_EQ(loaded.sources["LogPath"], ValueSource::BuiltIn); // Backroom stands in for it
    EXPECT_TRUE(loaded.defaultsUsed);
}

TEST_F(ConfigurationTest, FoldersFallBackToTheCompanionProduct) {
    const QString e = dir.filePath("E"), g = dir.filePath("G"), l = dir.filePath("L"),
                  home = QDir::homePath() + '/';
    const struct {
        QByteArray own;
        QString resto, log, general, backroom, logFolder;
        bool defaults;
    } cases[] = {
        {"", e, "", g + '/', e + '/', g + "/Logs/", false},
        {"", e, l, "", e + '/', l + '/', false},
        {"", e, "", g, e + '/', g + "Logs/", false}, // nothing put between G and Logs
        {"", e, "", "", e + '/', e + '/', true},
        {"", "", "", g, home, g + "Logs/", true},
        {"D", e, l, "", "", l + '/', false}, // one character: no folder at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.own + '|' + c.resto + '|' + c.log + '|' + c.general).toStdString());
        registry.values = {{"Stockwell/Global/GRestoPath", c.resto},
                           {"Stockwell/Global/LogPath", c.log},
                           {"Stockwell/Global/GGeneralPath", c.general}};
        const LoadedConfiguration loaded = load("[Path]\nBackroomPath=" + c.own + "\n");
        EXPECT_EQ(loaded.config.BackroomFolder, c.backroom);
        EXPECT_EQ(loaded.config.LogFolder, c.logFolder);
        EXPECT_EQ(loaded.defaultsUsed, c.defaults);
    }
    // The companion's own INI file beside the station wins over its registry when switched on.
    writeFile(dir.filePath("Stockwell.ini"),
              "[Global]\nGUseIni=True\nGRestoPath=" + g.toLocal8Bit() + "\n");
    EXPECT_EQ(load("[Path]\n").config.BackroomFolder, g + '/');
}

using StartUp = BackroomTest;

TEST_F(StartUp, RemovesPartlyReceivedFilesOnlyWhereTheRestaurantIsFree) {
    for (const char* folder : {"000124", "000125"})
        QDir(backroom).mkdir(folder);
    for (const char* path : {"000123/itrfinv1.tmp", "000123/itrfinv1", "000123/trfinv1.tmp",
                             "000124/itrfinv2.tmp", "000125/itrfinv10.tmp"})
        writeFile(backroom + path, "x");
    RestaurantLock otherStation;
    ASSERT_EQ(otherStation.tryLock(backroom + "000124/"), RestaurantLock::Outcome::Taken);
    EXPECT_EQ(removeLeftoverReceives(backroom), QStringList{backroom + "000123/itrfinv1.tmp"});
    for (const char* kept :
         {"000123/itrfinv1", "000123/trfinv1.tmp", "000124/itrfinv2.tmp", "000125/itrfinv10.tmp"})
        EXPECT_TRUE(QFile::exists(backroom + kept)) << kept;
}

TEST(DailyPurge, IsDueFiveMinutesAfterTheNextLocalMidnight) {
    using std::chrono::minutes;
    const QDate day(2026, 12, 6);
    EXPECT_EQ(untilDailyPurge(QDateTime(day, QTime(23, 0))), minutes(65));
    EXPECT_EQ(untilDailyPurge(QDateTime(day, QTime(0, 0))), minutes(24 * 60 + 5));
    // Just after the purge time: the next one is a day later, never at once.
    EXPECT_EQ(untilDailyPurge(QDateTime(day, QTime(0, 5))), minutes(24 * 60));
}

TEST(ServiceText, BytesFromTheLineNeverReachALogLineRaw) {
    EXPECT_EQ(printable(QByteArray("\x1b[2J\n\\\x1f\x7f\xe9", 9)),
              "\\x1b[2J\\x0a\\x5c\\x1f\\x7f\\xe9");
    CallSummary call;
    call.restoNum = "00\n123";
    call.transaction = "S";
    call.type = "1";
    call.outcome = CallOutcome::Completed;
    call.records = 2000;
    call.duration = std::chrono::milliseconds(3240);
    EXPECT_EQ(describeCall(call), "call 00\\x0a123 S1: completed, 2000 records received, 3.2 s");
    call.outcome = CallOutcome::Busy;
    call.reason = "restaurant 000123 is busy on another call";
    EXPECT_EQ(describeCall(call),
              "call 00\\x0a123 S1: busy (restaurant 000123 is busy on another call), 3.2 s");

    // Texts (a reason quoting a file name) keep one line each in the log and the window.
    std::FILE* file = std::tmpfile();
    ServiceLog(file).write(ServiceLog::Level::Info, QStringLiteral("a\nb\u0085c\u2028"));
    std::rewind(file);
    char line[200] = {};
    EXPECT_TRUE(QByteArray(std::fgets(line, sizeof line, file)).endsWith("a\\x0ab\\x85c\\u2028\n"));
    std::fclose(file);
    journal::Entry failed;
    failed.outcome = QStringLiteral("failed");
    failed.reason = QStringLiteral("Cannot open x\ry");
    EXPECT_EQ(callResult(failed, QLocale::c()), "failed: Cannot open x\\x0dy");
}

// Which Dialvane.ini a command reads. An installed program (bin/ beside share/dialvane) must
// never take its own folder, and must not guess between several lines.
TEST(ConfigFolderTest, OptionsThenTheProgramsFolderThenTheOnlyInstalledLine) {
    QTemporaryDir root;
    const QString prefix = root.filePath("usr"), lines = root.filePath("etc/dialvane");
    for (const char* folder : {"/usr/bin", "/usr/share/dialvane", "/etc/dialvane/line1",
                               "/etc/dialvane/line2", "/etc/dialvane/empty"})
        QDir().mkpath(root.path() + folder); // "empty" holds no Dialvane.ini: not a line
    writeFile(prefix + "/share/dialvane/Dialvane.ini", "");
    const QString bin = prefix + "/bin", build = root.filePath("build");
    const auto chosen = [&](const QString& dir, const QString& line, const QString& program,
                            ConfigUser user = ConfigUser::Command) {
        const ConfigFolder c = chooseConfigFolder(dir, line, program, user, lines);
        return c.problem.isEmpty() ? c.folder : "problem: " + c.problem.section(' ', 0, 2);
    };
    EXPECT_EQ(chosen("/srv/x/", "", bin), "/srv/x");
    EXPECT_EQ(chosen("", "line1", bin), lines + "/line1");
    EXPECT_EQ(chosen("/srv/x", "line1", bin), "problem: --config-dir and --line");
    EXPECT_EQ(chosen("", "../x", bin), "problem: --line takes the");
    EXPECT_EQ(chosen("", "", build), build);
    EXPECT_EQ(chosen("", "", bin), "problem: no line is");
    EXPECT_TRUE(chosen("", "", bin, ConfigUser::Window).endsWith("/dialvane"));
    writeFile(lines + "/line1/Dialvane.ini", "");
    EXPECT_EQ(chosen("", "", bin), lines + "/line1");
    writeFile(lines + "/line2/Dialvane.ini", "");
    EXPECT_EQ(chosen("", "", bin), "problem: 2 lines are");
}

} // namespace
} // namespace dialvane::test
