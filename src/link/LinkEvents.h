#pragma once
// What happens on a line, as the link tells it: a port being opened, opened or closed, a call
// starting, its header, each block that crosses the line, a notice about the line, the call's
// end. The link says nothing about windows or logs: the status window, the main window's
// title and list, the service log, the readiness status, the journal and the wire trace each
// make of these events what they need.
//
// Events of one call come in the order they happened, from the thread that runs the call;
// calls of a network line run on threads of their own, so events of different calls
// interleave. Calls are told apart, and ordered, by their number: taken when the carrier comes
// up on a serial line, when the connection is accepted on a network line, and never reused in
// the life of the process.

#include "link/CallSummary.h"
#include "link/LineSettings.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace dialvane {

struct LinkEvent {
    enum class Kind {
        PortOpening, // `settings` on port `portNumber` (`device`) are about to be opened
        PortOpened,  // the port answers calls; `restored` after it had failed
        PortClosed,  // `text`: empty when closed on request, else why (see `failure`)
        // The port asked for (`portNumber`, `device`) could not be opened (`text`): the port in
        // service before the request stays open, with the settings it had.
        PortKept,
        CallStarted,    // the carrier is up: `summary` holds the start time and peer
        HeaderReceived, // a header block was answered: `restoNum`, `transaction`, `type`
        // A block (`bytes`) crossed the line in `direction` and was answered, or given up on;
        // `summary`: the call so far, that block counted.
        BlockMoved,
        LineNotice,  // `text`, about the line rather than a call (a modem's texts)
        CallEnded,   // `summary`: the call, whole; a caller turned away has no CallStarted
        CarrierLost, // the call's carrier is gone and its state blanked
        // Every read (BytesIn) and write (BytesOut) of a traced call: `bytes`, at
        // `summary.duration` since its carrier came up. The wire trace takes them; they go no
        // further (see TracingSink in WireTrace.h).
        BytesIn,
        BytesOut,
    };
    // Why a port closed without being asked to.
    enum class PortFailure { None, CannotOpen, FailedWhileOpen };
    enum class Level { Info, Warning };

    LinkEvent() = default;
    explicit LinkEvent(Kind kind) : kind(kind) {}

    Kind kind = Kind::LineNotice;
    std::uint64_t call = 0; // the call's number; zero for the events of a port
    int portNumber = 0;
    QString device;

    LineSettings settings; // PortOpening
    bool network = false;  // PortOpening: a network line, which has no line settings
    bool restored = false; // PortOpened
    PortFailure failure = PortFailure::None; // PortClosed
    Level level = Level::Info;               // LineNotice
    QString text;                            // PortClosed, PortKept, LineNotice

    QByteArray restoNum;    // HeaderReceived: the fields as the header gave them
    QByteArray transaction; // "S" receive, "N" another header follows, anything else send
    QByteArray type;

    CallDirection direction = CallDirection::None; // BlockMoved: Receive in, Send out
    QByteArray bytes;                              // BlockMoved: as on the line

    CallSummary summary; // CallStarted, BlockMoved, CallEnded
};

// Whoever wants to hear of the link's events. `handle` may be called from any of the link's
// threads, and must neither block for long nor call back into the link.
class LinkEventSink {
public:
    virtual ~LinkEventSink() = default;
    virtual void handle(const LinkEvent& event) = 0;
};

// A sink that hears nothing: for the engine of a benchmark or a fuzzer.
class NoEvents final : public LinkEventSink {
public:
    void handle(const LinkEvent&) override {}
};

// The next call number of this process: increasing, never zero, safe from any thread.
std::uint64_t takeCallNumber();

} // namespace dialvane
