#include "link/TransferLink.h"

#include "common/DurableFile.h"
#include "common/EightBitText.h"
#include "common/FixedText.h"
#include "common/Numbers.h"
#include "common/Paths.h"
#include "link/Block.h"
#include "link/LinkObserver.h"
#include "link/TextItems.h"
#include "link/TransferLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace dialvane {

const QByteArray kDataIn = QByteArrayLiteral("Entree des donnees - Data in");
const QByteArray kDataOut = QByteArrayLiteral("Sortie des donnees - data out");

namespace {

// Deletes a partly received file unless the call got to install it.
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(QFile& file) : file_(file) {}
    ~TemporaryFileGuard() {
        if (!released_) {
            file_.close();
            file_.remove();
        }
    }
    void release() { released_ = true; }

private:
    QFile& file_;
    bool released_ = false;
};

} // namespace

RestaurantBusy::RestaurantBusy(const QByteArray& restoNum)
    : CallFailed(
          QStringLiteral("restaurant %1 is busy on another call").arg(fromEightBit(restoNum))) {}

int sendDelayMillis(const QString& setting) {
    bool ok = false;
    const QString text = setting.trimmed();
    const bool digitsOnly = !text.isEmpty() && std::all_of(text.begin(), text.end(),
                                                           [](QChar c) { return c.isDigit(); });
    const int value = digitsOnly ? text.toInt(&ok) : 0;
    return ok && value >= 0 && value <= 60000 ? value : 200;
}

LineSettings lineSettingsFor(double speed) {
    LineSettings settings;
    settings.speed = static_cast<int>(roundHalfEven(speed));
    return settings;
}

TransferLink::TransferLink(Line& line, LinkObserver& observer, LinkConfig config)
    : line_(line), observer_(observer) {
    setConfig(std::move(config));
}

void TransferLink::setConfig(LinkConfig config) {
    config_ = std::move(config);
    sendDelay_ = sendDelayMillis(config_.SendDelay);
}

// ---- Port control ----------------------------------------------------------------------

void TransferLink::OpenPort(const QString& connection, double speed, int portNumber) {
    const LineSettings settings = lineSettingsFor(speed);
    observer_.titleChanged(settings.text() + QStringLiteral(" COM") + QString::number(portNumber));
    line_.open(settings);
    carrier_ = false;
    portNumber_ = portNumber;
    modem_ = connection == QStringLiteral("M") && line_.hasModem();
    modemPending_.clear();
    idleSince_ = line_.now();
    if (!modem_)
        return;

    // The same set-up as after a call and on a reset. A modem that does not answer fails the
    // open, so that the port is reported and opened again later; one that refuses a command
    // has said so (a line notice) and the open goes on. A call that comes meanwhile is served
    // (Serve sees the carrier) and the set-up after it arms the modem.
    const modem::Reply reply =
        modem::setUp(line_, [this](const QByteArray& text) { heardFromModem(text); });
    if (reply.answer == modem::Answer::Silent || reply.answer == modem::Answer::Stopped)
        throw LineError(QStringLiteral("The modem on COM%1 did not answer %2 within %3 s.")
                            .arg(portNumber)
                            .arg(QLatin1String(reply.command))
                            .arg(modem::kSetUpAnswerLimit.count() / 1000));
    idleSince_ = line_.now();
}

void TransferLink::ClosePort() {
    observer_.titleChanged(QStringLiteral("FERME/CLOSED"));
    try {
        line_.close();
    } catch (...) {
        // Closing is best effort: a port that is already gone is closed enough.
    }
    observer_.unloadStatus();
}

// ---- Line events -------------------------------------------------------------------------

void TransferLink::Serve(Millis until) {
    while (!line_.stopRequested() && line_.now() < until) {
        // Between calls only a modem's result texts mean something, and only to the log: a
        // call is the carrier, never a text. A call starts by emptying the buffer anyway.
        if (line_.InBufferCount() > 0)
            hearBetweenCalls(line_.Input());
        if (line_.CDHolding() != carrier_) {
            carrier_ = !carrier_;
            OnCommHandler(CommEvent::CD);
            idleSince_ = line_.now();
            continue;
        }
        const Millis check = nextModemCheck();
        if (line_.now() >= check) {
            checkModem();
            continue;
        }
        line_.waitUntil(std::min(until, check));
        for (const TurnedAway& caller : line_.takeTurnedAway())
            journalTurnedAway(caller);
    }
}

