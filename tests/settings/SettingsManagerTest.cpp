// The settings manager: the store each location code reaches, the use-INI switch, the two
// orders of Search, the errors callers match on, and folders given in every form.
#include "SettingsTestSupport.h"

#include <functional>

using namespace dialvane;
using namespace dialvane::testing;

namespace {

const QString kApp = QStringLiteral("Dialvane");
const QString kOther = QStringLiteral("Stockwell");

class Settings : public SettingsWorld {
protected:
    static QString ini(const QString& folder, const QString& app = kApp) {
        return folder + app + ".ini";
    }
    static QString iniValue(const QString& file) {
        return GetPrivateProfileString("S", "k", "<absent>", file);
    }
    static void setSwitch(const QString& file, const char* value) {
        WritePrivateProfileString("Global", "GUseIni", value, file);
    }

    // Sets S/k in the registry area and the local, general and other INI files of `app`;
    // nullptr leaves a store without the key. seed() puts a value naming its store in each.
    void store(const char* registry, const char* localValue, const char* generalValue,
               const char* otherValue, const QString& app = kApp) {
        fake.values.erase({app, "S", "k"});
        if (registry)
            fake.values[{app, "S", "k"}] = registry;
        const std::pair<QString, const char*> files[] = {
            {local, localValue}, {general, generalValue}, {other, otherValue}};
        for (const auto& [folder, value] : files) {
            QFile::remove(ini(folder, app));
            if (value)
                WritePrivateProfileString("S", "k", value, ini(folder, app));
        }
    }
    void seed(const QString& app) { store("registry", "local", "general", "other", app); }

    // The stores of `app` holding the value "saved", joined by '+'.
    QString whereSaved(const QString& app) {
        QStringList found;
        for (const auto& [name, folder] :
             {std::pair{"local", local}, {"general", general}, {"other", other}})
            if (iniValue(ini(folder, app)) == "saved")
                found << name;
        if (fake.values[{app, "S", "k"}] == "saved")
            found << "registry";
        return found.join('+');
    }

    FakeRegistryArea fake;
};

TEST_F(Settings, SaveAndLoadReachTheStoreOfTheLocationCode) {
    // The store reached with the switch off and on: for our own application (our switch and
    // folders) and for another one (its own switch, the other folder).
    const struct {
        int location;
        const char* own[2];
        const char* another[2];
    } matrix[] = {
        {0, {"general", "general"}, {"other", "other"}},
        {1, {"registry", "local"}, {"registry", "other"}},
        {2, {"registry", "registry"}, {"registry", "registry"}},
        {3, {"registry", "registry"}, {"registry", "registry"}},
        {4, {"local", "local"}, {"other", "other"}},
        {5, {"", ""}, {"", ""}},
        {7, {"", ""}, {"", ""}},
        {-1, {"", ""}, {"", ""}},
    };
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general); // never used for another application
    for (const auto& row : matrix) {
        for (const int on : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "location " << row.location << ", switch " << on);
            // An other folder given for our own application is not used; an unknown code
            // touches no store at all.
            seed(kApp);
            m.SetUseIni(on);
            const int accesses = fake.reads + fake.writes;
            EXPECT_EQ(m.Load("S", "k", "dflt", row.location), row.own[on]);
            EXPECT_EQ(m.Load("S", "k", "dflt", row.location, {}, other), row.own[on]);
            m.Save("S", "k", "saved", row.location, {}, other);
            EXPECT_EQ(whereSaved(kApp), row.own[on]);
            // Another application: its switch counts and ours is set the other way; its folder
            // may come without the trailing separator.
            seed(kOther);
            setSwitch(ini(other, kOther), on ? "tRUE" : "false");
            m.SetUseIni(!on);
            EXPECT_EQ(m.Load("S", "k", "dflt", row.location, kOther, other.chopped(1)),
                      row.another[on]);
            m.Save("S", "k", "saved", row.location, kOther, other);
            EXPECT_EQ(whereSaved(kOther), row.another[on]);
            EXPECT_TRUE(*row.own[0] || fake.reads + fake.writes == accesses);
        }
    }
    EXPECT_TRUE(QDir(cwd).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("xdg"))); // the registry area given is used
}

