#pragma once
// Everything the link needs to open a port, as one value, and the line it makes of it. The
// station builds it from its configuration (see station/Configuration.h); the link only reads it.

#include "link/Defender.h"
#include "link/Line.h"
#include "link/LineSettings.h"
#include "link/TlsContext.h"
#include "link/TransferLink.h"

#include <QString>

#include <functional>
#include <memory>

namespace dialvane {

class LinkEventSink;

struct PortRequest {
    Connection connection = Connection::Direct;
    int speed = 9600;
    int portNumber = 1;
    QString device;    // what the port number names: a device, COMn, or a value of PortAddress.h
    QString allowFrom; // a network line's callers (see AllowList.h); empty: anyone
    int maxCalls = 32; // calls a network line answers at once
    int maxCallsPerAddress = 4; // of them from one address; 0: no limit
    TlsSettings tls;            // the files of a tls: line
    DefenderSettings defence;   // when an address that keeps being refused is turned away
    LinkConfig config;          // folders, send delay and timings for the calls to come
    // A port that cannot be opened, or fails while open, is tried again this often until it
    // opens (an adapter plugged back in, an address free again).
    Millis reopenInterval{30000};
};

// Whether two requests open the same line the same way (port, device, connection, speed, who
// may call and how many at once, the encryption's files): when they do, a change of the rest needs
// no reopen.
bool sameLine(const PortRequest& a, const PortRequest& b);
// Whether the calls of two requests run alike (folders, timings, trace) and a failed port is
// tried again as often.
bool sameCalls(const PortRequest& a, const PortRequest& b);

// Makes the line for a request; the calls of a network line tell their events to `events`.
using LineFactory =
    std::function<std::unique_ptr<Line>(const PortRequest& request, LinkEventSink& events)>;
// A network line with a pool of calls for a tcp: or tls: value (one that cannot be used fails
// at its open, with the words --check uses), a serial line for anything else. Never throws.
std::unique_ptr<Line> makeRealLine(const PortRequest& request, LinkEventSink& events);

// The device port number n names when section "Ports" gives nothing (`mapped` empty):
// COMn on Windows, /dev/ttyS<n-1> elsewhere.
QString deviceForPort(int portNumber, const QString& mapped);

} // namespace dialvane
