#pragma once
// What one call amounted to, told once when it ends: for the service log, the readiness status
// and the call history.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>

namespace dialvane {

enum class CallOutcome {
    Completed, // the file installed, or the three files sent
    Dropped,   // the carrier went before the exchange was over
    Refused,   // a zero or unsafe header: nothing read, written or sent
    Busy,      // the restaurant was in another call
    HungUp,    // the station hung up after its NAK limit
    Failed,    // a file or the line failed; `reason` says which and why
    Stopped,   // the operator or a signal closed the port
};

QString outcomeName(CallOutcome outcome);
// Every outcome's name, in the order of CallOutcome: what reports accept and metrics count.
const QStringList& outcomeNames();

enum class CallDirection { None, Receive, Send };

QString directionName(CallDirection direction);

struct CallSummary {
    QDateTime start;        // local time the carrier came up
    QString port;           // "COM1"
    QString device;         // what the port names: /dev/ttyS0, tcp:0.0.0.0:5001
    QString peer;           // the caller's address on a network line, else empty
    QByteArray restoNum;    // as the header gave it, blank when no header came
    QByteArray transaction; // "S" receive, another code send, blank when no header came
    QByteArray type;
    CallOutcome outcome = CallOutcome::Dropped;
    QString reason;
    QStringList files;     // the restaurant's files the call received or began to send
    int records = 0;       // received and installed, or sent and answered ACK
    int recordsFailed = 0; // sent without an ACK
    int naksSent = 0;
    int blocksResent = 0;  // blocks the station sent again after a silence or a NAK
    qint64 bytes = 0;      // data bytes written to the received file, or of the records sent
    qint64 bytesHeard = 0; // every byte the caller sent, headers and noise included
    std::chrono::milliseconds duration{0};

    bool receiving() const { return transaction == "S"; }
    // What the call did: nothing for a call without a usable header.
    CallDirection direction() const;
    // Blocks answered so far, the header excluded.
    int blocks() const { return records + recordsFailed; }
    // A caller that hung up before sending a byte: a health check, a port scan, a wrong number.
    bool silent() const {
        return outcome == CallOutcome::Dropped && bytesHeard == 0 && reason.isEmpty();
    }
};

} // namespace dialvane
