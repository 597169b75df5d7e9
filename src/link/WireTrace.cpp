#include "link/WireTrace.h"

namespace dialvane {

namespace {

const char* controlName(unsigned char byte) {
    switch (byte) {
    case 0x02:
        return "STX";
    case 0x03:
        return "ETX";
    case 0x06:
        return "ACK";
    case 0x15:
        return "NAK";
    case 0x0D:
        return "CR";
    case 0x0A:
        return "LF";
    default:
        return nullptr;
    }
}

} // namespace

QString traceFileName(const QDateTime& start, int portNumber) {
    return QStringLiteral("Dialvane%1-COM%2.trace.log")
        .arg(start.toString(QStringLiteral("yyyyMMdd-hhmmss")))
        .arg(portNumber);
}

QString traceText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size() + 16);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '<')
            text += QLatin1Char(c);
        else if (const char* name = controlName(byte))
            text += QLatin1Char('<') + QLatin1String(name) + QLatin1Char('>');
        else
            text += QStringLiteral("<%1>").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

WireTrace::WireTrace(const QString& logFolder, const QDateTime& start, int portNumber,
                     std::chrono::milliseconds carrierUp, qint64 maxBytes)
    : carrierUp_(carrierUp), maxBytes_(maxBytes) {
    // Calls that begin in the same second on one port (a network line takes several at once)
    // get files of their own: "...-COM1.trace.log", "...-COM1-2.trace.log", ...
    const QString name = logFolder + traceFileName(start, portNumber);
    for (int n = 1; n <= kMaxSameName; ++n) {
        file_.setFileName(n == 1 ? name
                                 : QString(name).replace(QStringLiteral(".trace.log"),
                                                         QStringLiteral("-%1.trace.log").arg(n)));
        if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly) || !file_.exists())
            return;
    }
}

void WireTrace::write(std::chrono::milliseconds now, const char* direction,
                      const QByteArray& bytes) {
    if (bytes.isEmpty() || !file_.isOpen())
        return;
    const auto at = (now - carrierUp_).count();
    QByteArray line = QStringLiteral("%1 %2 %3\r\n")
                          .arg(at, 8)
                          .arg(QLatin1String(direction), traceText(bytes))
                          .toLatin1();
    bool last = false;
    if (written_ + line.size() > maxBytes_) {
        line = QStringLiteral("%1 --- the trace stops here: it reached its limit of %2 MB\r\n")
                   .arg(at, 8)
                   .arg(maxBytes_ / (1024 * 1024))
                   .toLatin1();
        last = true;
    }
    written_ += line.size();
    // Flushed per line: the trace matters most for the call that ended the process.
    if (file_.write(line) < 0 || !file_.flush() || last)
        file_.close();
}

void TracingSink::handle(const LinkEvent& event) {
    using Kind = LinkEvent::Kind;
    switch (event.kind) {
    case Kind::BytesIn:
    case Kind::BytesOut:
        if (!trace_) // the first bytes of a traced call open its file
            trace_ = std::make_unique<WireTrace>(logFolder_, event.summary.start, event.portNumber,
                                                 std::chrono::milliseconds(0), maxBytes_);
        if (trace_->isOpen()) {
            if (event.kind == Kind::BytesIn)
                trace_->in(event.summary.duration, event.bytes);
            else
                trace_->out(event.summary.duration, event.bytes);
        } else if (!told_) {
            told_ = true;
            LinkEvent notice(Kind::LineNotice);
            notice.portNumber = event.portNumber;
            notice.device = event.device;
            notice.text = QStringLiteral("Cannot write the wire trace %1: %2")
                              .arg(trace_->path(), trace_->errorString());
            next_.handle(notice);
        }
        return;
    case Kind::CallEnded:
    case Kind::CarrierLost:
        trace_.reset();
        told_ = false;
        break;
    default:
        break;
    }
    next_.handle(event);
}

} // namespace dialvane
