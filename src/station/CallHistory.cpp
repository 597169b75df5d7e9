#include "station/CallHistory.h"

#include "common/EightBitText.h"

namespace dialvane {

journal::Entry journalEntry(const CallSummary& call) {
    journal::Entry entry;
    entry.start = call.start;
    entry.seconds = static_cast<double>(call.duration.count()) / 1000.0;
    entry.port = call.port;
    entry.device = call.device;
    entry.peer = call.peer;
    entry.restaurant = call.restoNum;
    entry.transaction = call.transaction;
    entry.type = call.type;
    entry.direction = directionName(call.direction());
    entry.files = call.files;
    entry.records = call.records;
    entry.recordsFailed = call.recordsFailed;
    entry.naksSent = call.naksSent;
    entry.blocksResent = call.blocksResent;
    entry.bytes = call.bytes;
    entry.outcome = outcomeName(call.outcome);
    entry.reason = call.reason;
    return entry;
}

QString callResult(const journal::Entry& call, const QLocale& locale) {
    const bool receive = call.direction == QStringLiteral("receive");
    const bool send = call.direction == QStringLiteral("send");
    const QString records = locale.toString(call.records);
    if (call.outcome == QStringLiteral("completed")) {
        if (receive)
            return QStringLiteral("sent %1: %2 records")
                .arg(escapeControls(call.files.value(0)), records);
        if (send)
            return QStringLiteral("fetched %1 files: %2 records")
                .arg(call.files.size())
                .arg(records);
    }
    const QString what = receive ? QStringLiteral("send ")
                         : send  ? QStringLiteral("fetch ")
                                 : QString();
    QString text = what + escapeControls(call.outcome);
    if (!call.reason.isEmpty())
        text += QStringLiteral(": ") + escapeControls(call.reason);
    return text;
}

QString lastCallLine(const journal::Entry& call, const QLocale& locale) {
    const QString who = call.restaurant.trimmed().isEmpty() ? QStringLiteral("(no header)")
                                                            : printable(call.restaurant);
    return call.start.time().toString(QStringLiteral("HH:mm")) + QLatin1Char(' ') + who +
           QLatin1Char(' ') + callResult(call, locale);
}

} // namespace dialvane
