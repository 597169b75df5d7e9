// Which store a Save or Load reaches, for every location code, for our own application and for
// another one, with the use-INI switch on and off. Every store is seeded with a value naming
// itself, so a read shows where it went.
#include "SettingsTestSupport.h"

using namespace dialvane;
using namespace dialvane::testing;

namespace {

const QString kApp = QStringLiteral("Dialvane");
const QString kOther = QStringLiteral("Stockwell");
const QString kSection = QStringLiteral("S");
const QString kKey = QStringLiteral("k");

class LocationCodes : public SettingsWorld {
protected:
    QString ini(const QString& folder, const QString& app) const {
        return folder + app + QStringLiteral(".ini");
    }

    void seed(const QString& app, const QString& otherFolder) {
        for (const auto& [folder, name] :
             {std::pair{local, "local"}, {general, "general"}, {otherFolder, "other"}})
            if (!folder.isEmpty())
                WritePrivateProfileString(kSection, kKey, QString::fromLatin1(name),
                                          ini(folder, app));
        userRegistryArea().write(app, kSection, kKey, QStringLiteral("registry"));
    }

    // Where a value saved as "saved" landed.
    QString whereSaved(const QString& app, const QString& otherFolder) const {
        QStringList found;
        for (const auto& [folder, name] :
             {std::pair{local, "local"}, {general, "general"}, {otherFolder, "other"}})
            if (!folder.isEmpty() && iniValue(ini(folder, app), kSection, kKey) == "saved")
                found << QString::fromLatin1(name);
        if (registryValue(app, kSection, kKey) == "saved")
            found << QStringLiteral("registry");
        return found.join(QLatin1Char('+'));
    }

    void clearStores(const QString& app) {
        for (const QString& folder : {local, general, other})
            QFile::remove(ini(folder, app));
        QFile::remove(registryFile(app));
    }
};

struct Expectation {
    int location;
    const char* switchOff;
    const char* switchOn;
};

TEST_F(LocationCodes, LoadOfTheOwnApplication) {
    seed(kApp, other);
    SettingsManager m;
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    const Expectation table[] = {{0, "general", "general"},
                                 {1, "registry", "local"},
                                 {2, "registry", "registry"},
                                 {3, "registry", "registry"},
                                 {4, "local", "local"},
                                 {7, "", ""},
                                 {-1, "", ""},
                                 {5, "", ""}};
    for (const Expectation& e : table) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "location " << e.location << " switch " << on);
            m.SetUseIni(on);
            EXPECT_EQ(m.Load(kSection, kKey, QStringLiteral("dflt"), e.location),
                      QString::fromLatin1(on ? e.switchOn : e.switchOff));
            // The other folder is not ours to read.
            EXPECT_EQ(m.Load(kSection, kKey, QStringLiteral("dflt"), e.location, {}, other),
                      QString::fromLatin1(on ? e.switchOn : e.switchOff));
        }
    }
}

TEST_F(LocationCodes, SaveOfTheOwnApplication) {
    SettingsManager m;
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    const Expectation table[] = {{0, "general", "general"},
                                 {1, "registry", "local"},
                                 {2, "registry", "registry"},
                                 {3, "registry", "registry"},
                                 {4, "local", "local"},
                                 {7, "", ""},
                                 {-1, "", ""}};
    for (const Expectation& e : table) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "location " << e.location << " switch " << on);
            clearStores(kApp);
            m.SetUseIni(on);
            m.Save(kSection, kKey, QStringLiteral("saved"), e.location, {}, other);
            EXPECT_EQ(whereSaved(kApp, other), QString::fromLatin1(on ? e.switchOn : e.switchOff));
        }
    }
}

TEST_F(LocationCodes, LoadOfAnotherApplicationUsesItsOwnSwitchAndTheOtherFolder) {
    seed(kOther, other);
    SettingsManager m;
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general); // never used for another application
    m.SetUseIni(true);                // our switch says nothing about theirs
    const Expectation table[] = {{0, "other", "other"},       {1, "registry", "other"},
                                 {2, "registry", "registry"}, {3, "registry", "registry"},
                                 {4, "other", "other"},       {9, "", ""}};
    for (const Expectation& e : table) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "location " << e.location << " switch " << on);
            setSwitch(ini(other, kOther), on ? "True" : "False");
            // The folder is given without its trailing separator.
            EXPECT_EQ(m.Load(kSection, kKey, QStringLiteral("dflt"), e.location, kOther,
                             other.chopped(1)),
                      QString::fromLatin1(on ? e.switchOn : e.switchOff));
        }
    }
}

TEST_F(LocationCodes, SaveOfAnotherApplicationUsesItsOwnSwitchAndTheOtherFolder) {
    SettingsManager m;
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    const Expectation table[] = {{0, "other", "other"},       {1, "registry", "other"},
                                 {2, "registry", "registry"}, {3, "registry", "registry"},
                                 {4, "other", "other"},       {9, "", ""}};
    for (const Expectation& e : table) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "location " << e.location << " switch " << on);
            clearStores(kOther);
            setSwitch(ini(other, kOther), on ? "true" : "false");
            m.Save(kSection, kKey, QStringLiteral("saved"), e.location, kOther, other);
            EXPECT_EQ(whereSaved(kOther, other),
                      QString::fromLatin1(on ? e.switchOn : e.switchOff));
        }
    }
}

