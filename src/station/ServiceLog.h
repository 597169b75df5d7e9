#pragma once
// The service's log: one line per event on standard error. When standard error is the
// system journal (JOURNAL_STREAM set) each line starts with its priority ("<3>" error, "<4>"
// warning, "<6>" information) and the journal adds the time; otherwise the line starts with
// the local time. Bytes that came from the line are shown escaped (see printable), so a site
// can neither forge a log line nor garble a terminal.

#include "common/EightBitText.h"
#include "link/CallSummary.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace dialvane {

// "call 000123 S1 from 192.0.2.7:40312: completed, 2000 records received (254000 bytes;
// itrfinv1), 3.2 s", a refusal or failure with its reason, and the like.
QString describeCall(const CallSummary& call);

class ServiceLog {
public:
    enum class Level { Error = 3, Warning = 4, Info = 6 };

    explicit ServiceLog(std::FILE* out = stderr);

    void error(const QString& text) { write(Level::Error, text); }
    void warning(const QString& text) { write(Level::Warning, text); }
    void info(const QString& text) { write(Level::Info, text); }
    void write(Level level, const QString& text);

private:
    std::FILE* out_;
    bool journal_;
};

} // namespace dialvane