// A network line hands each connection to an engine of its own, with the carrier already up.
// Returns once the call is over and the connection closed.
void TransferLink::AnswerCall(int portNumber) {
    portNumber_ = portNumber;
    modem_ = false;
    carrier_ = line_.CDHolding();
    if (carrier_)
        runCall();
    if (carrier_) { // the station hung up (a failed or busy call): the carrier is gone with it
        carrier_ = false;
        carrierLost();
    }
}

// A caller closed before a byte was read never becomes a call, but the journal keeps it.
void TransferLink::journalTurnedAway(const TurnedAway& caller) {
    CallSummary call;
    call.start = config_.localTime();
    call.peer = caller.peer;
    call.outcome = caller.outcome;
    call.reason = caller.reason;
    observer_.callSummary(call);
}

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
    observer_.lineNotice(QStringLiteral("COM%1 modem: %2").arg(portNumber_).arg(shown));
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
    observer_.lineNotice(QStringLiteral("The modem on COM%1 did not answer %2: resetting it.")
                             .arg(portNumber_)
                             .arg(QLatin1String(what)));
    const auto heard = [this](const QByteArray& text) { heardFromModem(text); };
    if (modem::reset(line_, heard).answer == modem::Answer::Silent)
        throw LineError(QStringLiteral("The modem on COM%1 does not answer, even after a reset.")
                            .arg(portNumber_));
}

void TransferLink::OnCommHandler(CommEvent event) {
    if (event != CommEvent::CD)
        return;
    if (!line_.CDHolding()) {
        carrierLost();
        return;
    }
    // A carrier-present event inside a running call would start a call within the call.
    if (inCall_)
        return;
    runCall();
}

void TransferLink::runCall() {
    inCall_ = true;
    hungUp_ = false;
    summary_ = CallSummary{};
    callStarted_ = line_.now();
    callLimit_ = !line_.hasModem() && config_.maxCall > Millis(0) ? deadlineAfter(config_.maxCall)
                                                                  : Millis::max();
    summary_.start = config_.localTime();
    summary_.peer = line_.peerAddress();
    if (config_.trace) {
        trace_ = std::make_unique<WireTrace>(config_.LogFolder, summary_.start, portNumber_,
                                             callStarted_);
        if (!trace_->isOpen())
            observer_.lineNotice(QStringLiteral("Cannot write the wire trace %1: %2")
                                     .arg(trace_->path(), trace_->errorString()));
    }
    observer_.callStarted();
    observer_.showStatus();
    observer_.repaintStatus();
    bool ended = false;
    auto fail = [this](CallOutcome outcome, const QString& reason) {
        summary_.outcome = outcome;
        summary_.reason = reason;
        observer_.callFailed(reason);
        line_.SetDTR(false); // hang up: the modem drops the call
    };
    try {
        FlushInput();
        ReceiveHeader();
        if (!restaurantNumberIsUsable()) {
            // Nothing read, written or sent; the status window stays until the carrier drops.
            summary_.outcome = CallOutcome::Refused;
        } else if (state_.Transaction == "S") {
            summary_.files << fromEightBit("itrfinv" + state_.MyType);
            const QString installed = restaurantFile("itrfinv" + state_.MyType);
            const QString temporary = installed + QStringLiteral(".tmp");
            ReceiveFile(temporary, kRecordWidth);
            installReceivedFile(temporary, installed);
            // Only now is the end block answered: "received" means installed.
            SendChar(ACK);
            summary_.outcome = CallOutcome::Completed;
        } else {
            for (const QByteArray& name :
                 {QByteArray("trfloc"), "trfbru" + state_.MyType, "trfinv" + state_.MyType}) {
                Delay(static_cast<double>(kPauseBeforeFile.count()));
                summary_.files << fromEightBit(name);
                SendFile(restaurantFile(name), kRecordWidth);
            }
            summary_.outcome = CallOutcome::Completed;
        }
    } catch (const CallEnded&) {
        ended = true;
        summary_.outcome = hungUp_                 ? CallOutcome::HungUp
                           : line_.stopRequested() ? CallOutcome::Stopped
                                                   : CallOutcome::Dropped;
    } catch (const RestaurantBusy& busy) {
        fail(CallOutcome::Busy, busy.description());
    } catch (const std::exception& failure) {
        fail(CallOutcome::Failed, describeFailure(failure));
    }
    restaurantLock_.release();
    if (!ended &&
        (summary_.outcome == CallOutcome::Completed || summary_.outcome == CallOutcome::Refused)) {
        try {
            awaitHangUp();
        } catch (const CallEnded&) {
            ended = true;
        } catch (const std::exception&) {
            ended = true; // the line failed after the exchange: the call is over all the same
        }
    }
    summary_.restoNum = state_.RestoNum;
    summary_.transaction = state_.Transaction;
    summary_.type = state_.MyType;
    summary_.duration = line_.now() - callStarted_;
    callLimit_ = Millis::max();
    trace_.reset();
    inCall_ = false;
    observer_.callSummary(summary_);
    observer_.callEnded();
    if (ended) {
        // Handled here, once; should the carrier be up again already, Serve sees a new call.
        carrier_ = false;
        carrierLost();
    }
}

