// The modem of a serial line between calls: its result texts, the idle check, and the set-up
// again after each call.
#include "link/TransferLink.h"

#include "common/EightBitText.h"

namespace dialvane {

void TransferLink::hearBetweenCalls(const QByteArray& bytes) {
    if (!modem_)
        return;
    for (const QByteArray& text : modem::takeLines(modemPending_, bytes))
        if (modem::isResultText(text))
            heardFromModem(text.trimmed());
}

void TransferLink::heardFromModem(const QByteArray& text) {
    // A numeric result code is told in words, as every modem's results are.
    QString shown = fromEightBit(modem::resultText(text));
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
            c = QLatin1Char('?'); // what follows "CONNECT" is the modem's, not ours to trust
    notice(QStringLiteral("COM%1 modem: %2").arg(portNumber_).arg(shown));
}

Millis TransferLink::nextModemCheck() const {
    const Millis interval = config_.modemCheckInterval;
    if (!modem_ || interval <= Millis(0) || idleSince_ > Millis::max() - interval)
        return Millis::max();
    return idleSince_ + interval;
}

// An idle modem is asked whether it still answers: one that hangs ignoring commands would
// otherwise leave the line deaf until somebody notices.
void TransferLink::checkModem() {
    const auto heard = [this](const QByteArray& text) { heardFromModem(text); };
    resetModemOrFail(modem::command(line_, "AT", modem::kCheckAnswerLimit, heard), "AT");
    idleSince_ = line_.now();
}

// After every call: a modem may lose its settings with the call (a power blip, a reset on
// hang-up) and silently stop answering, so it is set up again and must say so.
void TransferLink::rearmModem() {
    const auto heard = [this](const QByteArray& text) { heardFromModem(text); };
    resetModemOrFail(modem::setUp(line_, heard).answer, "its set-up");
    idleSince_ = line_.now();
}

void TransferLink::resetModemOrFail(modem::Answer answer, const char* what) {
    if (answer != modem::Answer::Silent)
        return;
    notice(QStringLiteral("The modem on COM%1 did not answer %2: resetting it.")
               .arg(portNumber_)
               .arg(QLatin1String(what)));
    const auto heard = [this](const QByteArray& text) { heardFromModem(text); };
    if (modem::reset(line_, heard).answer == modem::Answer::Silent)
        throw LineError(QStringLiteral("The modem on COM%1 does not answer, even after a reset.")
                            .arg(portNumber_));
}

} // namespace dialvane