TEST_F(Settings, AnotherApplicationsFolderNameAndFiles) {
    seed(kOther);
    setSwitch(ini(local, kOther), "TRUE");
    setSwitch(ini(other, kOther), "True");
    SettingsManager m(fake);
    m.Init(kApp, local);
    // Without a folder, another application's files are in our local folder.
    for (const int location : {0, 1, 4})
        EXPECT_EQ(m.Load("S", "k", {}, location, kOther), "local") << location;
    setSwitch(ini(local, kOther), "FALSE");
    EXPECT_EQ(m.Load("S", "k", {}, 1, kOther), "registry");
    // ".ini" anywhere in the name: the last four characters go, and no switch is read.
    EXPECT_EQ(m.Load("S", "k", {}, 1, "Stockwell.ini", other), "registry");
    EXPECT_EQ(m.Load("S", "k", {}, 4, "Stockwell.ini", other), "other");
    EXPECT_EQ(m.Load("S", "k", {}, 0, "Stockwell.ini"), "local");
    fake.write("Old.ini", "S", "k", "cut");
    EXPECT_EQ(m.Load("S", "k", {}, 2, "Old.ini.bak"), "cut");
    m.Save("S", "k", "saved", 1, "Stockwell.ini", other);
    EXPECT_EQ(whereSaved(kOther), "registry");
    // The match is case-sensitive: ".INI" is part of the name.
    WritePrivateProfileString("S", "k", "upper", other + "Other.INI.ini");
    EXPECT_EQ(m.Load("S", "k", {}, 4, "Other.INI", other), "upper");

    // Another application needs neither Init nor a general folder; without the folder its file,
    // and its general file in Search, are bare names in the current folder.
    QDir::setCurrent(cwd);
    userRegistryArea().write(kOther, "Global", "GRestoPath", "/from/registry/");
    SettingsManager fresh; // the per-user registry area
    EXPECT_EQ(fresh.Load("Global", "GRestoPath", {}, 1, kOther), "/from/registry/");
    writeBytes(cwd + "Stockwell.ini", "[Global]\r\nGUseIni=True\r\nGRestoPath=/ini/\r\nG=g\r\n");
    EXPECT_EQ(fresh.Load("Global", "GRestoPath", {}, 1, kOther), "/ini/");
    EXPECT_EQ(fresh.Search("Global", "GRestoPath", "d", 1, kOther, other), "/ini/");
    EXPECT_EQ(fresh.Search("Global", "G", "d", 0, kOther, other), "g");
    fresh.Save("S", "k", "v", 0, kOther, other);
    EXPECT_EQ(fresh.Load("S", "k", "d", 0, kOther, other), "v");
}

TEST_F(Settings, TheSwitchIsReadFromTheLocalFileAtInitAndNeverWritten) {
    store("registry", "local", nullptr, nullptr);
    const struct {
        const char* fileValue;
        bool on;
    } cases[] = {{"True", true},     {"TRUE", true},   {"tRuE", true}, {"true", true},
                 {"\"true\"", true}, {"yes", false},   {"1", false},   {"False", false},
                 {"", false},        {"truex", false}, {"-1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileValue);
        setSwitch(ini(local), c.fileValue);
        SettingsManager m(fake);
        m.Init(kApp, local);
        EXPECT_EQ(m.UseIni(), c.on);
        EXPECT_EQ(m.Load("S", "k", {}, 1), c.on ? "local" : "registry");
        EXPECT_EQ(m.Load("S", "k", {}, 4), "local"); // whatever the switch
    }
    WritePrivateProfileString("Other", "GUseIni", "True", ini(local, "Sw"));
    SettingsManager sw(fake);
    sw.Init("Sw", local);
    EXPECT_FALSE(sw.UseIni()); // only in section Global
    writeBytes(ini(local), "[Global]\r\nGUseIni=False\r\n");
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.SetUseIni(true);
    m.Save("S", "k", "v", 1);
    EXPECT_EQ(readBytes(ini(local)), "[Global]\r\nGUseIni=False\r\n[S]\r\nk=v\r\n");
    m.SetUseIni(false);
    EXPECT_EQ(m.Load("S", "k", {}, 1), "registry");
}

TEST_F(Settings, SearchTakesTheFirstStoreHoldingTheSetting) {
    // Direction 1: general file, local file, registry. Any other: registry, local, general.
    // "NONE" is passed over, but the last store is read with the caller's default; the marker
    // is exact, and an empty value is a value.
    const struct {
        const char *registry, *local, *general; // nullptr: the store lacks the key
        const char *found, *foundFromGeneral;
    } cases[] = {
        {"registry", "local", "general", "registry", "general"},
        {nullptr, "local", "general", "local", "general"},
        {"registry", "local", nullptr, "registry", "local"},
        {nullptr, nullptr, "general", "general", "general"},
        {"registry", nullptr, nullptr, "registry", "registry"},
        {nullptr, nullptr, nullptr, "d", "d"},
        {"NONE", "NONE", "general", "general", "general"},
        {"registry", "NONE", "NONE", "registry", "registry"},
        {"NONE", "NONE", "NONE", "NONE", "NONE"},
        {"none", "local", "general", "none", "general"},
        {" NONE", nullptr, nullptr, " NONE", " NONE"},
        {"", "local", "general", "", "general"},
        {nullptr, "", "general", "", "general"},
    };
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    for (const bool on : {false, true}) { // the use-INI switch plays no part
        m.SetUseIni(on);
        for (const auto& c : cases) {
            SCOPED_TRACE(&c - cases);
            store(c.registry, c.local, c.general, "other");
            EXPECT_EQ(m.Search("S", "k", "d"), c.found);
            for (const int direction : {0, 2, -1})
                EXPECT_EQ(m.Search("S", "k", "d", direction), c.found) << direction;
            EXPECT_EQ(m.Search("S", "k", "d", 1), c.foundFromGeneral);
            // An other local folder given for our own application is not used.
            EXPECT_EQ(m.Search("S", "k", "d", 0, {}, other), c.found);
        }
    }
    // Another application: the local folder given (or ours), and our general folder.
    store(nullptr, "local", "general", "other", kOther);
    EXPECT_EQ(m.Search("S", "k", "d", 0, kOther, other.chopped(1)), "other");
    EXPECT_EQ(m.Search("S", "k", "d", 0, kOther), "local");
    EXPECT_EQ(m.Search("S", "k", "d", 1, kOther, other), "general");
    fake.write(kOther, "S", "k", "registry");
    EXPECT_EQ(m.Search("S", "k", "d", 0, kOther, other), "registry");
    // The ".ini" rule of Save and Load does not apply here.
    EXPECT_EQ(m.Search("S", "k", "d", 0, "Stockwell.ini", other), "d");
}

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
        EXPECT_EQ(error.source(), e.source);
        EXPECT_EQ(error.description(), e.description);
        EXPECT_EQ(QString::fromStdString(error.what()), error.description());
    }
}