// The exchange is over: whatever the site still sends is read and dropped while it has
// kHangUpWait to hang up; then the station hangs up and waits as long again for the carrier to
// go. A line whose carrier stays up ends the call all the same: the next call needs a new one.
void TransferLink::awaitHangUp() {
    for (int turn = 0; turn < 2; ++turn) {
        const Millis deadline = deadlineAfter(kHangUpWait);
        while (line_.now() < deadline) {
            waitInCall(deadline);
            input();
        }
        line_.SetDTR(false);
    }
    line_.SetDTR(true); // a carrier that stays up must not leave the port deaf to the next call
}

// The site sent bad blocks beyond the limit: drop the line and let the carrier drop end the call.
void TransferLink::hangUpAfterNakLimit() {
    hungUp_ = true;
    line_.SetDTR(false);
}

void TransferLink::carrierLost() {
    state_.blank();
    observer_.hideStatus();
    // Files of the call were closed as the call unwound. The modem hung up because DTR went
    // low, or the site did: raise DTR again so that the next call is answered.
    if (!line_.isOpen())
        return;
    line_.SetDTR(true);
    if (modem_ && !line_.stopRequested())
        rearmModem();
}

// Header fields become parts of paths: a restaurant number or type holding a separator, a
// drive colon, a control byte or a byte that Windows forbids in file names would lead the
// station outside the restaurant's folder. Such a call ends as a zero number does. The
// Windows set is refused everywhere so that a folder tree can move between platforms.
bool TransferLink::headerIsSafe() const {
    static const QByteArray forbidden = QByteArrayLiteral("/\\:*?\"<>|");
    for (const QByteArray& field : {state_.RestoNum, state_.MyType})
        for (char c : field) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F || forbidden.contains(c))
                return false;
        }
    return true;
}

bool TransferLink::restaurantNumberIsUsable() const {
    return headerIsSafe() && readNumberLeniently(fromEightBit(state_.RestoNum)) != 0;
}

// Called before a header other than "N" is answered. A restaurant without a folder needs no
// lock: its call fails on its files as it would anyway. A folder where no lock file can be made
// (read-only) cannot take a received file either, so its call goes on unlocked.
void TransferLink::lockRestaurant() {
    if (!restaurantNumberIsUsable())
        return;
    const QString folder = config_.BackroomFolder + fromEightBit(state_.RestoNum) + pathSeparator();
    if (restaurantLock_.tryLock(folder) == RestaurantLock::Outcome::Busy)
        throw RestaurantBusy(state_.RestoNum);
}

QString TransferLink::restaurantFile(const QByteArray& name) const {
    return config_.BackroomFolder + fromEightBit(state_.RestoNum) + pathSeparator() +
           fromEightBit(name);
}

void TransferLink::FlushInput() {
    while (line_.InBufferCount() != 0)
        input();
}

bool TransferLink::FileExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

// ---- Receiving ---------------------------------------------------------------------------

