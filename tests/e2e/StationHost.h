#pragma once
// A station without windows: the link thread on a network line on 127.0.0.1, with its own
// Backroom and log folders, for tests that run dialvane-site as a separate process.

#include "FreePort.h"
#include "link/LinkThread.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace dialvane::test {

struct SiteRun {
    int exitCode = -1;
    QByteArray output;
};

class StationHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        backroom = dir.path() + "/Backroom/";
        logs = dir.path() + "/Logs/";
        QDir().mkpath(backroom + "000123");
        QDir().mkpath(logs);
        address = QStringLiteral("tcp:127.0.0.1:%1").arg(freePort());
        PortRequest request;
        request.connectionLetter = "M"; // a network line has no modem: nothing is sent
        request.speed = 9600;
        request.portNumber = 1;
        request.device = address;
        request.config.BackroomFolder = backroom;
        request.config.LogFolder = logs;
        request.config.SendDelay = "0";
        request.reopenInterval = Millis(50);
        QSignalSpy opened(&link, &LinkThread::portOpened);
        link.reopen(request);
        link.waitIdle();
        ASSERT_EQ(opened.count(), 1);
    }

    // Runs dialvane-site; `input` (when given) is its standard input, closed after it.
    SiteRun site(const QStringList& arguments, const QByteArray* input = nullptr,
                 int timeoutMs = 60000) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(DIALVANE_SITE, QStringList{"--line", address} + arguments);
        if (input) {
            process.write(*input);
            process.closeWriteChannel();
        }
        process.waitForFinished(timeoutMs);
        return {process.exitCode(), process.readAll()};
    }

    QString resto(const QString& name) const { return backroom + "000123/" + name; }

    QTemporaryDir dir;
    QString backroom;
    QString logs;
    QString address;
    LinkThread link;
};

} // namespace dialvane::test
