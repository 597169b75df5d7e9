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

bool sameLine(const PortRequest& a, const PortRequest& b) {
    return a.connection == b.connection && a.speed == b.speed && a.portNumber == b.portNumber &&
           a.device == b.device && a.allowFrom == b.allowFrom && a.maxCalls == b.maxCalls &&
           a.maxCallsPerAddress == b.maxCallsPerAddress && a.tls == b.tls && a.defence == b.defence;
}

bool sameCalls(const PortRequest& a, const PortRequest& b) {
    const LinkConfig &x = a.config, &y = b.config;
    return x.BackroomFolder == y.BackroomFolder && x.LogFolder == y.LogFolder &&
           x.sendDelay == y.sendDelay && x.clock == y.clock &&
           x.modemCheckInterval == y.modemCheckInterval && x.trace == y.trace &&
           x.maxCall == y.maxCall && a.reopenInterval == b.reopenInterval;
}

std::unique_ptr<Line> makeRealLine(const PortRequest& request, LinkEventSink& events) {
    PortAddress address = parsePortValue(request.device);
    if (address.isNetwork()) {
        // One for the line's life: a reopen (a reload that changes the line) starts afresh.
        auto defender = std::make_shared<Defender>(request.defence, *request.config.clock);
        auto line = std::make_unique<NetworkLine>(
            request.portNumber, std::move(address), AllowList::parse(request.allowFrom),
            request.maxCalls,
            std::make_unique<CallPool>(request.config, request.portNumber, events, defender),
            request.maxCallsPerAddress, defender);
        line->setTls(request.tls);
        return line;
    }
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
