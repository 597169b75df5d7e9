// The settings manager as the station uses it: its own keys always in Dialvane.ini in the program
// folder, the companion product's keys in that product's INI file beside it when that product's
// own switch says so and in its registry values otherwise, and the per-user registry area.
#include "SettingsTestSupport.h"

#include "support/MemoryRegistry.h"

using namespace dialvane;
using namespace dialvane::test;

namespace {

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
        {"False", "[Global]\r\nGUseIni=\"true\"\r\n", true},
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
