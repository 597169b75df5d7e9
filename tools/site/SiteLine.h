#pragma once
// The site's end of a real line: a TCP connection (encrypted or not) to a station's network
// line, or a serial device (a null-modem cable, where our DTR is the station's carrier, or a modem
// we dial).

#include "common/Failure.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QSslSocket>
#include <QString>

#include <memory>

namespace dialvane::site {

class SiteLineError : public Failure {
public:
    using Failure::Failure;
};

class SiteLine {
public:
    virtual ~SiteLine() = default;
    // Raises the carrier seen by the station (connects, raises DTR, or dials).
    virtual void callUp() = 0;
    virtual void hangUp() = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Waits at most `ms` for bytes; returns what arrived (possibly nothing).
    virtual QByteArray read(int ms) = 0;
    // False once the station has hung up.
    virtual bool stationPresent() = 0;
};

// What an encrypted call needs: the authority that issued the station's certificate (empty:
// the system's), and the restaurant's certificate and key when the station asks for one.
struct SiteTls {
    bool on = false; // also implied by a tls: line
    QString caFile, certificateFile, keyFile;
};

// Throws SiteLineError for a line or a file that cannot be used.
std::unique_ptr<SiteLine> openSiteLine(const QString& line, int speed, const QString& dial,
                                       const SiteTls& tls = {});

} // namespace dialvane::site
