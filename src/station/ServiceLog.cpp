#include "station/ServiceLog.h"

#include "common/EightBitText.h"

#include <QDateTime>

namespace dialvane {

QString describeCall(const CallSummary& call) {
    const bool header = !call.restoNum.trimmed().isEmpty();
    QString text = header ? QStringLiteral("call %1 %2%3")
                                .arg(printable(call.restoNum), printable(call.transaction),
                                     printable(call.type))
                          : QStringLiteral("call without a header");
    if (!call.peer.isEmpty())
        text += QStringLiteral(" from ") + call.peer;
    text += QStringLiteral(": ") + outcomeName(call.outcome);
    if (!call.reason.isEmpty())
        text += QStringLiteral(" (%1)").arg(call.reason);
    else if (call.silent())
        text += QStringLiteral(" (closed before sending a byte)");
    if (header && call.outcome != CallOutcome::Refused && call.outcome != CallOutcome::Busy) {
        text += QStringLiteral(", %1 records %2")
                    .arg(call.records)
                    .arg(call.receiving() ? QStringLiteral("received") : QStringLiteral("sent"));
        if (call.recordsFailed > 0)
            text += QStringLiteral(", %1 failed").arg(call.recordsFailed);
        if (call.naksSent > 0)
            text += QStringLiteral(", %1 NAKs").arg(call.naksSent);
        if (call.bytes > 0 || !call.files.isEmpty())
            text += QStringLiteral(" (%1 bytes; %2)")
                        .arg(call.bytes)
                        .arg(call.files.isEmpty() ? QStringLiteral("no file")
                                                  : call.files.join(QStringLiteral(", ")));
    }
    return text + QStringLiteral(", %1 s").arg(call.duration.count() / 1000.0, 0, 'f', 1);
}

ServiceLog::ServiceLog(std::FILE* out)
    : out_(out), journal_(qEnvironmentVariableIsSet("JOURNAL_STREAM")) {}

void ServiceLog::write(Level level, const QString& text) {
    // One event, one line: a reason or a file name from a site cannot start a forged line.
    const QString line = escapeControls(text);
    QByteArray bytes;
    if (journal_) {
        bytes = '<' + QByteArray::number(static_cast<int>(level)) + '>';
    } else {
        const char* name = level == Level::Error     ? "error"
                           : level == Level::Warning ? "warning"
                                                     : "info";
        // With its offset: a log read elsewhere, or across a clock change, still says when.
        const QDateTime now = QDateTime::currentDateTime();
        bytes = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toUtf8() + ' ' +
                name + ": ";
    }
    bytes += line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out_);
    std::fflush(out_);
}

} // namespace dialvane
