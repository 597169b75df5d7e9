#pragma once
// The encryption of one call's connection, driven by its ConnectionLine on the call's own
// thread: every operation is one non-blocking step on the descriptor, and says what it waits
// for (bytes to read, room to write) so that the line waits for it with the rest of its waits.
// Nothing here blocks, sleeps or raises.

#include "link/TlsContext.h"

#include <QString>

#include <optional>

using SSL = struct ssl_st;

namespace dialvane {

class TlsSession {
public:
    enum class Step {
        Done,      // the step is over (bytes, when it moves them, in `bytes`)
        WantRead,  // try again once the descriptor is readable
        WantWrite, // try again once the descriptor is writable
        Closed,    // the caller closed the connection
        Failed,    // the connection is of no more use; `failure()` says why
    };
    struct Io {
        Step step;
        qint64 bytes = 0;
    };

    // The descriptor stays the caller's to close.
    TlsSession(const TlsContext& context, qintptr descriptor);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // One step of the station's side of the handshake. Done once it is over and, with
    // restaurant certificates, the caller's names a restaurant (see restaurant()).
    Step handshake();
    Io read(char* into, qint64 size);
    // Whether the session holds input it read ahead of the caller's last read: the descriptor
    // no longer shows it, so a wait must not sleep on the descriptor first.
    bool holdsInput() const;
    Io write(const char* from, qint64 size);
    // Says goodbye to the caller, as far as the connection takes it at once.
    void close();

    // Why the handshake or the connection failed, for the journal.
    QString failure() const { return failure_; }
    // Bytes the caller sent so far, encrypted, handshake included.
    qint64 bytesReceived() const { return wire_.received; }

    // The connection as the session's transport sees it.
    struct Wire {
        qintptr descriptor;
        qint64 received;
    };

    // The restaurant number the caller's certificate names, once the handshake is done on a
    // line that requires restaurant certificates.
    std::optional<QString> restaurant() const { return restaurant_; }

private:
    Step failed(int result);
    bool readRestaurant();

    SSL* ssl_ = nullptr;
    bool requireRestaurant_ = false;
    QString failure_;
    std::optional<QString> restaurant_;
    Wire wire_;
};

} // namespace dialvane