void TransferLink::ReceiveHeader() {
    state_.RetryCount = kRetries;
    observer_.setCaption(StatusLabel::Resto, state_.RestoNum);
    observer_.setCaption(StatusLabel::MyType, state_.MyType);
    observer_.setCaption(StatusLabel::Transaction, state_.Transaction);
    state_.Transaction = "N";
    observer_.repaintStatus();

    while (state_.Transaction == "N") {
        const QByteArray block = ReadBlock();
        if (IsValidBlock(block)) {
            const Header header = parseHeader(block);
            state_.RestoNum = assignFixed(header.restoNum, 6);
            state_.Transaction = assignFixed(header.transaction, 1);
            state_.MyType = assignFixed(header.myType, 1);
            if (state_.Transaction != "N")
                lockRestaurant();
            SendChar(ACK);
            observer_.setCaption(StatusLabel::Resto, state_.RestoNum);
            observer_.setCaption(StatusLabel::MyType, state_.MyType);
            observer_.setCaption(StatusLabel::Transaction, state_.Transaction);
        } else if (state_.RetryCount > 0) {
            SendChar(NAK);
            ++summary_.naksSent;
            --state_.RetryCount;
        } else {
            hangUpAfterNakLimit();
        }
    }
}

QByteArray TransferLink::ReadBlock() {
    observer_.setCaption(StatusLabel::Data, QByteArray());
    observer_.setCaption(StatusLabel::Data, kDataIn);
    QByteArray received;
    int silences = kSilencesPerBlock;
    while (!received.endsWith(ETX) && silences > 0) {
        Millis deadline = deadlineAfter(kSilence);
        for (;;) {
            if (line_.InBufferCount() != 0) {
                const QByteArray chunk = input();
                if (received.size() + chunk.size() <= kMaxBlockBytes) {
                    received += chunk;
                } else if (!chunk.isEmpty()) {
                    // Too long to be a block: keep the bounded start and the last byte, so
                    // the read still ends on ETX and the block is answered NAK.
                    received.truncate(kMaxBlockBytes - 1);
                    received += chunk.back();
                }
                deadline = deadlineAfter(kSilence);
                if (received.endsWith(ETX))
                    break;
            }
            if (line_.now() >= deadline) {
                --silences;
                break;
            }
            waitInCall(deadline);
        }
    }
    observer_.setCaption(StatusLabel::Data, received);
    return received;
}

