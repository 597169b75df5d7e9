// The situations the program itself runs into: its own Dialvane.ini read with location 4, the
// companion product read before anything is initialised, folders given in every form.
#include "SettingsTestSupport.h"

using namespace dialvane;
using namespace dialvane::testing;

namespace {

const QString kApp = QStringLiteral("Dialvane");

class SettingsEdgeCases : public SettingsWorld {};

TEST_F(SettingsEdgeCases, LocationFourReadsDialvaneIniWhateverTheSwitch) {
    for (const char* useIni : {"False", "True"}) {
        SCOPED_TRACE(useIni);
        writeBytes(local + "Dialvane.ini", QByteArray("[Global]\r\nGUseIni=") + useIni +
                                               "\r\n[Path]\r\nBackroomPath=/srv/backroom/\r\n");
        userRegistryArea().write(kApp, "Path", "BackroomPath", "/from/registry/");
        SettingsManager m;
        m.Init(kApp, local);
        EXPECT_EQ(m.Load("Path", "BackroomPath", {}, 4), QStringLiteral("/srv/backroom/"));
        EXPECT_EQ(m.Load("Path", "LogPath", {}, 4), QString());
    }
}

TEST_F(SettingsEdgeCases, TheLocalFolderIsTheSameWithOrWithoutItsSeparator) {
    writeBytes(local + "Dialvane.ini", "[S]\r\nk=local\r\n");
    SettingsManager with, without;
    with.Init(kApp, local);
    without.Init(kApp, local.chopped(1));
    EXPECT_EQ(with.Load("S", "k", "d", 4), QStringLiteral("local"));
    EXPECT_EQ(without.Load("S", "k", "d", 4), QStringLiteral("local"));
    without.Save("S", "k2", "v", 4);
    EXPECT_EQ(readBytes(local + "Dialvane.ini"), "[S]\r\nk=local\r\nk2=v\r\n");
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("localDialvane.ini")));
}

TEST_F(SettingsEdgeCases, AnEmptyLocalFolderMeansTheRootNotTheCurrentFolder) {
    // The local file becomes "/Dialvane.ini": a file beside the current folder is not it.
    QDir::setCurrent(cwd);
    writeBytes(cwd + "Dialvane.ini", "[Global]\r\nGUseIni=True\r\n[S]\r\nk=cwd\r\n");
    SettingsManager m;
    m.Init(kApp, QString());
    EXPECT_FALSE(m.UseIni());
    EXPECT_EQ(m.Load("S", "k", "d", 4), QStringLiteral("d"));
}

TEST_F(SettingsEdgeCases, CompanionProductIsReadBeforeInitFromABareFileName) {
    QDir::setCurrent(cwd);
    userRegistryArea().write("Stockwell", "Global", "GRestoPath", "/from/registry/");
    SettingsManager m;
    EXPECT_EQ(m.Load("Global", "GRestoPath", {}, 1, "Stockwell"),
              QStringLiteral("/from/registry/"));
    writeBytes(cwd + "Stockwell.ini", "[Global]\r\nGUseIni=True\r\nGRestoPath=/from/ini/\r\n");
    EXPECT_EQ(m.Load("Global", "GRestoPath", {}, 1, "Stockwell"), QStringLiteral("/from/ini/"));
}

TEST_F(SettingsEdgeCases, UnknownLocationLoadsEmptyAndSavesNothing) {
    writeBytes(local + "Dialvane.ini", "[S]\r\nk=local\r\n");
    SettingsManager m;
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    EXPECT_EQ(m.Load("S", "k", "not empty", 7), QString());
    EXPECT_NO_THROW(m.Save("S", "k", "x", 7));
    EXPECT_EQ(readBytes(local + "Dialvane.ini"), "[S]\r\nk=local\r\n");
    EXPECT_TRUE(QDir(general).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(registryFile(kApp)));
}

TEST_F(SettingsEdgeCases, AThreeThousandCharacterValueReadsBackAsItsFirst2047) {
    const QString value = QString(1000, QLatin1Char('a')) + QString(2000, QLatin1Char('b'));
    SettingsManager m;
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    m.Save("S", "k", value, 4);
    m.Save("S", "k", value, 0);
    EXPECT_EQ(m.Load("S", "k", {}, 4), value.left(2047));
    EXPECT_EQ(m.Search("S", "k", {}, 1), value.left(2047));
}

TEST_F(SettingsEdgeCases, TheGeneralFolderGetsItsSeparator) {
    SettingsManager m;
    EXPECT_EQ(m.GeneralIniFilePath(), QString());
    m.SetGeneralIniFilePath(general.chopped(1));
    EXPECT_EQ(m.GeneralIniFilePath(), general);
    m.Init(kApp, local);
    m.Save("S", "k", "g", 0);
    EXPECT_EQ(readBytes(general + "Dialvane.ini"), "[S]\r\nk=g\r\n");
    m.SetGeneralIniFilePath(QString());
    EXPECT_EQ(m.GeneralIniFilePath(), QStringLiteral("/"));
}

TEST_F(SettingsEdgeCases, InitAgainReplacesTheApplicationButKeepsTheGeneralFolder) {
    writeBytes(local + "Dialvane.ini", "[Global]\r\nGUseIni=true\r\n[S]\r\nk=first\r\n");
    writeBytes(other + "Second.ini", "[S]\r\nk=second\r\n");
    SettingsManager m;
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    EXPECT_TRUE(m.UseIni());
    m.Init("Second", other);
    EXPECT_FALSE(m.UseIni());
    EXPECT_EQ(m.GeneralIniFilePath(), general);
    EXPECT_EQ(m.Load("S", "k", "d", 4), QStringLiteral("second"));
    m.Save("S", "k", "g", 0);
    EXPECT_EQ(readBytes(general + "Second.ini"), "[S]\r\nk=g\r\n");
}

} // namespace