TEST_F(LocationCodes, AnotherApplicationWithoutAFolderUsesOurLocalFolder) {
    seed(kOther, {});
    setSwitch(ini(local, kOther), "TRUE");
    SettingsManager m;
    m.Init(kApp, local);
    EXPECT_EQ(m.Load(kSection, kKey, {}, 0, kOther), QStringLiteral("local"));
    EXPECT_EQ(m.Load(kSection, kKey, {}, 1, kOther), QStringLiteral("local"));
    EXPECT_EQ(m.Load(kSection, kKey, {}, 4, kOther), QStringLiteral("local"));
    setSwitch(ini(local, kOther), "FALSE");
    EXPECT_EQ(m.Load(kSection, kKey, {}, 1, kOther), QStringLiteral("registry"));
}

TEST_F(LocationCodes, AnApplicationNameWithIniLosesItsLastFourCharactersAndItsSwitch) {
    seed(kOther, other);
    setSwitch(ini(other, kOther), "True"); // not read for such a name
    SettingsManager m;
    m.Init(kApp, local);
    EXPECT_EQ(m.Load(kSection, kKey, {}, 1, QStringLiteral("Stockwell.ini"), other),
              QStringLiteral("registry"));
    EXPECT_EQ(m.Load(kSection, kKey, {}, 4, QStringLiteral("Stockwell.ini"), other),
              QStringLiteral("other"));
    EXPECT_EQ(m.Load(kSection, kKey, {}, 0, QStringLiteral("Stockwell.ini")),
              QStringLiteral("local"));

    // ".ini" anywhere in the name: the last four characters go, whatever they are.
    userRegistryArea().write(QStringLiteral("Old.ini"), kSection, kKey, QStringLiteral("cut"));
    EXPECT_EQ(m.Load(kSection, kKey, {}, 2, QStringLiteral("Old.ini.bak")), QStringLiteral("cut"));

    // The match is case-sensitive: ".INI" is part of the name.
    WritePrivateProfileString(kSection, kKey, QStringLiteral("upper"),
                              other + QStringLiteral("Other.INI.ini"));
    EXPECT_EQ(m.Load(kSection, kKey, {}, 4, QStringLiteral("Other.INI"), other),
              QStringLiteral("upper"));

    m.Save(kSection, kKey, QStringLiteral("saved"), 1, QStringLiteral("Stockwell.ini"), other);
    EXPECT_EQ(registryValue(kOther, kSection, kKey), QStringLiteral("saved"));
    EXPECT_EQ(iniValue(ini(other, kOther), kSection, kKey), QStringLiteral("other"));
}

TEST_F(LocationCodes, TheSwitchComesFromTheLocalFileAtInit) {
    seed(kApp, {});
    struct {
        QByteArray fileValue;
        bool on;
    } const cases[] = {{"True", true},     {"TRUE", true},   {"tRuE", true}, {"true", true},
                       {"\"true\"", true}, {"yes", false},   {"1", false},   {"False", false},
                       {"", false},        {"truex", false}, {"-1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileValue.constData());
        setSwitch(ini(local, kApp), c.fileValue);
        SettingsManager m;
        m.Init(kApp, local);
        EXPECT_EQ(m.UseIni(), c.on);
        EXPECT_EQ(m.Load(kSection, kKey, {}, 1), c.on ? "local" : "registry");
    }
    WritePrivateProfileString(QStringLiteral("Other"), QStringLiteral("GUseIni"),
                              QStringLiteral("True"), ini(local, QStringLiteral("Sw")));
    SettingsManager m;
    m.Init(QStringLiteral("Sw"), local); // the switch counts only in section Global
    EXPECT_FALSE(m.UseIni());
}

TEST_F(LocationCodes, SettingTheSwitchNeverWritesTheFile) {
    writeBytes(ini(local, kApp), "[Global]\r\nGUseIni=False\r\n");
    SettingsManager m;
    m.Init(kApp, local);
    m.SetUseIni(true);
    EXPECT_TRUE(m.UseIni());
    m.Save(kSection, kKey, QStringLiteral("v"), 1);
    EXPECT_EQ(readBytes(ini(local, kApp)), "[Global]\r\nGUseIni=False\r\n[S]\r\nk=v\r\n");
    m.SetUseIni(false);
    EXPECT_FALSE(m.UseIni());
    EXPECT_EQ(m.Load(kSection, kKey, QStringLiteral("dflt"), 1), QStringLiteral("dflt"));
}

TEST_F(LocationCodes, RegistryWritesGoThroughTheGivenArea) {
    FakeRegistryArea fake;
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.Save(kSection, kKey, QStringLiteral("v"), 2);
    m.Save(kSection, kKey, QStringLiteral("w"), 3, kOther);
    EXPECT_EQ(fake.writes, 2);
    EXPECT_EQ((fake.values[{kApp, kSection, kKey}]), QStringLiteral("v"));
    EXPECT_EQ((fake.values[{kOther, kSection, kKey}]), QStringLiteral("w"));
    EXPECT_EQ(m.Load(kSection, kKey, {}, 3), QStringLiteral("v"));
    EXPECT_FALSE(QFileInfo::exists(registryFile(kApp)));

    // An unknown location touches nothing at all.
    m.Save(kSection, kKey, QStringLiteral("x"), 7);
    m.Save(kSection, kKey, QStringLiteral("x"), 7, kOther);
    EXPECT_EQ(m.Load(kSection, kKey, QStringLiteral("dflt"), 7), QString());
    EXPECT_EQ(fake.writes, 2);
    EXPECT_EQ(fake.reads, 1);
    EXPECT_TRUE(QDir(local).isEmpty());
}

} // namespace
