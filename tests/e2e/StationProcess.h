#pragma once
// The real dialvane program on a folder of its own, with port 1 a network line on 127.0.0.1,
// and a raw site that speaks the line protocol byte by byte, for tests that must control the
// exact moment something happens (a kill, two calls at once).

#include "link/Block.h"
#include "settings/INIFunctions.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace dialvane::test {

inline quint16 unusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A site over a TCP connection; every wait is bounded.
class RawSite {
public:
    // Connects once the station listens; false when it did not within the time.
    bool connectTo(quint16 port, int withinMs = 15000) {
        for (QDeadlineTimer deadline(withinMs); !deadline.hasExpired();) {
            socket_ = std::make_unique<QTcpSocket>();
            socket_->connectToHost(QHostAddress::LocalHost, port);
            if (socket_->waitForConnected(1000))
                return true;
            QThread::msleep(50); // a refused connection comes back at once: pace the tries
        }
        return false;
    }

    void send(const QByteArray& bytes) {
        socket_->write(bytes);
        socket_->flush();
    }

    // The station's next answer byte, or -1 when the line closed or nothing came in time.
    int answer(int withinMs = 5000) {
        for (QDeadlineTimer deadline(withinMs); socket_->bytesAvailable() == 0;) {
            if (socket_->state() != QAbstractSocket::ConnectedState || deadline.hasExpired())
                return -1;
            socket_->waitForReadyRead(
                static_cast<int>(std::min<qint64>(100, deadline.remainingTime())));
        }
        char c = 0;
        socket_->getChar(&c);
        return static_cast<unsigned char>(c);
    }

    // Waits until the station closes the line (or the time is up) and returns what it sent.
    QByteArray rest(int withinMs = 5000) {
        QByteArray bytes;
        for (QDeadlineTimer deadline(withinMs);
             socket_->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired();) {
            socket_->waitForReadyRead(100);
            bytes += socket_->readAll();
        }
        return bytes + socket_->readAll();
    }

    void hangUp() { socket_->abort(); }

private:
    std::unique_ptr<QTcpSocket> socket_;
};

inline QByteArray header(const QByteArray& resto, char transaction, char type = '1') {
    return BuildBlock(resto + transaction + type);
}

// One station program with its own Dialvane.ini; stopped (SIGTERM, then SIGKILL) when destroyed.
class StationProcess {
public:
    StationProcess(const QString& configFolder, const QString& backroom, const QString& logs)
        : folder_(configFolder), port_(unusedPort()) {
        QDir().mkpath(folder_);
        const QString ini = folder_ + "/Dialvane.ini";
        for (auto [section, key, value] :
             {std::tuple{"Path", "BackroomPath", backroom},
              {"Path", "LogPath", logs},
              {"Global", "GDelay", QString("0")},
              {"Ports", "COM1", QString("tcp:127.0.0.1:%1").arg(port_)}})
            WritePrivateProfileString(section, key, value, ini);
    }
    ~StationProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000))
                process_.kill();
            process_.waitForFinished(5000);
        }
    }

    void start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", folder_ + "/xdg");
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(DIALVANE_PROGRAM, {"--config-dir", folder_});
        ASSERT_TRUE(process_.waitForStarted(10000));
    }

    void kill() {
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished(5000);
    }

    quint16 port() const { return port_; }
    QProcess& process() { return process_; }

private:
    QString folder_;
    quint16 port_;
    QProcess process_;
};

} // namespace dialvane::test
