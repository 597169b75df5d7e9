#pragma once
// A loopback port nobody listens on right now, for a station's network line.

#include <QTcpServer>

namespace dialvane::test {

inline quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace dialvane::test
