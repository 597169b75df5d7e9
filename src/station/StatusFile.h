#pragma once
// What `dialvane status` reads of a running service: its pid, its port and whether it is open,
// the calls in progress and the last call. The service keeps it in a small file that it
// replaces whole (QSaveFile), so that a reader never sees half of it; a file, not a socket, so
// that reading it needs nothing from the service and works when the service hangs or is gone.
//
// Where: $RUNTIME_DIRECTORY/Dialvane.status when systemd gives the service a runtime folder
// (/run/dialvane/LINE), else Dialvane-HOST-LINE.status in the log folder (stations on several
// machines may share one). LINE is the name of the configuration folder. The file is written
// on what changes it (a port event, a call starting, its header, its end), at most a few times
// a second; the seconds of a call in progress are counted by the reader from its start.

#include "link/LinkEvents.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTextStream>
#include <QTimer>

#include <cstdint>
#include <map>

namespace dialvane {

class StatusFile : public QObject {
    Q_OBJECT
public:
    StatusFile(QString iniFile, QObject* parent = nullptr);

    // Where the status goes from now on; a file left elsewhere is removed.
    void setPath(const QString& path);
    QString path() const { return path_; }
    // `portName` is the port in use, as the log names it.
    void heard(const LinkEvent& event, const QString& portName);
    // The service has stopped: said at once.
    void stopped();

    // The runtime folder named by $RUNTIME_DIRECTORY (its first entry), else empty.
    static QString runtimeFolder();
    // The file a service of configuration folder `configFolder` writes.
    static QString pathFor(const QString& runtimeFolder, const QString& logFolder,
                           const QString& configFolder);

    static constexpr int kWriteDelayMs = 200;

private:
    struct Call {
        QDateTime since;
        QString peer;
        QString restaurant; // printable; empty until a header names it
        QString direction;
    };

    void changed();
    void write();

    QString iniFile_;
    QString path_;
    QDateTime started_;
    QString port_;
    QString portState_ = QStringLiteral("opening");
    QString portProblem_;
    QString lastCall_;
    bool stopped_ = false;
    std::map<std::uint64_t, Call> calls_;
    QTimer writeSoon_;
};

// `dialvane status`: reads the status file of the station of `configFolder` and prints it.
// Returns 0 when that station runs with its port open, 1 otherwise.
int printStatus(const QString& configFolder, const QString& logFolder, QTextStream& out);

} // namespace dialvane
