#pragma once
// A loopback address whose port the system picks when the line opens: tests read it back with
// NetworkLine::listeningPort(), so no two runs race for a port. No Ports value can say this
// (parsePortValue refuses port 0), hence the address is made here, not parsed.

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
