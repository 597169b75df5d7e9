// The blocks of a call: receiving a header and a file, sending a file, and the primitives every
// exchange is built from (an answer after the send delay, a wait on the line's clock).
#include "link/TransferLink.h"

#include "common/DurableFile.h"
#include "common/EightBitText.h"
#include "common/FixedText.h"
#include "common/Numbers.h"
#include "link/Block.h"
#include "link/TextItems.h"
#include "link/TransferLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace dialvane {

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

// ---- Receiving ---------------------------------------------------------------------------

void TransferLink::ReceiveHeader() {
    state_.RetryCount = kRetries;
    state_.Transaction = "N";
    inHeader_ = true;
    const struct HeaderDone {
        bool& flag;
        ~HeaderDone() { flag = false; }
    } headerDone{inHeader_};

    while (state_.Transaction == "N") {
        const QByteArray block = ReadBlock();
        if (startsTlsHandshake(block))
            throw CallRefused(QStringLiteral("the caller began a TLS handshake on a tcp: line "
                                             "(it should call a tls: line)"));
        if (IsValidBlock(block)) {
            const Header header = parseHeader(block);
            state_.RestoNum = assignFixed(header.restoNum, 6);
            state_.Transaction = assignFixed(header.transaction, 1);
            state_.MyType = assignFixed(header.myType, 1);
            // A restaurant's certificate lets it call as itself and no one else.
            if (const auto certified = line_.certifiedRestaurant();
                certified && fromEightBit(state_.RestoNum) != *certified)
                throw CallRefused(QStringLiteral("certificate of %1 cannot call as %2")
                                      .arg(*certified, printable(state_.RestoNum)));
            if (state_.Transaction != "N")
                lockRestaurant();
            // Another header follows "N"; after any other the call's work begins.
            state_.Transaction == "N" ? AnswerBlock(ACK) : SendChar(ACK, blockEnded_);
            moved(CallDirection::Receive, block);
            LinkEvent heard{LinkEvent::Kind::HeaderReceived};
            heard.restoNum = state_.RestoNum;
            heard.transaction = state_.Transaction;
            heard.type = state_.MyType;
            tell(std::move(heard));
        } else if (state_.RetryCount > 0) {
            AnswerBlock(NAK);
            ++summary_.naksSent;
            --state_.RetryCount;
            moved(CallDirection::Receive, block);
        } else {
            hangUpAfterNakLimit();
            moved(CallDirection::Receive, block);
        }
    }
}

// A TLS record header (handshake, version 3.x): no block starts so, every TLS client does.
// Only a network line can have such a caller; a serial line reads noise as it always has.
bool TransferLink::startsTlsHandshake(const QByteArray& bytes) const {
    return inHeader_ && !line_.peerAddress().isEmpty() && bytes.size() >= 3 && bytes[0] == '\x16' &&
           bytes[1] == '\x03' && static_cast<unsigned char>(bytes[2]) <= 0x04;
}

QByteArray TransferLink::ReadBlock() {
    QByteArray received;
    int silences = kSilencesPerBlock;
    // A TLS client waits for the station's answer to its hello: no silence will end it.
    while (!received.endsWith(ETX) && silences > 0 && !startsTlsHandshake(received)) {
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
                if (received.endsWith(ETX) || startsTlsHandshake(received))
                    break;
            }
            if (line_.now() >= deadline) {
                --silences;
                break;
            }
            waitInCall(deadline);
        }
    }
    blockEnded_ = line_.now();
    return received;
}

