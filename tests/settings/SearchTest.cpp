// Search looks through the registry area and both INI files in one of two orders and takes the
// first store that holds the setting; "NONE" stored anywhere counts as not there.
#include "SettingsTestSupport.h"

using namespace dialvane;
using namespace dialvane::testing;

namespace {

const QString kApp = QStringLiteral("Dialvane");
const QString kOther = QStringLiteral("Stockwell");

class Search : public SettingsWorld {
protected:
    void SetUp() override {
        SettingsWorld::SetUp();
        m.Init(kApp, local);
        m.SetGeneralIniFilePath(general);
    }

    // Stores a value in the named stores of `app`; nullptr leaves a store without the key.
    void store(const char* registry, const char* localValue, const char* generalValue,
               const QString& app = kApp, const QString& localFolder = {}) {
        if (registry)
            fake.write(app, "S", "k", QString::fromLatin1(registry));
        if (localValue)
            WritePrivateProfileString("S", "k", QString::fromLatin1(localValue),
                                      (localFolder.isEmpty() ? local : localFolder) + app + ".ini");
        if (generalValue)
            WritePrivateProfileString("S", "k", QString::fromLatin1(generalValue),
                                      general + app + ".ini");
    }

    FakeRegistryArea fake;
    SettingsManager m{fake};
};

TEST_F(Search, LocalToGeneralTakesTheRegistryFirst) {
    store("registry", "local", "general");
    EXPECT_EQ(m.Search("S", "k", "d"), QStringLiteral("registry"));
    EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral("registry"));
    EXPECT_EQ(m.Search("S", "k", "d", 2), QStringLiteral("registry"));
    EXPECT_EQ(m.Search("S", "k", "d", -1), QStringLiteral("registry"));
}

TEST_F(Search, GeneralToLocalTakesTheGeneralFileFirst) {
    store("registry", "local", "general");
    EXPECT_EQ(m.Search("S", "k", "d", 1), QStringLiteral("general"));
}

TEST_F(Search, LocalToGeneralFallsThroughInOrder) {
    store(nullptr, "local", "general");
    EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral("local"));
    QFile::remove(local + "Dialvane.ini");
    EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral("general"));
    QFile::remove(general + "Dialvane.ini");
    EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral("d"));
}

TEST_F(Search, GeneralToLocalFallsThroughInOrder) {
    store("registry", "local", nullptr);
    EXPECT_EQ(m.Search("S", "k", "d", 1), QStringLiteral("local"));
    QFile::remove(local + "Dialvane.ini");
    EXPECT_EQ(m.Search("S", "k", "d", 1), QStringLiteral("registry"));
    fake.values.clear();
    EXPECT_EQ(m.Search("S", "k", "d", 1), QStringLiteral("d"));
}

TEST_F(Search, NoneStoredCountsAsAbsent) {
    store("NONE", "NONE", "general");
    EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral("general"));
    store("registry", "NONE", "NONE");
    EXPECT_EQ(m.Search("S", "k", "d", 1), QStringLiteral("registry"));
    // The last store is read with the caller's default, so its "NONE" comes back as it is.
    store("NONE", "NONE", "NONE");
    EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral("NONE"));
    // The marker is exact: other spellings are values.
    store("none", "local", "general");
    EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral("none"));
    store(" NONE", nullptr, nullptr);
    EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral(" NONE"));
}

TEST_F(Search, AnEmptyValueIsFoundAndReturnedEmpty) {
    store("", "local", "general");
    EXPECT_EQ(m.Search("S", "k", "d", 0), QString());
    fake.values.clear();
    store(nullptr, "", "general");
    EXPECT_EQ(m.Search("S", "k", "d", 0), QString());
    EXPECT_EQ(m.Search("S", "k", "d", 1), QStringLiteral("general"));
}

TEST_F(Search, IgnoresTheUseIniSwitch) {
    store("registry", "local", "general");
    for (bool on : {false, true}) {
        m.SetUseIni(on);
        EXPECT_EQ(m.Search("S", "k", "d", 0), QStringLiteral("registry"));
        EXPECT_EQ(m.Search("S", "k", "d", 1), QStringLiteral("general"));
    }
}

TEST_F(Search, OwnApplicationIgnoresTheOtherLocalFolder) {
    store(nullptr, "local", nullptr);
    store(nullptr, "other", nullptr, kApp, other);
    EXPECT_EQ(m.Search("S", "k", "d", 0, {}, other), QStringLiteral("local"));
}

TEST_F(Search, AnotherApplicationUsesTheGivenLocalFolderAndOurGeneralFolder) {
    store(nullptr, "other", "general", kOther, other);
    store(nullptr, "local", nullptr, kOther);
    EXPECT_EQ(m.Search("S", "k", "d", 0, kOther, other.chopped(1)), QStringLiteral("other"));
    EXPECT_EQ(m.Search("S", "k", "d", 0, kOther), QStringLiteral("local"));
    EXPECT_EQ(m.Search("S", "k", "d", 1, kOther, other), QStringLiteral("general"));
    fake.write(kOther, "S", "k", QStringLiteral("registry"));
    EXPECT_EQ(m.Search("S", "k", "d", 0, kOther, other), QStringLiteral("registry"));
    // The ".ini" rule of Save and Load does not apply here.
    EXPECT_EQ(m.Search("S", "k", "d", 0, QStringLiteral("Stockwell.ini"), other),
              QStringLiteral("d"));
}

TEST_F(Search, AnotherApplicationWithoutAGeneralFolderReadsABareFileName) {
    QDir::setCurrent(cwd);
    SettingsManager fresh(fake); // neither initialised nor given a general folder
    WritePrivateProfileString("S", "k", QStringLiteral("bare"), cwd + "Stockwell.ini");
    EXPECT_EQ(fresh.Search("S", "k", "d", 1, kOther, other), QStringLiteral("bare"));
    EXPECT_EQ(fresh.Search("S", "k", "d", 0, kOther, other), QStringLiteral("bare"));
}

} // namespace
