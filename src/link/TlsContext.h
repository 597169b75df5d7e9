#pragma once
// What an encrypted (tls:) network line needs before it listens: the station's certificate
// chain and key, and, when restaurants must prove who they are, the authority that issues
// their certificates and its revocation list. Everything is read and checked once, when the
// line opens, into one context that the calls of the line share read-only; a file that is
// missing, unreadable, readable by others (the key), mismatched or expired fails the open,
// so the port is reported and tried again as any port that cannot be opened.
//
// The calls do their handshakes with OpenSSL directly on their connection's descriptor (see
// ConnectionLine.h): no socket object and no event loop per call.

#include "link/Line.h"
#include "link/PortAddress.h"

#include <QString>

#include <memory>

using SSL_CTX = struct ssl_ctx_st;

namespace dialvane {

// The files of section Network, as configured (PEM, paths as written).
struct TlsSettings {
    QString certificateFile; // the station's certificate, then its chain
    QString keyFile;         // the station's private key, unencrypted, readable by its owner only
    QString clientCAFile;    // empty: any caller; else restaurants need a certificate from it
    QString crlFile;         // revoked restaurant certificates; empty: none
    // A handshake not finished by then ends its connection. Not a setting: tests shorten it.
    Millis handshakeLimit{10000};

    bool operator==(const TlsSettings&) const = default;
};

class TlsContext {
public:
    // Reads and checks every file; throws Failure naming the file (or the setting) and why.
    static std::shared_ptr<const TlsContext> load(const TlsSettings& settings);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* context() const { return context_; }
    // Callers must present a certificate from the configured authority, naming a restaurant.
    bool restaurantCertificates() const { return restaurantCertificates_; }
    Millis handshakeLimit() const { return handshakeLimit_; }

private:
    TlsContext() = default;

    SSL_CTX* context_ = nullptr;
    bool restaurantCertificates_ = false;
    Millis handshakeLimit_{10000};
};

// What an open (or --check) of `address` with these files gets: nothing for a line that is
// not encrypted or a value the parser refused (listenOn says why); else the context, or why
// not, naming the value first as listenOn does.
struct LoadedTls {
    std::shared_ptr<const TlsContext> context;
    QString failure;
};
LoadedTls loadTlsFor(const PortAddress& address, const TlsSettings& settings);

// OpenSSL's latest error on this thread, short ("wrong version number"), and clears the rest.
QString tlsErrorText();

} // namespace dialvane
