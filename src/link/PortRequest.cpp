#include "link/PortRequest.h"

#include "link/CallPool.h"
#include "link/NetworkLine.h"
#include "link/PortAddress.h"
#include "link/SerialLine.h"

namespace dialvane {

QString deviceForPort(int portNumber, const QString& mapped) {
    if (!mapped.trimmed().isEmpty())
        return mapped.trimmed();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

std::unique_ptr<Line> makeRealLine(const PortRequest& request, LinkEventSink& events) {
    PortAddress address = parsePortValue(request.device);
    if (address.isNetwork())
        return std::make_unique<NetworkLine>(
            request.portNumber, std::move(address), AllowList::parse(request.allowFrom),
            request.maxCalls,
            std::make_unique<CallPool>(request.config, request.portNumber, events),
            request.maxCallsPerAddress);
    auto serial = std::make_unique<SerialLine>(request.portNumber, request.device);
    serial->onWarning(
        [&events, port = request.portNumber, device = request.device](const QString& text) {
            LinkEvent warning(LinkEvent::Kind::LineNotice);
            warning.portNumber = port;
            warning.device = device;
            warning.level = LinkEvent::Level::Warning;
            warning.text = text;
            events.handle(warning);
        });
    return serial;
}

} // namespace dialvane
