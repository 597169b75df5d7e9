#pragma once
// A private world for one settings test: a temporary folder holding the local, general, other
// and current folders, and the per-user registry area redirected into it through XDG_CONFIG_HOME.

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
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeBytes(const QString& fileName, const QByteArray& bytes) {
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << fileName.toStdString();
    f.write(bytes);
}

// The value of a key in a file's bytes, or "<absent>"; an absent key must come back empty.
inline QByteArray iniRead(const QByteArray& file, const QByteArray& section,
                          const QByteArray& key) {
    bool found = false;
    const QByteArray value = readProfileValue(file, section, key, &found);
    EXPECT_TRUE(found || value.isEmpty());
    return found ? value : QByteArray("<absent>");
}

class SettingsWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("xdg"))));
    }

    void TearDown() override {
        QDir::setCurrent(oldCurrent);
        if (hadXdg)
            qputenv("XDG_CONFIG_HOME", oldXdg);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QTemporaryDir tmp;
    QString local = folder("local"), general = folder("general"), other = folder("other"),
            cwd = folder("cwd");

private:
    QString folder(const char* name) const {
        QDir(tmp.path()).mkdir(name);
        return tmp.filePath(name) + '/';
    }

    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QString oldCurrent = QDir::currentPath();
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
