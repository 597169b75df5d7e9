#pragma once
// A loopback address on a port the system picks at the open (see NetworkLine::listeningPort), so
// no two runs race for a port. No Ports value says this: parsePortValue refuses port 0.

#include "link/PortAddress.h"

namespace dialvane::test {

inline PortAddress loopbackAnyPort(const QString& host = QStringLiteral("127.0.0.1")) {
    PortAddress address;
    address.kind = PortAddress::Kind::Tcp;
    address.host = host;
    address.value = host.contains(QLatin1Char(':')) ? QStringLiteral("tcp:[%1]:0").arg(host)
                                                    : QStringLiteral("tcp:%1:0").arg(host);
    return address;
}

} // namespace dialvane::test
