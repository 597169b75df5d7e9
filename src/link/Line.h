#pragma once
// The engine's only view of the port. Serial, network and simulated lines all offer the same
// few operations; every pause and time-out of the engine goes through waitUntil, so a
// simulated line can run a whole call in virtual time.
//
// Failures, the same on every line:
//   - the far end going away (a hang-up, a dropped connection) is no failure: it is the
//     carrier dropping. Bytes sent after it are lost without a word; the engine learns of it
//     from CDHolding at its next wait.
//   - the port itself failing (cannot be opened, an unplugged adapter, an I/O error, a network
//     address that cannot be listened on again) raises LineError, whose description names the
//     port and the reason: open() raises it at once; a failure found while waiting first ends
//     the call in progress (waitUntil reports Carrier) and is then raised by the next
//     waitUntil, after which the line is closed. Output() may raise it too.
//   - close(), Input(), InBufferCount(), CDHolding(), SetDTR() and SetRTS() never raise.

#include "common/Failure.h"
#include "link/CallSummary.h"
#include "link/LineSettings.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace dialvane {

struct LinkConfig;

using Millis = std::chrono::milliseconds;

// A port that cannot be opened, read or written; the description names the port and the reason.
class LineError : public Failure {
public:
    using Failure::Failure;
};

// A caller the line will not take as a call, or a header the caller may not send: its
// encryption failed, its certificate names no restaurant or another one. The call ends
// refused, with the description as its reason.
class CallRefused : public Failure {
public:
    using Failure::Failure;
};

// A caller a network line closed before reading a byte: not on the allow list (refused), or
// beyond the calls the line takes at once (busy). Never a call, but the journal keeps it.
struct TurnedAway {
    std::uint64_t call = 0; // the number taken when it was accepted
    QString peer;           // "address:port"
    CallOutcome outcome = CallOutcome::Refused;
    QString reason;
};

class Line {
public:
    enum class Wake { Data, Carrier, Stop, Deadline };

    virtual ~Line() = default;

    // Opens the port with these settings; RTS and DTR are raised. Throws LineError naming the
    // port and the reason.
    virtual void open(const LineSettings& settings) = 0;
    // Closes the port; closing a closed port does nothing.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // A modem answers the calls on this line (false for a network line, which has none).
    virtual bool hasModem() const { return true; }

    // Queues bytes for sending and returns at once. Raises LineError when the port fails.
    virtual void Output(const QByteArray& bytes) = 0;
    // Hands over `bytes` to go at `due` on the line's clock, after what was handed over before,
    // and returns at once; true when the line has taken them. A hang-up or a dropped carrier
    // before `due` takes them back. A line that cannot send on its own takes nothing: the
    // caller then waits for `due` and sends them itself.
    virtual bool OutputAt(const QByteArray& /*bytes*/, Millis /*due*/) { return false; }
    // Returns every byte waiting and removes it from the receive buffer (nothing when closed).
    virtual QByteArray Input() = 0;
    virtual int InBufferCount() const = 0;
    virtual bool CDHolding() const = 0;
    virtual void SetDTR(bool raised) = 0;
    virtual void SetRTS(bool raised) = 0;

    // The line's clock. Real lines count real milliseconds, the simulated line virtual ones.
    virtual Millis now() const = 0;
    // Blocks until new bytes arrive, the carrier changes, a stop is requested or the deadline
    // passes, whichever comes first, and says which. Raises LineError for a port that failed
    // (see above); on a closed line it returns Deadline at once.
    virtual Wake waitUntil(Millis deadline) = 0;
    // True once the owner wants the line to stop (closing or reopening the port).
    virtual bool stopRequested() const { return false; }
    // Who called, for the call journal: "address:port" of the current (or last) caller on a
    // network line; a serial line cannot tell and says nothing.
    virtual QString peerAddress() const { return {}; }
    // The one restaurant the caller has proved it is (by its certificate), on an encrypted line
    // that requires it: a header naming another one is refused. Nothing on every other line.
    virtual std::optional<QString> certifiedRestaurant() const { return std::nullopt; }
    // Callers turned away since the last ask, for the call journal.
    virtual std::vector<TurnedAway> takeTurnedAway() { return {}; }
    // The settings of the calls still to come, for a line whose calls run engines of their
    // own (a network line); the calls in progress keep theirs. Never raises.
    virtual void setCallConfig(const LinkConfig& /*config*/) {}
};

} // namespace dialvane
