#pragma once
// The bytes of one call as they crossed the line, for diagnosing a site in the field: a file
// "Dialvane<yyyyMMdd-hhmmss>-COMn.trace.log" in the log folder ("-COMn-2.trace.log" and so on
// for further calls that began in the same second), one line per read or write,
// "<ms since the carrier came up> <in|out> <bytes>". Control bytes are named (<STX>, <ETX>,
// <ACK>, <NAK>, <CR>, <LF>), other bytes outside printable ASCII and '<' itself are <hex>, so
// the file stays one event per line whatever a site sends. Its name sorts with the transfer
// logs, so the log purge removes it after the same number of days.
//
// A trace that cannot be written never ends a call: the station loses the trace, not the call.
// Nor can a caller that floods the line fill the disk: a call's trace stops at a size limit,
// with one last line saying so.

#include "link/LinkEvents.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <chrono>
#include <memory>

namespace dialvane {

QString traceFileName(const QDateTime& start, int portNumber);
// The bytes as the trace shows them.
QString traceText(const QByteArray& bytes);

class WireTrace {
public:
    // Opens (creates) the call's trace; isOpen() says whether that worked.
    WireTrace(const QString& logFolder, const QDateTime& start, int portNumber,
              std::chrono::milliseconds carrierUp, qint64 maxBytes = kDefaultMaxBytes);
    bool isOpen() const { return file_.isOpen(); }
    QString errorString() const { return file_.errorString(); }
    QString path() const { return file_.fileName(); }

    void in(std::chrono::milliseconds now, const QByteArray& bytes) { write(now, "in ", bytes); }
    void out(std::chrono::milliseconds now, const QByteArray& bytes) { write(now, "out", bytes); }

    // Calls beginning in one second on one port beyond this many go untraced.
    static constexpr int kMaxSameName = 1000;
    static constexpr qint64 kDefaultMaxBytes = 64LL * 1024 * 1024;

private:
    void write(std::chrono::milliseconds now, const char* direction, const QByteArray& bytes);

    QFile file_;
    std::chrono::milliseconds carrierUp_;
    qint64 maxBytes_;
    qint64 written_ = 0;
};

// The wire trace as a subscriber of one engine's events: for a call that is traced it writes
// the byte events to the call's file and keeps them to itself; every other event goes on to
// `next`. A trace that cannot be opened is told once as a line notice.
class TracingSink final : public LinkEventSink {
public:
    explicit TracingSink(LinkEventSink& next) : next_(next) {}
    // Where the calls to come are traced, and how much of each.
    void configure(const QString& logFolder, qint64 maxBytes) {
        logFolder_ = logFolder;
        maxBytes_ = maxBytes;
    }
    void handle(const LinkEvent& event) override;

private:
    LinkEventSink& next_;
    QString logFolder_;
    qint64 maxBytes_ = WireTrace::kDefaultMaxBytes;
    std::unique_ptr<WireTrace> trace_; // while a traced call runs
    bool told_ = false;                // that its file cannot be written
};

} // namespace dialvane