void TransferLink::ReceiveFile(const QString& path, int /*width*/) {
    QFile file(path);
    createFresh(file);
    TemporaryFileGuard guard(file);
    FileSteps& steps = *config_.files;

    state_.RetryCount = kRetries;
    QByteArray lastLine;
    while (!isEndRecord(lastLine)) {
        const QByteArray block = ReadBlock();
        if (IsValidBlock(block)) {
            // The data field and the ETX: 127 bytes, as sites in the field expect them.
            lastLine = block.mid(1);
            if (isEndRecord(lastLine))
                break;
            if (!steps.write(file, lastLine + "\r\n"))
                throw CallFailed(
                    QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
            ++summary_.records;
            summary_.bytes += lastLine.size() + 2;
            SendChar(ACK);
        } else if (state_.RetryCount > 0) {
            SendChar(NAK);
            ++summary_.naksSent;
            --state_.RetryCount;
        } else {
            hangUpAfterNakLimit();
        }
        progressed();
    }
    if (!steps.sync(file))
        throw CallFailed(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    file.close();
    guard.release();
}

// A file left by a crash, or owned by someone else, must not block the restaurant: the
// temporary file is always made anew. NewOnly also refuses to follow a link planted there.
void TransferLink::createFresh(QFile& file) {
    const QFileInfo existing(file.fileName());
    if ((existing.exists() || existing.isSymLink()) && !file.remove())
        throw CallFailed(
            QStringLiteral("Cannot remove %1: %2").arg(file.fileName(), file.errorString()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw CallFailed(
            QStringLiteral("Cannot create %1: %2").arg(file.fileName(), file.errorString()));
}

void TransferLink::installReceivedFile(const QString& temporary, const QString& final) {
    FileSteps& steps = *config_.files;
    // One rename: the previous file stays whole until the new one replaces it.
    QString reason = steps.rename(temporary, final);
    if (!reason.isEmpty()) {
        QFile::remove(temporary);
        throw CallFailed(QStringLiteral("Cannot install %1: %2").arg(final, reason));
    }
    // Until the folder is synced a power cut may bring the old file back: no answer before.
    reason = steps.syncFolder(QFileInfo(final).absolutePath());
    if (!reason.isEmpty())
        throw CallFailed(QStringLiteral("Cannot install %1: %2").arg(final, reason));
}

// ---- Sending -----------------------------------------------------------------------------

void TransferLink::SendFile(const QString& path, int width) {
    if (isBlank(state_.RestoNum))
        return;
    TransferLog log(config_.LogFolder, config_.localTime(), state_.RestoNum);
    log.writeFileLine(path);

    int recordNumber = 1;
    QFile data(path);
    if (!data.open(QIODevice::ReadOnly))
        throw CallFailed(QStringLiteral("Cannot open %1: %2").arg(path, data.errorString()));
    SendChar(ACK);

    TextItemReader items(data, width);
    while (!items.atEnd()) {
        const QByteArray record = ReadRecord(items, width);
        const QByteArray answer = SendBlock(BuildBlock(record));
        const bool sent = answer.size() == 1 && answer[0] == ACK;
        log.writeRecordLine(recordNumber, sent, record);
        ++(sent ? summary_.records : summary_.recordsFailed);
        if (sent)
            summary_.bytes += record.size();
        ++recordNumber;
        progressed();
    }
    data.close();

    state_.RetryCount = kRetries;
    while (state_.RetryCount >= 1) {
        const QByteArray answer = SendBlock(BuildBlock(kEndMarker));
        if (answer.size() == 1 && answer[0] == NAK) {
            --state_.RetryCount;
            if (state_.RetryCount >= 1)
                ++summary_.blocksResent;
        } else {
            break;
        }
    }
}

QByteArray TransferLink::SendBlock(const QByteArray& block) {
    observer_.setCaption(StatusLabel::Data, kDataOut);
    observer_.setCaption(StatusLabel::Data, QByteArray());
    Delay(sendDelay_);

    QByteArray answer;
    for (int sends = kSendsPerBlock; sends > 0; --sends) {
        if (sends < kSendsPerBlock)
            ++summary_.blocksResent;
        output(block);
        observer_.setCaption(StatusLabel::Data, block);
        const Millis deadline = deadlineAfter(kSilence);
        while (line_.InBufferCount() == 0 && line_.now() < deadline)
            waitInCall(deadline);
        if (line_.InBufferCount() != 0) {
            answer = input();
            break;
        }
    }
    return answer;
}

// ---- Primitives --------------------------------------------------------------------------

void TransferLink::SendChar(char c) {
    Delay(sendDelay_);
    output(QByteArray(1, c));
}

// Every byte of a call passes here, so the wire trace sees the call whole.
void TransferLink::output(const QByteArray& bytes) {
    line_.Output(bytes);
    if (trace_)
        trace_->out(line_.now(), bytes);
}

QByteArray TransferLink::input() {
    QByteArray bytes = line_.Input();
    if (trace_)
        trace_->in(line_.now(), bytes);
    return bytes;
}

void TransferLink::progressed() {
    summary_.duration = line_.now() - callStarted_;
    observer_.callProgress(summary_);
}

void TransferLink::Delay(double milliseconds) {
    const double whole = roundHalfEven(milliseconds);
    if (!(whole >= 1.0)) // also NaN
        return;
    const Millis deadline =
        deadlineAfter(Millis(static_cast<Millis::rep>(std::min(whole, 86400000.0))));
    while (line_.now() < deadline)
        waitInCall(deadline);
}

void TransferLink::waitInCall(Millis deadline) {
    line_.waitUntil(std::min(deadline, callLimit_));
    if (line_.now() >= callLimit_ && line_.CDHolding()) {
        observer_.callFailed(QStringLiteral("The call lasted %1 minutes: hung up.")
                                 .arg(config_.maxCall.count() / 60000));
        summary_.reason =
            QStringLiteral("call limit of %1 minutes reached").arg(config_.maxCall.count() / 60000);
        line_.SetDTR(false);
    }
    if (line_.stopRequested() || !line_.CDHolding())
        throw CallEnded{};
}

Millis TransferLink::deadlineAfter(Millis span) const {
    const Millis now = line_.now();
    return now > Millis::max() - span ? Millis::max() : now + span;
}

} // namespace dialvane
