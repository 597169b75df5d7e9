#pragma once
// The settings a port is opened with, as values. The text form ("9600,n,8,1") is only for
// the operator: the window's title and messages.

#include <QString>

namespace dialvane {

// Whether a modem answers the calls of a serial line (reset and set to answer at each open), or
// the line is wired straight to the site. A network line never has a modem.
enum class Connection { Direct, Modem };

struct LineSettings {
    int speed = 9600;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1;

    QString text() const {
        return QStringLiteral("%1,%2,%3,%4")
            .arg(speed)
            .arg(QChar::fromLatin1(parity))
            .arg(dataBits)
            .arg(stopBits);
    }
};

} // namespace dialvane
