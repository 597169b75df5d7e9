#include "link/Modem.h"

namespace dialvane::modem {

namespace {

constexpr qsizetype kMaxPending = 256;

Millis deadlineAfter(const Line& line, Millis span) {
    return line.now() + span;
}

} // namespace

bool isResultText(const QByteArray& line) {
    static const QByteArray whole[] = {"OK",   "RING",        "NO CARRIER",   "ERROR",
                                       "BUSY", "NO DIALTONE", "NO DIAL TONE", "NO ANSWER"};
    const QByteArray text = line.trimmed();
    for (const QByteArray& w : whole)
        if (text == w)
            return true;
    return text == "CONNECT" || text.startsWith("CONNECT ");
}

QList<QByteArray> takeLines(QByteArray& pending, const QByteArray& arrived) {
    pending += arrived;
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < pending.size(); ++i) {
        if (pending[i] != '\r' && pending[i] != '\n')
            continue;
        if (i > start)
            lines << pending.mid(start, i - start);
        start = i + 1;
    }
    pending.remove(0, start);
    if (pending.size() > kMaxPending)
        pending = pending.right(kMaxPending);
    return lines;
}

Answer command(Line& line, const QByteArray& command, Millis limit,
               const std::function<void(const QByteArray&)>& heard) {
    line.Input(); // what came before is no answer to this command
    line.Output(command + '\r');
    QByteArray pending;
    const Millis deadline = deadlineAfter(line, limit);
    for (;;) {
        for (const QByteArray& text : takeLines(pending, line.Input())) {
            if (text.trimmed() == "OK")
                return Answer::Ok;
            if (heard && isResultText(text))
                heard(text.trimmed());
        }
        if (line.stopRequested())
            return Answer::Stopped;
        if (line.CDHolding())
            return Answer::Call;
        if (line.now() >= deadline)
            return Answer::Silent;
        line.waitUntil(deadline);
    }
}

Answer setUp(Line& line, const std::function<void(const QByteArray&)>& heard) {
    const Answer reset = command(line, "ATZ", kSetUpAnswerLimit, heard);
    if (reset != Answer::Ok)
        return reset;
    return command(line, "AT s0=1", kSetUpAnswerLimit, heard);
}

Answer reset(Line& line, const std::function<void(const QByteArray&)>& heard) {
    line.SetDTR(false);
    const Millis until = deadlineAfter(line, kResetDtrLow);
    while (line.now() < until && !line.stopRequested())
        line.waitUntil(until);
    line.SetDTR(true);
    if (line.stopRequested())
        return Answer::Stopped;
    return setUp(line, heard);
}

} // namespace dialvane::modem
