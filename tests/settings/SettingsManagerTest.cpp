// The settings manager: the store each location code reaches, the use-INI switch, the two
// orders of Search, the errors callers match on, and folders given in every form.
#include "SettingsTestSupport.h"

#include <functional>
#include <map>
#include <tuple>

using namespace dialvane;
using namespace dialvane::test;

namespace {

// A registry area in memory that counts every access.
class FakeRegistryArea final : public RegistryArea {
public:
    QString read(const QString& app, const QString& section, const QString& key,
                 const QString& defaultValue) const override {
        ++reads;
        const auto it = values.find({app, section, key});
        return it == values.end() ? defaultValue : it->second;
    }
    void write(const QString& app, const QString& section, const QString& key,
               const QString& value) override {
        ++writes;
        values[{app, section, key}] = value;
    }

    std::map<std::tuple<QString, QString, QString>, QString> values;
    mutable int reads = 0;
    int writes = 0;
};

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

// The companion product's settings: another application without a folder of its own.
TEST_F(Settings, AnotherApplicationWithoutAFolderIsInOurLocalFolderWithItsOwnSwitch) {
    seed(kOther);
    setSwitch(ini(local, kOther), "TRUE");
    setSwitch(ini(other, kOther), "False");
    SettingsManager m(fake);
    m.Init(kApp, local);
    for (const int location : {0, 1, 4})
        EXPECT_EQ(m.Load("S", "k", {}, location, kOther), "local") << location;
    setSwitch(ini(local, kOther), "FALSE");
    EXPECT_EQ(m.Load("S", "k", {}, 1, kOther), "registry");
    m.Save("S", "k", "saved", 1, kOther);
    EXPECT_EQ(whereSaved(kOther), "registry");
}

TEST_F(Settings, TheSwitchIsReadFromTheLocalFileAtInitAndNeverWritten) {
    store("registry", "local", nullptr, nullptr);
    const struct {
        const char* fileValue;
        bool on;
    } cases[] = {{"tRuE", true}, {"\"true\"", true}, {"yes", false},
                 {"1", false},   {"", false},        {"truex", false}};
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
    writeFile(ini(local), "[Global]\r\nGUseIni=False\r\n");
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.SetUseIni(true);
    m.Save("S", "k", "v", 1);
    EXPECT_EQ(readAll(ini(local)), "[Global]\r\nGUseIni=False\r\n[S]\r\nk=v\r\n");
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
}

// The numbers, sources and texts are what callers match on, spelling included.
TEST_F(Settings, MisuseIsReportedWithItsNumberAndLeavesNoTrace) {
    QDir::setCurrent(cwd);
    SettingsManager uninitialised(fake), withoutGeneral(fake);
    withoutGeneral.Init(kApp, local);
    const QString notInitialised =
        "You have atetmpted to %1 a setting without initialising, use Init method";
    const QString noGeneral =
        "You have atetmpted to %1 a general setting without initialising general path";
    const struct {
        std::function<void()> call;
        int number;
        const char* source;
        QString description;
    } cases[] = {
        {[&] { uninitialised.Save("S", "k", "v", 4); }, 2820, "SettingsManager.Save",
         notInitialised.arg("save")},
        {[&] { uninitialised.Load("S", "k", "d", 1); }, 2820, "SettingsManager.Load",
         notInitialised.arg("load")},
        {[&] { uninitialised.Search("S", "k", "d", 1); }, 2820, "SettingsManager.Load",
         notInitialised.arg("load")},
        {[&] { withoutGeneral.Save("S", "k", "v", 0, {}, other); }, 2821, "SettingsManager.Save",
         noGeneral.arg("save")},
        {[&] { withoutGeneral.Load("S", "k", "d"); }, 2821, "SettingsManager.Load",
         noGeneral.arg("load")}, // 0 is the default location
        {[&] { withoutGeneral.Search("S", "k", "d", 2, {}, other); }, 2822, "SettingsManager.Load",
         "You have atetmpted to search from general to local for a setting without initialising "
         "general path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description.toStdString());
        try {
            c.call();
            ADD_FAILURE() << "no error";
        } catch (const SettingsError& error) {
            EXPECT_EQ(error.number(), c.number);
            EXPECT_EQ(error.source(), c.source);
            EXPECT_EQ(error.description(), c.description);
            EXPECT_EQ(QString::fromStdString(error.what()), c.description);
        }
    }
    EXPECT_EQ(fake.reads + fake.writes, 0);
    for (const QString& folder : {local, general, other, cwd})
        EXPECT_TRUE(QDir(folder).isEmpty()) << folder.toStdString();
    // The other locations need no general folder.
    withoutGeneral.Save("S", "k", "saved", 4);
    EXPECT_EQ(withoutGeneral.Load("S", "k", "d", 4), "saved");
}

TEST_F(Settings, FoldersAreTheSameWithOrWithoutTheirSeparator) {
    writeFile(ini(local), "[S]\r\nk=local\r\n");
    SettingsManager without(fake);
    without.Init(kApp, local.chopped(1));
    EXPECT_EQ(without.Load("S", "k", "d", 4), "local");
    without.Save("S", "k2", "v", 4);
    EXPECT_EQ(readAll(ini(local)), "[S]\r\nk=local\r\nk2=v\r\n");
    EXPECT_EQ(without.GeneralIniFilePath(), QString());
    without.SetGeneralIniFilePath(general.chopped(1));
    EXPECT_EQ(without.GeneralIniFilePath(), general);
    without.Save("S", "k", "g", 0);
    EXPECT_EQ(readAll(ini(general)), "[S]\r\nk=g\r\n");
}

TEST_F(Settings, InitAgainReplacesTheApplicationButKeepsTheGeneralFolder) {
    writeFile(ini(local), "[Global]\r\nGUseIni=true\r\n[S]\r\nk=first\r\n");
    writeFile(ini(other, "Second"), "[S]\r\nk=second\r\n");
    SettingsManager m(fake);
    m.Init(kApp, local);
    m.SetGeneralIniFilePath(general);
    EXPECT_TRUE(m.UseIni());
    m.Init("Second", other);
    EXPECT_FALSE(m.UseIni());
    EXPECT_EQ(m.GeneralIniFilePath(), general);
    EXPECT_EQ(m.Load("S", "k", "d", 4), "second");
    m.Save("S", "k", "g", 0);
    EXPECT_EQ(readAll(ini(general, "Second")), "[S]\r\nk=g\r\n");
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
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(tmp.filePath("home")));
    area.write("App", "S", "k", "v");
    EXPECT_TRUE(QFileInfo::exists(tmp.filePath("home/.config/dialvane/registry/App.ini")));
}

} // namespace
