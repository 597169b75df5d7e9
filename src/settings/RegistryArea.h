#pragma once
// The per-user settings area for applications: string values addressed by application name,
// section and key. On Windows it is the registry key where classic Windows programs keep such
// settings (HKEY_CURRENT_USER\Software\VB and VBA Program Settings), so the companion product's
// settings are found; elsewhere one private-profile file per application, <app>.ini, in
// $XDG_CONFIG_HOME/dialvane/registry (default ~/.config/dialvane/registry).

#include <QString>

namespace dialvane {

class RegistryArea {
public:
    virtual ~RegistryArea() = default;
    virtual QString read(const QString& appName, const QString& section, const QString& key,
                         const QString& defaultValue) const = 0;
    virtual void write(const QString& appName, const QString& section, const QString& key,
                       const QString& value) = 0;
};

// The platform's area for the current user.
RegistryArea& userRegistryArea();

} // namespace dialvane
