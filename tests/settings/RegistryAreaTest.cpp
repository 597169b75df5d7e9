// Without a registry, each application's values live in one private-profile file in the
// per-user configuration folder.
#include "SettingsTestSupport.h"

using namespace dialvane;
using namespace dialvane::testing;

namespace {

class RegistryAreaFiles : public SettingsWorld {};

TEST_F(RegistryAreaFiles, ValuesLiveInOneFilePerApplication) {
    RegistryArea& area = userRegistryArea();
    EXPECT_EQ(area.read("Stockwell", "Global", "LogPath", "dflt"), QStringLiteral("dflt"));
    area.write("Stockwell", "Global", "LogPath", "/var/log/stockwell/");
    area.write("Dialvane", "Global", "GDelay", "200");
    EXPECT_EQ(area.read("Stockwell", "global", "logpath", "dflt"),
              QStringLiteral("/var/log/stockwell/"));
    EXPECT_EQ(area.read("Dialvane", "Global", "LogPath", "dflt"), QStringLiteral("dflt"));
    EXPECT_TRUE(QFileInfo::exists(registryFile("Stockwell")));
    EXPECT_TRUE(QFileInfo::exists(registryFile("Dialvane")));
    EXPECT_EQ(QDir(tmp.filePath("xdg/dialvane/registry")).entryList(QDir::Files).size(), 2);
}

TEST_F(RegistryAreaFiles, GivesBackExactlyTheStoredString) {
    RegistryArea& area = userRegistryArea();
    for (const QString& value :
         {QStringLiteral(""), QStringLiteral("  padded  "), QStringLiteral("\"quoted\""),
          QStringLiteral("a=b;c"), QStringLiteral("Fermé"), QStringLiteral("NONE")}) {
        SCOPED_TRACE(value.toStdString());
        area.write("App", "S", "k", value);
        EXPECT_EQ(area.read("App", "S", "k", "dflt"), value);
    }
}

TEST_F(RegistryAreaFiles, AnApplicationNameCannotLeadOutOfTheArea) {
    userRegistryArea().write("../escape", "S", "k", "v");
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("xdg/dialvane/escape.ini")));
    EXPECT_EQ(userRegistryArea().read("../escape", "S", "k", "d"), QStringLiteral("v"));
    EXPECT_EQ(
        QDir(tmp.filePath("xdg/dialvane/registry")).entryList(QDir::Files | QDir::Hidden).size(),
        1);
}

TEST_F(RegistryAreaFiles, DefaultsToTheConfigFolderInHome) {
    const QByteArray oldHome = qgetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(tmp.filePath("home")));
    userRegistryArea().write("App", "S", "k", "v");
    const bool atHome = QFileInfo::exists(tmp.filePath("home/.config/dialvane/registry/App.ini"));
    qputenv("HOME", oldHome);
    EXPECT_TRUE(atHome);
}

} // namespace
