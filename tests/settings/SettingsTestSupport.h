#pragma once
// A private world for one settings test: a temporary folder holding the local, general and
// other folders, and the per-user registry area redirected into it through XDG_CONFIG_HOME.

#include "settings/INIFunctions.h"
#include "settings/RegistryArea.h"
#include "settings/SettingsManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <tuple>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace dialvane::testing {

inline QByteArray readBytes(const QString& fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

inline void writeBytes(const QString& fileName, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << fileName.toStdString();
    f.write(bytes);
}

class SettingsWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        oldXdg = qgetenv("XDG_CONFIG_HOME");
        hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("xdg"))));
        oldCurrent = QDir::currentPath();
        for (const char* sub : {"local", "general", "other", "cwd"})
            QDir(tmp.path()).mkdir(QString::fromLatin1(sub));
        local = tmp.filePath(QStringLiteral("local")) + QLatin1Char('/');
        general = tmp.filePath(QStringLiteral("general")) + QLatin1Char('/');
        other = tmp.filePath(QStringLiteral("other")) + QLatin1Char('/');
        cwd = tmp.filePath(QStringLiteral("cwd")) + QLatin1Char('/');
    }

    void TearDown() override {
        QDir::setCurrent(oldCurrent);
        if (hadXdg)
            qputenv("XDG_CONFIG_HOME", oldXdg);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    // The file that stands for an application's registry values on this platform.
    QString registryFile(const QString& app) const {
        return tmp.filePath(QStringLiteral("xdg/dialvane/registry/")) + app +
               QStringLiteral(".ini");
    }

    QString registryValue(const QString& app, const QString& section, const QString& key) const {
        return userRegistryArea().read(app, section, key, QStringLiteral("<absent>"));
    }

    static QString iniValue(const QString& file, const QString& section, const QString& key) {
        return GetPrivateProfileString(section, key, QStringLiteral("<absent>"), file);
    }

    static void setSwitch(const QString& file, const QByteArray& value) {
        WritePrivateProfileString(QStringLiteral("Global"), QStringLiteral("GUseIni"),
                                  QString::fromLatin1(value), file);
    }

    QTemporaryDir tmp;
    QString local, general, other, cwd;

private:
    QByteArray oldXdg;
    bool hadXdg = false;
    QString oldCurrent;
};

// A registry area in memory, for tests that need to see every access.
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

} // namespace dialvane::testing
