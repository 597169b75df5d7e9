#pragma once
// A private world for one settings test: a temporary folder holding the local and current
// folders, and the per-user registry area redirected into it through XDG_CONFIG_HOME.

#include "settings/INIFunctions.h"
#include "settings/RegistryArea.h"
#include "settings/SettingsManager.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace dialvane::test {

class SettingsWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("xdg"))));
    }
    void TearDown() override { QDir::setCurrent(oldCurrent); }

    EnvironmentVariable xdg{"XDG_CONFIG_HOME"}, home{"HOME"};
    QTemporaryDir tmp;
    QString local = folder("local"), cwd = folder("cwd");

private:
    QString folder(const char* name) const {
        QDir(tmp.path()).mkdir(name);
        return tmp.filePath(name) + '/';
    }

    const QString oldCurrent = QDir::currentPath();
};

} // namespace dialvane::test