void TransferLink::ReceiveFile(const QString& path) {
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
            if (isEndRecord(lastLine)) {
                moved(CallDirection::Receive, block); // answered once the file is installed
                break;
            }
            if (!steps.write(file, lastLine + "\r\n"))
                throw CallFailed(
                    QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
            ++summary_.records;
            summary_.bytes += lastLine.size() + 2;
            AnswerBlock(ACK);
        } else if (state_.RetryCount > 0) {
            AnswerBlock(NAK);
            ++summary_.naksSent;
            --state_.RetryCount;
        } else {
            hangUpAfterNakLimit();
        }
        moved(CallDirection::Receive, block);
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
    TransferLog log(config_.LogFolder, config_.clock->localTime(), state_.RestoNum);
    log.writeFileLine(path);

    int recordNumber = 1;
    QFile data(path);
    if (!data.open(QIODevice::ReadOnly))
        throw CallFailed(QStringLiteral("Cannot open %1: %2").arg(path, data.errorString()));
    SendChar(ACK);

    TextItemReader items(data, width);
    while (!items.atEnd()) {
        const QByteArray record = ReadRecord(items, width);
        const QByteArray block = BuildBlock(record);
        const QByteArray answer = SendBlock(block);
        const bool sent = answer.size() == 1 && answer[0] == ACK;
        log.writeRecordLine(recordNumber, sent, record);
        ++(sent ? summary_.records : summary_.recordsFailed);
        if (sent)
            summary_.bytes += record.size();
        ++recordNumber;
        moved(CallDirection::Send, block);
    }
    data.close();

    state_.RetryCount = kRetries;
    while (state_.RetryCount >= 1) {
        const QByteArray end = BuildBlock(kEndMarker);
        const QByteArray answer = SendBlock(end);
        moved(CallDirection::Send, end);
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
    Delay(static_cast<double>(config_.sendDelay.count()));

    QByteArray answer;
    for (int sends = kSendsPerBlock; sends > 0; --sends) {
        if (sends < kSendsPerBlock)
            ++summary_.blocksResent;
        output(block);
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
    Delay(static_cast<double>(config_.sendDelay.count()));
    output(QByteArray(1, c));
}

void TransferLink::SendChar(char c, Millis blockEnded) {
    const Millis left = blockEnded + config_.sendDelay - line_.now();
    Delay(static_cast<double>(std::max(left, Millis(0)).count()));
    output(QByteArray(1, c));
}

// The answer to a block after which the call reads the next block and does nothing else: a
// line that sends on its own takes it now, to go at its moment, and the call waits for the
// next block at once (one wake-up per block, not two). The site sends that block only once
// answered; a hang-up or a dropped carrier before the moment takes the answer back, as a wait
// for it would have. A traced call answers from its own thread: the trace shows each byte as
// it went.
void TransferLink::AnswerBlock(char c) {
    const Millis due = blockEnded_ + config_.sendDelay;
    // An answer due already (no send delay, or work that outlasted it) goes at once.
    if (!config_.trace && inCall_ && due > line_.now() && line_.OutputAt(QByteArray(1, c), due))
        return;
    SendChar(c, blockEnded_);
}

// Every byte of a call passes here, so the wire trace sees the call whole.
void TransferLink::output(const QByteArray& bytes) {
    line_.Output(bytes);
    traced(LinkEvent::Kind::BytesOut, bytes);
}

void TransferLink::traced(LinkEvent::Kind kind, const QByteArray& bytes) {
    if (!config_.trace || !inCall_ || bytes.isEmpty())
        return;
    LinkEvent event(kind);
    event.bytes = bytes;
    event.summary.start = summary_.start;
    event.summary.duration = line_.now() - callStarted_;
    tell(std::move(event));
}

QByteArray TransferLink::input() {
    QByteArray bytes = line_.Input();
    if (inCall_)
        summary_.bytesHeard += bytes.size();
    traced(LinkEvent::Kind::BytesIn, bytes);
    return bytes;
}

// Every event of a call carries its number and port.
void TransferLink::tell(LinkEvent event) {
    if (event.call == 0 && event.kind != LinkEvent::Kind::PortOpening &&
        event.kind != LinkEvent::Kind::PortClosed && event.kind != LinkEvent::Kind::LineNotice)
        event.call = call_;
    if (event.portNumber == 0)
        event.portNumber = portNumber_;
    if (event.device.isEmpty())
        event.device = config_.device;
    events_.handle(event);
}

// A block has crossed the line and been answered (or given up on): told with the call so far.
// A read that heard nothing moved no block.
void TransferLink::moved(CallDirection direction, const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    LinkEvent block{LinkEvent::Kind::BlockMoved};
    block.direction = direction;
    block.bytes = bytes;
    summary_.duration = line_.now() - callStarted_;
    block.summary = summary_;
    tell(std::move(block));
}

void TransferLink::notice(const QString& text, LinkEvent::Level level) {
    LinkEvent said{LinkEvent::Kind::LineNotice};
    said.text = text;
    said.level = level;
    tell(std::move(said));
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