const Expected kSaveUninitialised{
    2820, "SettingsManager.Save",
    "You have atetmpted to save a setting without initialising, use Init method"};
const Expected kLoadUninitialised{
    2820, "SettingsManager.Load",
    "You have atetmpted to load a setting without initialising, use Init method"};
const Expected kSaveNoGeneral{
    2821, "SettingsManager.Save",
    "You have atetmpted to save a general setting without initialising general path"};
const Expected kLoadNoGeneral{
    2821, "SettingsManager.Load",
    "You have atetmpted to load a general setting without initialising general path"};
const Expected kSearchNoGeneral{2822, "SettingsManager.Load",
                                "You have atetmpted to search from general to local for a "
                                "setting without initialising general path"};

TEST_F(Settings, MisuseIsReportedWithItsNumberAndLeavesNoTrace) {
    QDir::setCurrent(cwd);
    SettingsManager fresh(fake);
    for (const int location : {0, 1, 2, 3, 4, 7}) {
        SCOPED_TRACE(location);
        expectError([&] { fresh.Save("S", "k", "v", location); }, kSaveUninitialised);
        expectError([&] { fresh.Save("S", "k", "v", location, {}, other); }, kSaveUninitialised);
        expectError([&] { fresh.Load("S", "k", "d", location); }, kLoadUninitialised);
    }
    // Search reports under the source of Load, even with the general folder set.
    fresh.SetGeneralIniFilePath(general);
    for (const int direction : {0, 1})
        expectError([&] { fresh.Search("S", "k", "d", direction); }, kLoadUninitialised);

    writeBytes(ini(local), "[Global]\r\nGUseIni=true\r\n");
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.SetUseIni(false);
    expectError([&] { m.Load("S", "k", "d", 0); }, kLoadNoGeneral);
    expectError([&] { m.Load("S", "k", "d"); }, kLoadNoGeneral); // 0 is the default location
    expectError([&] { m.Save("S", "k", "v", 0); }, kSaveNoGeneral);
    expectError([&] { m.Save("S", "k", "v", 0, {}, other); }, kSaveNoGeneral);
    // In every direction; an other folder given for our own application does not help.
    for (const int direction : {0, 1, 2, -1})
        expectError([&] { m.Search("S", "k", "d", direction); }, kSearchNoGeneral);
    expectError([&] { m.Search("S", "k", "d", 0, {}, other); }, kSearchNoGeneral);

    EXPECT_EQ(fake.reads + fake.writes, 0);
    for (const QString& folder : {general, other, cwd})
        EXPECT_TRUE(QDir(folder).isEmpty()) << folder.toStdString();
    EXPECT_EQ(QDir(local).entryList(QDir::Files | QDir::Hidden), QStringList{"Dialvane.ini"});
    EXPECT_EQ(readBytes(ini(local)), "[Global]\r\nGUseIni=true\r\n");
    EXPECT_FALSE(m.UseIni());
    EXPECT_TRUE(m.GeneralIniFilePath().isEmpty());
    // The other locations need no general folder.
    m.Save("S", "k", "saved", 1);
    EXPECT_EQ(whereSaved(kApp), "registry");
    m.Save("S", "k", "saved", 4);
    EXPECT_EQ(m.Load("S", "k", "d", 4), "saved");
}

