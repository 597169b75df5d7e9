#include "settings/SettingsManager.h"

#include "common/Paths.h"
#include "settings/INIFunctions.h"
#include "settings/RegistryArea.h"

namespace dialvane {

namespace {

// The texts below are matched by callers: keep them exactly, spelling included.
const QString kSaveSource = QStringLiteral("SettingsManager.Save");
const QString kLoadSource = QStringLiteral("SettingsManager.Load");

[[noreturn]] void raiseNotInitialised(const QString& source) {
    const QString verb = source == kSaveSource ? QStringLiteral("save") : QStringLiteral("load");
    throw SettingsError(2820, source,
                        QStringLiteral("You have atetmpted to %1 a setting without initialising, "
                                       "use Init method")
                            .arg(verb));
}

[[noreturn]] void raiseNoGeneralPath(const QString& source) {
    if (source == kSaveSource)
        throw SettingsError(2821, source,
                            QStringLiteral("You have atetmpted to save a general setting without "
                                           "initialising general path"));
    throw SettingsError(2821, source,
                        QStringLiteral("You have atetmpted to load a general setting without "
                                       "initialising general path"));
}

QString iniFile(const QString& folder, const QString& appName) {
    return folder + appName + QStringLiteral(".ini");
}

const QString kNotFound = QStringLiteral("NONE");

} // namespace

SettingsError::SettingsError(int number, const QString& source, const QString& description)
    : Failure(description), number_(number), source_(source) {}

SettingsManager::SettingsManager() : registry_(userRegistryArea()) {}

SettingsManager::SettingsManager(RegistryArea& registry) : registry_(registry) {}

void SettingsManager::Init(const QString& AppName, const QString& LocalIniFilePath) {
    appName_ = AppName;
    localIniFilePath_ = withTrailingSeparator(LocalIniFilePath);
    useIni_ = ReadUseIni(iniFile(localIniFilePath_, appName_));
    initialised_ = true;
}

void SettingsManager::SetGeneralIniFilePath(const QString& vData) {
    generalIniFilePath_ = withTrailingSeparator(vData);
}

// Where one Save or Load goes: an INI file, the registry area under an application name,
// or nowhere (an unknown location code).
struct SettingsManager::Target {
    enum class Store { IniFile, Registry, Nowhere } store = Store::Nowhere;
    QString iniFileName;
    QString appName;
};

SettingsManager::Target SettingsManager::resolveTarget(std::int32_t location,
                                                       const QString& appName,
                                                       const QString& otherIniFilePath,
                                                       const char* source) const {
    Target target;
    QString folder;
    bool useIni = false;
    if (!appName.isEmpty()) {
        folder = otherIniFilePath.isEmpty() ? localIniFilePath_
                                            : withTrailingSeparator(otherIniFilePath);
        target.appName = appName;
        if (appName.contains(QStringLiteral(".ini"))) {
            target.appName.chop(4);
            useIni = false;
        } else {
            useIni = ReadUseIni(iniFile(folder, appName));
        }
    } else {
        const QString src = QString::fromLatin1(source);
        if (!initialised_)
            raiseNotInitialised(src);
        useIni = useIni_;
        target.appName = appName_;
        if (location == 1 || location == 4)
            folder = localIniFilePath_;
        else if (location == 0) {
            if (generalIniFilePath_.isEmpty())
                raiseNoGeneralPath(src);
            folder = generalIniFilePath_;
        }
    }

    switch (location) {
    case 0:
    case 4:
        target.store = Target::Store::IniFile;
        break;
    case 1:
        target.store = useIni ? Target::Store::IniFile : Target::Store::Registry;
        break;
    case 2:
    case 3:
        target.store = Target::Store::Registry;
        break;
    default:
        target.store = Target::Store::Nowhere;
        break;
    }
    if (target.store == Target::Store::IniFile)
        target.iniFileName = iniFile(folder, target.appName);
    return target;
}

void SettingsManager::Save(const QString& Section, const QString& Key, const QString& Value,
                           std::int32_t location, const QString& AppName,
                           const QString& OtherIniFilePath) {
    const Target target =
        resolveTarget(location, AppName, OtherIniFilePath, "SettingsManager.Save");
    switch (target.store) {
    case Target::Store::IniFile:
        // A refused write is lost silently: callers have no way to act on it.
        WritePrivateProfileString(Section, Key, Value, target.iniFileName);
        break;
    case Target::Store::Registry:
        registry_.write(target.appName, Section, Key, Value);
        break;
    case Target::Store::Nowhere:
        break;
    }
}

QString SettingsManager::Load(const QString& Section, const QString& Key,
                              const QString& DefaultValue, std::int32_t location,
                              const QString& AppName, const QString& OtherIniFilePath) {
    const Target target =
        resolveTarget(location, AppName, OtherIniFilePath, "SettingsManager.Load");
    switch (target.store) {
    case Target::Store::IniFile:
        return GetPrivateProfileString(Section, Key, DefaultValue, target.iniFileName);
    case Target::Store::Registry:
        return registry_.read(target.appName, Section, Key, DefaultValue);
    case Target::Store::Nowhere:
        break;
    }
    return QString();
}

QString SettingsManager::Search(const QString& Section, const QString& Key,
                                const QString& DefaultValue, std::int32_t Direction,
                                const QString& AppName, const QString& OtherLocalIniFilePath) {
    QString appName = AppName;
    QString localFolder;
    if (!appName.isEmpty()) {
        localFolder = OtherLocalIniFilePath.isEmpty()
                          ? localIniFilePath_
                          : withTrailingSeparator(OtherLocalIniFilePath);
    } else {
        if (!initialised_)
            raiseNotInitialised(kLoadSource);
        appName = appName_;
        localFolder = localIniFilePath_;
        if (generalIniFilePath_.isEmpty())
            throw SettingsError(2822, kLoadSource,
                                QStringLiteral("You have atetmpted to search from general to "
                                               "local for a setting without initialising general "
                                               "path"));
    }
    const QString generalFile = iniFile(generalIniFilePath_, appName);
    const QString localFile = iniFile(localFolder, appName);

    if (Direction == 1) {
        QString value = GetPrivateProfileString(Section, Key, kNotFound, generalFile);
        if (value != kNotFound)
            return value;
        value = GetPrivateProfileString(Section, Key, kNotFound, localFile);
        if (value != kNotFound)
            return value;
        return registry_.read(appName, Section, Key, DefaultValue);
    }
    QString value = registry_.read(appName, Section, Key, kNotFound);
    if (value != kNotFound)
        return value;
    value = GetPrivateProfileString(Section, Key, kNotFound, localFile);
    if (value != kNotFound)
        return value;
    return GetPrivateProfileString(Section, Key, DefaultValue, generalFile);
}

bool SettingsManager::ReadUseIni(const QString& iniFileName) {
    return GetPrivateProfileString(QStringLiteral("Global"), QStringLiteral("GUseIni"),
                                   QStringLiteral("False"), iniFileName)
               .toLower() == QStringLiteral("true");
}

} // namespace dialvane
