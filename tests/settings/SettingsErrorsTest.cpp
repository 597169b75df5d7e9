// Misuse of the manager is reported with fixed numbers, sources and descriptions that callers
// match on, and the failed call leaves no trace.
#include "SettingsTestSupport.h"

#include <functional>

using namespace dialvane;
using namespace dialvane::testing;

namespace {

const QString kApp = QStringLiteral("Dialvane");

struct Expected {
    int number;
    const char* source;
    const char* description;
};

void expectError(const std::function<void()>& call, const Expected& e) {
    try {
        call();
        ADD_FAILURE() << "expected error " << e.number;
    } catch (const SettingsError& error) {
        EXPECT_EQ(error.number(), e.number);
        EXPECT_EQ(error.source(), QString::fromLatin1(e.source));
        if (e.description) {
            EXPECT_EQ(error.description(), QString::fromLatin1(e.description));
        }
        EXPECT_EQ(QString::fromStdString(error.what()), error.description());
    }
}

const Expected kSaveUninitialised{
    2820, "SettingsManager.Save",
    "You have atetmpted to save a setting without initialising, use Init method"};
const Expected kLoadUninitialised{
    2820, "SettingsManager.Load",
    "You have atetmpted to load a setting without initialising, use Init method"};
const Expected kLoadNoGeneral{
    2821, "SettingsManager.Load",
    "You have atetmpted to load a general setting without initialising general path"};
const Expected kSearchNoGeneral{2822, "SettingsManager.Load",
                                "You have atetmpted to search from general to local for a "
                                "setting without initialising general path"};

class SettingsErrors : public SettingsWorld {
protected:
    // Nothing written anywhere: no INI file in any folder we know, no registry value.
    void expectNothingWritten() {
        for (const QString& folder : {local, general, other, cwd})
            EXPECT_TRUE(QDir(folder).isEmpty()) << folder.toStdString();
        EXPECT_EQ(fake.writes, 0);
        EXPECT_FALSE(QFileInfo::exists(tmp.filePath(QStringLiteral("xdg"))));
    }

    FakeRegistryArea fake;
};

TEST_F(SettingsErrors, OwnApplicationBeforeInitIs2820ForEveryLocation) {
    QDir::setCurrent(cwd);
    SettingsManager m(fake);
    for (int location : {0, 1, 2, 3, 4, 7}) {
        SCOPED_TRACE(location);
        expectError([&] { m.Save("S", "k", "v", location); }, kSaveUninitialised);
        expectError([&] { m.Save("S", "k", "v", location, {}, other); }, kSaveUninitialised);
        expectError([&] { m.Load("S", "k", "d", location); }, kLoadUninitialised);
    }
    // Search reports under the source of Load, even with the general folder set.
    m.SetGeneralIniFilePath(general);
    for (int direction : {0, 1})
        expectError([&] { m.Search("S", "k", "d", direction); }, kLoadUninitialised);
    EXPECT_EQ(fake.reads, 0);
    expectNothingWritten();
}

TEST_F(SettingsErrors, GeneralLocationWithoutAGeneralFolderIs2821) {
    SettingsManager m(fake);
    m.Init(kApp, local);
    expectError([&] { m.Load("S", "k", "d", 0); }, kLoadNoGeneral);
    expectError([&] { m.Load("S", "k", "d"); }, kLoadNoGeneral); // 0 is the default location
    expectError([&] { m.Save("S", "k", "v", 0); }, {2821, "SettingsManager.Save", nullptr});
    try {
        m.Save("S", "k", "v", 0, {}, other);
        ADD_FAILURE() << "expected error 2821";
    } catch (const SettingsError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("general path"))) << e.what();
    }
    expectNothingWritten();
    EXPECT_TRUE(m.GeneralIniFilePath().isEmpty());
    // The other locations need no general folder.
    EXPECT_NO_THROW(m.Save("S", "k", "v", 4));
    EXPECT_EQ(m.Load("S", "k", "d", 4), QStringLiteral("v"));
}

TEST_F(SettingsErrors, SearchWithoutAGeneralFolderIs2822InBothDirections) {
    SettingsManager m(fake);
    m.Init(kApp, local);
    for (int direction : {0, 1, 2, -1})
        expectError([&] { m.Search("S", "k", "d", direction); }, kSearchNoGeneral);
    // An other folder given for our own application does not help.
    expectError([&] { m.Search("S", "k", "d", 0, {}, other); }, kSearchNoGeneral);
    EXPECT_EQ(fake.reads, 0);
    expectNothingWritten();
}

TEST_F(SettingsErrors, AnotherApplicationNeedsNeitherInitNorAGeneralFolder) {
    QDir::setCurrent(cwd);
    SettingsManager m(fake);
    EXPECT_EQ(m.Load("S", "k", "d", 0, QStringLiteral("Stockwell"), other), QStringLiteral("d"));
    EXPECT_EQ(m.Search("S", "k", "d", 1, QStringLiteral("Stockwell"), other), QStringLiteral("d"));
    EXPECT_NO_THROW(m.Save("S", "k", "v", 0, QStringLiteral("Stockwell"), other));
    EXPECT_EQ(iniValue(other + QStringLiteral("Stockwell.ini"), "S", "k"), QStringLiteral("v"));
}

TEST_F(SettingsErrors, AFailedCallChangesNoState) {
    writeBytes(local + QStringLiteral("Dialvane.ini"), "[Global]\r\nGUseIni=true\r\n");
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.SetUseIni(false);
    EXPECT_THROW(m.Save("S", "k", "v", 0), SettingsError);
    EXPECT_THROW(m.Search("S", "k", "v", 1), SettingsError);
    EXPECT_FALSE(m.UseIni());
    EXPECT_TRUE(m.GeneralIniFilePath().isEmpty());
    EXPECT_EQ(readBytes(local + QStringLiteral("Dialvane.ini")), "[Global]\r\nGUseIni=true\r\n");
    m.Save("S", "k", "v", 1);
    EXPECT_EQ((fake.values[{kApp, "S", "k"}]), QStringLiteral("v"));
}

} // namespace
