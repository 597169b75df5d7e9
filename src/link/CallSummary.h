#pragma once
// What one call amounted to, told once when it ends: for the service log, the readiness status
// and the call history.

#include <QByteArray>
#include <QString>

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

struct CallSummary {
    QByteArray restoNum;    // as the header gave it, blank when no header came
    QByteArray transaction; // "S" receive, another code send, blank when no header came
    QByteArray type;
    CallOutcome outcome = CallOutcome::Dropped;
    QString reason;
    int records = 0;       // received and installed, or sent and answered ACK
    int recordsFailed = 0; // sent without an ACK
    int naksSent = 0;
    std::chrono::milliseconds duration{0};

    bool receiving() const { return transaction == "S"; }
};

} // namespace dialvane
