#include "settings/INIFunctions.h"
#include "settings/RegistryArea.h"

#include <QDir>
#include <QStandardPaths>

namespace dialvane {

namespace {

class ProfileFileArea final : public RegistryArea {
public:
    QString read(const QString& appName, const QString& section, const QString& key,
                 const QString& defaultValue) const override {
        return GetPrivateProfileString(section, key, defaultValue, fileFor(appName));
    }

    void write(const QString& appName, const QString& section, const QString& key,
               const QString& value) override {
        const QString file = fileFor(appName);
        QDir().mkpath(QFileInfo(file).absolutePath());
        // A registry value is returned exactly as stored, but a profile read trims the blanks
        // around a value and drops one pair of enclosing quotes: quoting every value keeps
        // both. (Line breaks still become spaces: a value stays on its line.)
        WritePrivateProfileString(section, key, QLatin1Char('"') + value + QLatin1Char('"'), file);
    }

private:
    // Read each time so that a changed XDG_CONFIG_HOME (tests) takes effect.
    static QString fileFor(const QString& appName) {
        QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (base.isEmpty())
            base = QDir::homePath() + QStringLiteral("/.config");
        // An application name is one file name: separators must not lead elsewhere.
        QString name = appName;
        name.replace(QLatin1Char('/'), QLatin1Char('_'));
        return base + QStringLiteral("/dialvane/registry/") + name + QStringLiteral(".ini");
    }
};

} // namespace

RegistryArea& userRegistryArea() {
    static ProfileFileArea area;
    return area;
}

} // namespace dialvane
