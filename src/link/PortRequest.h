#pragma once
// Everything an open of the port needs, as a value, and the lines it can make.

#include "link/Line.h"
#include "link/TransferLink.h"

#include <QString>

#include <functional>
#include <memory>

namespace dialvane {

class LinkEventSink;

struct PortRequest {
    QString connectionLetter = QStringLiteral("D"); // "M" modem, anything else direct
    double speed = 9600;
    int portNumber = 1;
    QString device;    // what the port number names: a device, COMn, or tcp:HOST:PORT
    QString allowFrom; // a network line's callers (see AllowList.h); empty: anyone
    int maxCalls = 32; // calls a network line answers at once
    LinkConfig config; // BackroomFolder, LogFolder, SendDelay for the calls to come
    // A port that cannot be opened, or fails while open, is tried again this often until it
    // opens (an adapter plugged back in, an address free again).
    Millis reopenInterval{30000};
};

// Makes the line for a request; the calls of a network line tell their events to `events`.
using LineFactory =
    std::function<std::unique_ptr<Line>(const PortRequest& request, LinkEventSink& events)>;
// Serial lines for devices, network lines (with a pool of calls) for tcp:HOST:PORT.
std::unique_ptr<Line> makeRealLine(const PortRequest& request, LinkEventSink& events);

// The device port number n names when section "Ports" gives nothing (`mapped` empty):
// COMn on Windows, /dev/ttyS<n-1> elsewhere.
QString deviceForPort(int portNumber, const QString& mapped);

} // namespace dialvane
