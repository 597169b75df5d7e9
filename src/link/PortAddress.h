#pragma once
// What a port value of section "Ports" names. It is read here and nowhere else: the line that
// opens it, `--check` and the site tool all go through parsePortValue and listenOn, so a value
// one of them accepts the others accept, and one they refuse is refused with the same words.
//
//   tcp:HOST:PORT   a network line listening on HOST, which is "*" (every address of this
//                   machine, IPv4 and IPv6), an IPv4 address, an IPv6 address (in brackets:
//                   [::1]; without them only where the text cannot be read otherwise), or a
//                   name the system resolves (localhost): its first address is listened on.
//   tls:HOST:PORT   the same address for an encrypted line (its files: TlsContext.h).
//   anything else   a serial device: /dev/ttyUSB0, COM3. Whether it exists is the open's word.
// PORT is a whole number from 1 to 65535: port 0 would listen where no site can find it.

#include <QString>

class QTcpServer;

namespace dialvane {

struct PortAddress {
    enum class Kind { Serial, Tcp, Tls };
    Kind kind = Kind::Serial;
    QString value; // as written, for messages; a serial device as it is opened
    QString host;  // a network line's host without brackets: "*", an address or a name
    quint16 port = 0;
    // Why a network value cannot be used, naming it; empty when it can. A serial value is
    // never refused here.
    QString error;

    bool isNetwork() const { return kind != Kind::Serial; }
};

// Never throws: a value that cannot be used comes back with its error.
PortAddress parsePortValue(const QString& value);

// Makes `server` listen where `address` says, resolving a host name as the system does (this
// blocks while the name is looked up). Returns an empty text once it listens, else why not,
// naming the value: the parser's error, a name that does not resolve, or the system's reason (an
// address in use, one this machine does not have).
QString listenOn(QTcpServer& server, const PortAddress& address);

} // namespace dialvane
