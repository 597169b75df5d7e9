#pragma once
// The real dialvane program on a folder of its own, with port 1 a network line on 127.0.0.1.

#include "settings/INIFunctions.h"
#include "support/CallFixtures.h"

#include <csignal>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace dialvane::test {

// A supervisor's notification socket: what the station says through sd_notify.
class NotifySocket {
public:
    // In the test's own folder, which takes the socket's file away with it.
    explicit NotifySocket(const QString& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(),
                    std::min<size_t>(name.size(), sizeof address.sun_path - 1));
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~NotifySocket() { ::close(fd_); }
    QString path() const { return path_; }

    // True once a message holding `text` has come (now or before), within the time.
    bool waitFor(const QByteArray& text, int withinMs = 10000) {
        for (QDeadlineTimer deadline(withinMs);;) {
            for (const QByteArray& m : messages)
                if (m.contains(text))
                    return true;
            pollfd p = {fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::max<qint64>(0, deadline.remainingTime()))) <= 0)
                return false;
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0)
                messages << QByteArray(buffer, static_cast<int>(n));
        }
    }

    QByteArrayList messages;

private:
    QString path_;
    int fd_ = -1;
};

// One station program with its own Dialvane.ini; stopped (SIGTERM, then SIGKILL) when destroyed.
class StationProcess {
public:
    StationProcess(const QString& configFolder, const QString& backroom, const QString& logs)
        : folder_(configFolder) {
        QDir().mkpath(folder_);
        WritePrivateProfileString("Path", "BackroomPath", backroom, ini());
        WritePrivateProfileString("Path", "LogPath", logs, ini());
        WritePrivateProfileString("Global", "GDelay", "0", ini());
        movePort();
    }
    ~StationProcess() {
        process_.terminate(); // QProcess's own destructor kills what outlives the wait
        process_.waitForFinished(5000);
    }

    // The service by default; `mode` empty starts the window program (offscreen).
    void start(const QString& mode = "--service", const QProcessEnvironment& extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", folder_ + "/xdg");
        env.remove("NOTIFY_SOCKET");
        env.remove("JOURNAL_STREAM");
        env.insert(extra);
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments{"--config-dir", folder_};
        if (!mode.isEmpty())
            arguments << mode;
        process_.start(DIALVANE_PROGRAM, arguments);
        ASSERT_TRUE(process_.waitForStarted(10000));
    }

    void signal(int number) { ::kill(static_cast<pid_t>(process_.processId()), number); }

    // Port 1 a network line on a free loopback port; called again, on another one (a reload).
    void movePort() {
        port_ = freePort();
        WritePrivateProfileString("Ports", "COM1", QString("tcp:127.0.0.1:%1").arg(port_), ini());
    }
    QString ini() const { return folder_ + "/Dialvane.ini"; }
    QString folder() const { return folder_; }

    quint16 port() const { return port_; }
    QProcess& process() { return process_; }

private:
    QString folder_;
    quint16 port_ = 0;
    QProcess process_;
};

class StationProcessTest : public BackroomTest {
protected:
    StationProcess station(const QString& name) {
        return StationProcess(dir.filePath(name), backroom, logs);
    }
};

} // namespace dialvane::test
