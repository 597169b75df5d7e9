#include "link/PortRequest.h"

#include "link/NetworkLine.h"
#include "link/PortAddress.h"
#include "link/SerialLine.h"

namespace dialvane {

std::unique_ptr<Line> makeRealLine(const PortRequest& request) {
    PortAddress address = parsePortValue(request.device);
    if (address.isNetwork())
        return std::make_unique<NetworkLine>(request.portNumber, std::move(address),
                                             AllowList::parse(request.allowFrom), request.maxCalls);
    return std::make_unique<SerialLine>(request.portNumber, request.device);
}

QString deviceForPort(int portNumber, const QString& mapped) {
    if (!mapped.trimmed().isEmpty())
        return mapped.trimmed();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

} // namespace dialvane
