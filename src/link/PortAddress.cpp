#include "link/PortAddress.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpServer>

#include <algorithm>

namespace dialvane {

namespace {

bool isIPv6(const QString& text) {
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

// Why `host` cannot name a listening address, or an empty text. Names are left to the open,
// which resolves them as the system does.
QString hostProblem(const QString& host) {
    if (host.isEmpty())
        return QStringLiteral("no host is named (* listens on every address)");
    if (host.startsWith(QLatin1Char('['))) {
        if (!host.endsWith(QLatin1Char(']')) || !isIPv6(host.mid(1, host.size() - 2)))
            return QStringLiteral("%1 is not an IPv6 address in brackets").arg(host);
        return QString();
    }
    QHostAddress address;
    if (host.contains(QLatin1Char(':')) && !address.setAddress(host))
        return QStringLiteral("%1 is no address: an IPv6 address goes in brackets, as in "
                              "tcp:[::1]:5001")
            .arg(host);
    return QString();
}

} // namespace

PortAddress parsePortValue(const QString& value) {
    PortAddress parsed;
    parsed.value = value;
    if (value.startsWith(QStringLiteral("tcp:")))
        parsed.kind = PortAddress::Kind::Tcp;
    else if (value.startsWith(QStringLiteral("tls:")))
        parsed.kind = PortAddress::Kind::Tls;
    else
        return parsed;

    const QString scheme = value.left(4), rest = value.mid(4);
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        parsed.error = QStringLiteral("%1 is not of the form %2HOST:PORT").arg(value, scheme);
        return parsed;
    }
    const QString host = rest.left(colon), port = rest.mid(colon + 1);
    // Digits only: toUInt would also take a sign or blanks around the number.
    bool ok = !port.isEmpty() && std::all_of(port.begin(), port.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    const uint number = ok ? port.toUInt(&ok) : 0;
    if (!ok || number < 1 || number > 65535) {
        parsed.error = QStringLiteral("%1: the port \"%2\" is not a whole number from 1 to 65535")
                           .arg(value, port);
        return parsed;
    }
    if (const QString problem = hostProblem(host); !problem.isEmpty()) {
        parsed.error = QStringLiteral("%1: %2").arg(value, problem);
        return parsed;
    }
    parsed.host = host.startsWith(QLatin1Char('[')) ? host.mid(1, host.size() - 2) : host;
    parsed.port = static_cast<quint16>(number);
    return parsed;
}

QString listenOn(QTcpServer& server, const PortAddress& address) {
    if (!address.isNetwork())
        return QStringLiteral("%1 is not a network address").arg(address.value);
    if (!address.error.isEmpty())
        return address.error;
    QHostAddress host;
    if (address.host == QStringLiteral("*")) {
        host = QHostAddress::Any; // both families on one socket
    } else if (!host.setAddress(address.host)) {
        const QHostInfo info = QHostInfo::fromName(address.host);
        if (info.addresses().isEmpty())
            return QStringLiteral("%1: unknown host %2").arg(address.value, address.host);
        host = info.addresses().constFirst();
    }
    if (!server.listen(host, address.port))
        return QStringLiteral("%1 cannot be listened on: %2")
            .arg(address.value, server.errorString());
    return QString();
}

} // namespace dialvane
