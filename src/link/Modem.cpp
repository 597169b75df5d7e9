#include "link/Modem.h"

#include <array>

namespace dialvane::modem {

namespace {

constexpr qsizetype kMaxPending = 256;

Millis deadlineAfter(const Line& line, Millis span) {
    return line.now() + span;
}

// The basic numeric result codes (ATV0) and their words. Codes above 8 are the makers' own
// (mostly connection speeds) and are left unread rather than guessed.
constexpr std::array<const char*, 9> kNumericResults = {"OK",          "CONNECT", "RING",
                                                        "NO CARRIER",  "ERROR",   "CONNECT 1200",
                                                        "NO DIALTONE", "BUSY",    "NO ANSWER"};

} // namespace

QByteArray resultText(const QByteArray& line) {
    static const QByteArray whole[] = {"OK",   "RING",        "NO CARRIER",   "ERROR",
                                       "BUSY", "NO DIALTONE", "NO DIAL TONE", "NO ANSWER"};
    const QByteArray text = line.trimmed();
    for (const QByteArray& w : whole)
        if (text == w)
            return text;
    if (text == "CONNECT" || text.startsWith("CONNECT "))
        return text;
    if (text.size() == 1 && text[0] >= '0' && text[0] - '0' < qsizetype(kNumericResults.size()))
        return kNumericResults[static_cast<size_t>(text[0] - '0')];
    return {};
}

bool isResultText(const QByteArray& line) {
    return !resultText(line).isEmpty();
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

Answer command(Line& line, const QByteArray& command, Millis limit, const Heard& heard) {
    line.Input(); // what came before is no answer to this command
    line.Output(command + '\r');
    QByteArray pending;
    const Millis deadline = deadlineAfter(line, limit);
    for (;;) {
        // The echo of the command, if the modem echoes, is no result and passes unread.
        for (const QByteArray& received : takeLines(pending, line.Input())) {
            const QByteArray text = resultText(received);
            if (text == "OK")
                return Answer::Ok;
            if (text.isEmpty())
                continue;
            if (heard)
                heard(text);
            if (text == "ERROR")
                return Answer::Error;
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

Reply setUp(Line& line, const Heard& heard) {
    Reply reply;
    for (const QByteArray& step : {QByteArrayLiteral("ATZ"), QByteArrayLiteral("AT s0=1")}) {
        reply = {command(line, step, kSetUpAnswerLimit, heard), step};
        if (reply.answer != Answer::Ok && reply.answer != Answer::Error)
            break;
    }
    return reply;
}

Reply reset(Line& line, const Heard& heard) {
    line.SetDTR(false);
    const Millis until = deadlineAfter(line, kResetDtrLow);
    while (line.now() < until && !line.stopRequested())
        line.waitUntil(until);
    line.SetDTR(true);
    if (line.stopRequested())
        return {Answer::Stopped, {}};
    return setUp(line, heard);
}

} // namespace dialvane::modem
