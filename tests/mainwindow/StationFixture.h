#pragma once
// A main window in a private folder: its own Dialvane.ini, the companion product's registry
// values in memory, a home folder of its own, and a link whose opens are recorded. A port
// marked busy is a network line on an address already taken, so it fails as a real one does.

#include "link/LinkThread.h"
#include "mainwindow/TextBox.h"
#include "mainwindow/frmmain.h"
#include "settings/INIFunctions.h"
#include "support/MemoryRegistry.h"
#include "support/TestFiles.h"
#include "textentry/MainModule.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMutex>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace dialvane::test {

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        program = folder("program");
        // The built-in folder is the home folder, which the start-up lists and purges: keep it
        // inside the test's folder.
        home = folder("home");
        qputenv("HOME", QFile::encodeName(home));
        setRefusalBeep([this] { ++beeps; });
        ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    }
    void TearDown() override {
        stop();
        setRefusalBeep({});
    }
    void stop() {
        window.reset();
        link.reset();
    }

    void ini(const QString& section, const QString& key, const QString& value) {
        ASSERT_TRUE(WritePrivateProfileString(section, key, value, program + "Dialvane.ini"));
    }
    std::string stored(const QString& section, const QString& key) const {
        return GetPrivateProfileString(section, key, "<absent>", program + "Dialvane.ini")
            .toStdString();
    }
    QString folder(const QString& name) {
        QDir().mkpath(tmp.filePath(name));
        return tmp.filePath(name) + '/';
    }
    void touch(const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    }
    void storeFolders() {
        ini("Path", "BackroomPath", folder("backroom"));
        ini("Path", "LogPath", folder("logs"));
    }
    // Port n cannot be opened: it names an address that is taken.
    void busy(int port) {
        ini("Ports", QString("COM%1").arg(port),
            QString("tcp:127.0.0.1:%1").arg(taken.serverPort()));
    }

    // Creates the window, which runs the start-up, then lets the link report.
    frmmain& start(const std::function<void(MainWindowContext&)>& adjust = {}) {
        opened.clear();
        link = std::make_unique<LinkThread>([this](const PortRequest& request) {
            QMutexLocker lock(&mutex);
            opened.push_back(request);
            PortRequest local = request;
            if (!request.device.startsWith("tcp:"))
                local.device = "tcp:127.0.0.1:0"; // no real serial port in tests
            return makeRealLine(local);
        });
        MainWindowContext context;
        context.programFolder = program;
        context.link = link.get();
        context.registry = &registry;
        context.locale = QLocale::c();
        context.today = [] { return QDate(2026, 12, 5); };
        context.report = [this](const QString& text) { messages << text; };
        context.askPassword = [this] { return passwordRight; };
        context.confirm = [this](const QString& question) {
            questions << question;
            return confirmAnswer;
        };
        context.chooseFolder = [this](QWidget*, const QString& title, const QString& start) {
            chooserCalls << title + '|' + start;
            return chosenFolder;
        };
        if (adjust)
            adjust(context);
        window = std::make_unique<frmmain>(context);
        settle();
        return *window;
    }
    void settle() {
        link->waitIdle();
        QCoreApplication::processEvents();
    }
    void unlock() {
        passwordRight = true;
        window->cmdUnlock->click();
        ASSERT_TRUE(window->cboComPort->isEnabled());
    }
    std::string title() const { return window->windowTitle().toStdString(); }
    std::size_t opens() {
        QMutexLocker lock(&mutex);
        return opened.size();
    }
    PortRequest lastOpen() {
        QMutexLocker lock(&mutex);
        return opened.empty() ? PortRequest{} : opened.back();
    }
    // The last open as connection letter, speed and port number: "D96001".
    std::string lastOpenedAs() {
        const PortRequest r = lastOpen();
        return (r.connectionLetter + QString::number(r.speed) + QString::number(r.portNumber))
            .toStdString();
    }

    EnvironmentVariable homeVariable{"HOME"};
    QTemporaryDir tmp;
    QString program, home;
    MemoryRegistry registry;
    QTcpServer taken;
    QMutex mutex;
    std::vector<PortRequest> opened;
    std::unique_ptr<LinkThread> link;
    std::unique_ptr<frmmain> window;
    QStringList messages, chooserCalls, questions;
    bool confirmAnswer = true; // the answer to Save's question about a folder
    QString chosenFolder;
    bool passwordRight = false;
    int beeps = 0;
};

} // namespace dialvane::test
