#pragma once
// Named string settings of an application, kept in its local INI file, its general INI file
// (a shared folder set separately) or the per-user registry area. Callers name the store with
// a location code, or let Search look through several stores; naming another application
// reads or writes that application's files and registry values instead of our own.
//
// Location codes:        own application               another application (AppName given)
//   0  general INI file (GeneralIniFilePath)     that application's INI in the other folder
//   1  local INI when UseIni, else registry      INI in the other folder when its own switch
//                                                is on, else registry under that name
//   2, 3  registry area                          registry area
//   4  local INI file (LocalIniFilePath)         INI file in the other folder
//   any other: nothing is written, Load returns the empty string.
// The other folder is OtherIniFilePath, or LocalIniFilePath when that is empty.

#include "common/Failure.h"

#include <QString>

#include <cstdint>

namespace dialvane {

class RegistryArea;

// Misuse of the manager: carries the number, source and description callers may match on.
class SettingsError : public Failure {
public:
    SettingsError(int number, const QString& source, const QString& description);
    int number() const { return number_; }
    QString source() const { return source_; }

private:
    int number_;
    QString source_;
};

class SettingsManager {
public:
    SettingsManager();
    // Tests and other platforms may give another registry area; it must outlive the manager.
    explicit SettingsManager(RegistryArea& registry);

    void Init(const QString& AppName, const QString& LocalIniFilePath);
    void Save(const QString& Section, const QString& Key, const QString& Value,
              std::int32_t location = 0, const QString& AppName = {},
              const QString& OtherIniFilePath = {});
    QString Load(const QString& Section, const QString& Key, const QString& DefaultValue,
                 std::int32_t location = 0, const QString& AppName = {},
                 const QString& OtherIniFilePath = {});
    // Direction 1: general INI, local INI, registry. Any other: registry, local INI, general INI.
    // "NONE" stored in a store counts as absent.
    QString Search(const QString& Section, const QString& Key, const QString& DefaultValue,
                   std::int32_t Direction = 0, const QString& AppName = {},
                   const QString& OtherLocalIniFilePath = {});

    void SetGeneralIniFilePath(const QString& vData);
    QString GeneralIniFilePath() const { return generalIniFilePath_; }

    // Flag to denote whether we are saving local settings to registry or ini files.
    // Kept in memory only: the INI file's switch is never written.
    void SetUseIni(bool vData) { useIni_ = vData; }
    bool UseIni() const { return useIni_; }

private:
    struct Target;
    Target resolveTarget(std::int32_t location, const QString& appName,
                         const QString& otherIniFilePath, const char* source) const;
    static bool ReadUseIni(const QString& iniFileName);

    RegistryArea& registry_;
    bool useIni_ = false;
    QString appName_;
    QString localIniFilePath_;
    QString generalIniFilePath_;
    bool initialised_ = false;
};

} // namespace dialvane
