#include "settings/RegistryArea.h"

#include <QSettings>

namespace dialvane {

namespace {

class WindowsRegistryArea final : public RegistryArea {
public:
    QString read(const QString& appName, const QString& section, const QString& key,
                 const QString& defaultValue) const override {
        QSettings s(root(appName, section), QSettings::NativeFormat);
        return s.value(key, defaultValue).toString();
    }

    void write(const QString& appName, const QString& section, const QString& key,
               const QString& value) override {
        QSettings s(root(appName, section), QSettings::NativeFormat);
        s.setValue(key, value);
    }

private:
    static QString root(const QString& appName, const QString& section) {
        return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") +
               appName + QLatin1Char('\\') + section;
    }
};

} // namespace

RegistryArea& userRegistryArea() {
    static WindowsRegistryArea area;
    return area;
}

} // namespace dialvane
