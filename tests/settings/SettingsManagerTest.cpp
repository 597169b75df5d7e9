// Settings on disk: private-profile files read and written whole, the settings manager's choice
// of file or registry for the station's and the companion product's keys, the per-user area.
#include "settings/SettingsManager.h"
#include "settings/INIFunctions.h"
#include "settings/RegistryArea.h"
#include "support/MemoryRegistry.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

using namespace dialvane;
using namespace dialvane::test;

namespace {

// A private world for one test: a temporary folder holding the local and current folders, and
// the per-user registry area redirected into it through XDG_CONFIG_HOME.
class SettingsWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("xdg"))));
    }
    void TearDown() override { QDir::setCurrent(oldCurrent); }

    EnvironmentVariable xdg{"XDG_CONFIG_HOME"}, home{"HOME"};
    QTemporaryDir tmp;
    QString local = folder("local"), cwd = folder("cwd");

private:
    QString folder(const char* name) const {
        QDir(tmp.path()).mkdir(name);
        return tmp.filePath(name) + '/';
    }

    const QString oldCurrent = QDir::currentPath();
};

using IniFiles = SettingsWorld;

TEST_F(IniFiles, AWriteReplacesTheFileWholeAsEightBitTextAndAReadFallsBackToTheDefault) {
    const QString file = cwd + "Dialvane.ini";
    EXPECT_TRUE(WritePrivateProfileString("Global", "GDelay", "200", file));
    EXPECT_TRUE(WritePrivateProfileString("Path", "LogPath", "/var/log/", file));
    EXPECT_TRUE(WritePrivateProfileString(QStringLiteral("Fermé"), QStringLiteral("Clé"),
                                          QStringLiteral("Café 5 €"), file));
    EXPECT_EQ(readAll(file), "[Global]\r\nGDelay=200\r\n[Path]\r\nLogPath=/var/log/\r\n"
                             "[Ferm\xE9]\r\nCl\xE9=Caf\xE9 5 ?\r\n");
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("FERMÉ"), QStringLiteral("clé"), {}, file),
              QStringLiteral("Café 5 ?"));
    // A value of 3000 characters is stored whole and read back cut.
    EXPECT_TRUE(WritePrivateProfileString("Long", "k", QString(3000, 'v'), file));
    EXPECT_TRUE(readAll(file).endsWith("[Long]\r\nk=" + QByteArray(3000, 'v') + "\r\n"));
    EXPECT_EQ(GetPrivateProfileString("Long", "k", {}, file), QString(2047, 'v'));
    EXPECT_EQ(GetPrivateProfileString("Long", "k", "dflt", cwd + "none.ini"), "dflt");
    // The default passes through the same read buffer as a stored value.
    EXPECT_EQ(GetPrivateProfileString("Long", "x", QString(3000, 'd'), file), QString(2047, 'd'));
    // A bare file name is resolved in the current folder.
    ASSERT_TRUE(QDir::setCurrent(cwd));
    EXPECT_EQ(GetPrivateProfileString("global", "GDelay", {}, "Dialvane.ini"), "200");
    // Nothing is left beside the file.
    EXPECT_EQ(QDir(cwd).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{"Dialvane.ini"});
    // A write that cannot be made is lost without harm.
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", cwd + "missing/folder/x.ini"));
    EXPECT_FALSE(QFileInfo::exists(cwd + "missing"));
    ASSERT_TRUE(QDir(cwd).mkdir("adir.ini"));
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", cwd + "adir.ini"));
    EXPECT_TRUE(QFileInfo(cwd + "adir.ini").isDir());
}

constexpr int kOwnFile = 4;
constexpr int kCompanion = 1;
const QString kApp = QStringLiteral("Dialvane");
const QString kCompanionApp = QStringLiteral("Stockwell");

using Settings = SettingsWorld;

TEST_F(Settings, OwnKeysStayInTheOwnFileAndTheCompanionFollowsItsOwnSwitch) {
    const struct {
        const char* ownSwitch;
        QByteArray companionFile; // Stockwell.ini beside Dialvane.ini; empty: none
        bool companionInFile;
    } cases[] = {
        {"False", "[Global]\r\nGUseIni=tRuE\r\n", true},
        {"True", "[Global]\r\nGUseIni=yes\r\n", false},
        {"True", "[Global]\r\nGUseIni=truex\r\n", false},
        {"True", "[Other]\r\nGUseIni=True\r\n", false}, // only section Global counts
        {"True", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.companionFile.toStdString() + " / own switch " + c.ownSwitch);
        const QString own = local + kApp + ".ini", companion = local + kCompanionApp + ".ini";
        writeFile(own, "[Global]\r\nGUseIni=" + QByteArray(c.ownSwitch) + "\r\n[S]\r\nk=own\r\n");
        QFile::remove(companion);
        if (!c.companionFile.isEmpty())
            writeFile(companion, c.companionFile + "[S]\r\nk=file\r\n");
        MemoryRegistry registry;
        registry.values = {{"Dialvane/S/k", "own registry"}, {"Stockwell/S/k", "registry"}};
        SettingsManager m(registry);
        m.Init(kApp, &c - cases == 0 ? local.chopped(1) : local); // with or without separator

        EXPECT_EQ(m.Load("S", "k", "d", kOwnFile), "own");
        EXPECT_EQ(m.Load("S", "k", "d", kCompanion, kCompanionApp),
                  c.companionInFile ? "file" : "registry");
        m.Save("S", "new", "v", kOwnFile);
        m.Save("S", "new", "w", kCompanion, kCompanionApp);
        EXPECT_EQ(GetPrivateProfileString("S", "new", "<absent>", own), "v");
        EXPECT_EQ(GetPrivateProfileString("S", "new", "<absent>", companion),
                  c.companionInFile ? "w" : "<absent>");
        EXPECT_EQ(registry.values.value("Stockwell/S/new", "<absent>"),
                  c.companionInFile ? "<absent>" : "w");
    }
    EXPECT_TRUE(QDir(tmp.filePath("xdg")).isEmpty()) << "the registry area given is the one used";
}

// Without a registry, each application's values live in one private-profile file in the
// per-user configuration folder.
TEST_F(Settings, TheRegistryAreaKeepsOneFilePerApplicationAndGivesBackExactlyTheValue) {
    RegistryArea& area = userRegistryArea();
    area.write(kApp, "Global", "GDelay", "200");
    EXPECT_EQ(area.read(kCompanionApp, "Global", "GDelay", "dflt"), "dflt");
    for (const QString& value :
         {QStringLiteral(""), QStringLiteral("  padded  "), QStringLiteral("\"quoted\""),
          QStringLiteral("a=b;c"), QStringLiteral("Fermé"), QStringLiteral("NONE")}) {
        area.write(kCompanionApp, "Global", "LogPath", value);
        EXPECT_EQ(area.read(kCompanionApp, "global", "logpath", "dflt"), value);
    }
    // An application name cannot lead out of the area.
    area.write("../escape", "S", "k", "v");
    EXPECT_EQ(area.read("../escape", "S", "k", "d"), "v");
    EXPECT_EQ(
        QDir(tmp.filePath("xdg/dialvane/registry")).entryList(QDir::Files | QDir::Hidden).size(),
        3);
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("xdg/dialvane/escape.ini")));
    // Without XDG_CONFIG_HOME, the area is in the configuration folder of the home folder.
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(tmp.filePath("home")));
    area.write("App", "S", "k", "v");
    EXPECT_TRUE(QFileInfo::exists(tmp.filePath("home/.config/dialvane/registry/App.ini")));
}

} // namespace