TEST_F(Settings, FoldersAreTheSameWithOrWithoutTheirSeparator) {
    writeBytes(ini(local), "[S]\r\nk=local\r\n");
    SettingsManager without(fake);
    without.Init(kApp, local.chopped(1));
    EXPECT_EQ(without.Load("S", "k", "d", 4), "local");
    without.Save("S", "k2", "v", 4);
    EXPECT_EQ(readBytes(ini(local)), "[S]\r\nk=local\r\nk2=v\r\n");
    EXPECT_EQ(without.GeneralIniFilePath(), QString());
    without.SetGeneralIniFilePath(general.chopped(1));
    EXPECT_EQ(without.GeneralIniFilePath(), general);
    without.Save("S", "k", "g", 0);
    EXPECT_EQ(readBytes(ini(general)), "[S]\r\nk=g\r\n");
    // A value of 3000 characters comes back as its first 2047, however it is read.
    const QString value = QString(1000, 'a') + QString(2000, 'b');
    without.Save("S", "long", value, 4);
    without.Save("S", "long", value, 0);
    EXPECT_EQ(without.Load("S", "long", {}, 4), value.left(2047));
    EXPECT_EQ(without.Search("S", "long", {}, 1), value.left(2047));
    without.SetGeneralIniFilePath(QString());
    EXPECT_EQ(without.GeneralIniFilePath(), "/");
    // An empty local folder is the root, not the current folder.
    QDir::setCurrent(cwd);
    writeBytes(ini(cwd), "[Global]\r\nGUseIni=True\r\n[S]\r\nk=cwd\r\n");
    SettingsManager root(fake);
    root.Init(kApp, QString());
    EXPECT_FALSE(root.UseIni());
    EXPECT_EQ(root.Load("S", "k", "d", 4), "d");
}

TEST_F(Settings, InitAgainReplacesTheApplicationButKeepsTheGeneralFolder) {
    writeBytes(ini(local), "[Global]\r\nGUseIni=true\r\n[S]\r\nk=first\r\n");
    writeBytes(ini(other, "Second"), "[S]\r\nk=second\r\n");
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    EXPECT_TRUE(m.UseIni());
    m.Init("Second", other);
    EXPECT_FALSE(m.UseIni());
    EXPECT_EQ(m.GeneralIniFilePath(), general);
    EXPECT_EQ(m.Load("S", "k", "d", 4), "second");
    m.Save("S", "k", "g", 0);
    EXPECT_EQ(readBytes(ini(general, "Second")), "[S]\r\nk=g\r\n");
}

// Without a registry, each application's values live in one private-profile file in the
// per-user configuration folder.
TEST_F(Settings, TheRegistryAreaKeepsOneFilePerApplicationAndGivesBackExactlyTheValue) {
    RegistryArea& area = userRegistryArea();
    EXPECT_EQ(area.read(kOther, "Global", "LogPath", "dflt"), "dflt");
    area.write(kOther, "Global", "LogPath", "/var/log/stockwell/");
    area.write(kApp, "Global", "GDelay", "200");
    EXPECT_EQ(area.read(kOther, "global", "logpath", "dflt"), "/var/log/stockwell/");
    EXPECT_EQ(area.read(kApp, "Global", "LogPath", "dflt"), "dflt");
    for (const QString& value :
         {QStringLiteral(""), QStringLiteral("  padded  "), QStringLiteral("\"quoted\""),
          QStringLiteral("a=b;c"), QStringLiteral("Fermé"), QStringLiteral("NONE")}) {
        area.write(kApp, "S", "k", value);
        EXPECT_EQ(area.read(kApp, "S", "k", "dflt"), value);
    }
    // An application name cannot lead out of the area.
    area.write("../escape", "S", "k", "v");
    EXPECT_EQ(area.read("../escape", "S", "k", "d"), "v");
    const QDir dir(tmp.filePath("xdg/dialvane/registry"));
    EXPECT_EQ(dir.entryList(QDir::Files | QDir::Hidden).size(), 3);
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("xdg/dialvane/escape.ini")));
    // Without XDG_CONFIG_HOME, the area is in the configuration folder of the home folder.
    const QByteArray oldHome = qgetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(tmp.filePath("home")));
    area.write("App", "S", "k", "v");
    const bool atHome = QFileInfo::exists(tmp.filePath("home/.config/dialvane/registry/App.ini"));
    qputenv("HOME", oldHome);
    EXPECT_TRUE(atHome);
}

} // namespace
