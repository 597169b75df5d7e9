#include "link/TransferLink.h"

#include "common/EightBitText.h"
#include "common/FixedText.h"
#include "common/Numbers.h"
#include "common/Paths.h"
#include "link/Block.h"

#include <QFileInfo>

#include <algorithm>

namespace dialvane {

namespace {

// Raised for the length of a scope, whatever leaves it.
class WaitingForCalls {
public:
    explicit WaitingForCalls(bool& flag) : flag_(flag) { flag_ = true; }
    ~WaitingForCalls() { flag_ = false; }
    WaitingForCalls(const WaitingForCalls&) = delete;
    WaitingForCalls& operator=(const WaitingForCalls&) = delete;

private:
    bool& flag_;
};

} // namespace

RestaurantBusy::RestaurantBusy(const QByteArray& restoNum)
    : CallFailed(
          QStringLiteral("restaurant %1 is busy on another call").arg(fromEightBit(restoNum))) {}

TransferLink::TransferLink(Line& line, LinkEventSink& events, LinkConfig config)
    : line_(line), events_(events) {
    setConfig(std::move(config));
}

void TransferLink::setConfig(LinkConfig config) {
    config_ = std::move(config);
    events_.configure(config_.LogFolder, config_.traceMaxBytes);
}

TransferLink::PortState TransferLink::portState() const {
    return {config_, carrier_, modem_, portNumber_, idleSince_, modemPending_};
}

void TransferLink::restorePortState(PortState state) {
    config_ = std::move(state.config);
    events_.configure(config_.LogFolder, config_.traceMaxBytes);
    carrier_ = state.carrier;
    modem_ = state.modem;
    portNumber_ = state.portNumber;
    idleSince_ = state.idleSince;
    modemPending_ = std::move(state.modemPending);
}

// ---- Port control ----------------------------------------------------------------------

void TransferLink::OpenPort(Connection connection, int speed, int portNumber) {
    LineSettings settings;
    settings.speed = speed;
    LinkEvent opening(LinkEvent::Kind::PortOpening);
    opening.portNumber = portNumber;
    opening.settings = settings;
    opening.network = !line_.hasModem();
    tell(std::move(opening));
    line_.open(settings);
    carrier_ = false;
    portNumber_ = portNumber;
    modem_ = connection == Connection::Modem && line_.hasModem();
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
    try {
        line_.close();
    } catch (...) {
        // Closing is best effort: a port that is already gone is closed enough.
    }
    tell(LinkEvent{LinkEvent::Kind::PortClosed});
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
            OnCommHandler();
            idleSince_ = line_.now();
            continue;
        }
        const Millis check = nextModemCheck();
        if (line_.now() >= check) {
            checkModem();
            continue;
        }
        Line::Wake wake;
        {
            // Only this wait may be cut short by a request that lets calls finish first.
            const WaitingForCalls waiting(waitingForCalls_);
            wake = line_.waitUntil(std::min(until, check));
        }
        journalTurnedAway();
        if (wake == Line::Wake::Stop)
            return; // the owner has a request, which it handles between calls
    }
}

// A network line hands each connection to an engine of its own, with the carrier already up.
// Returns once the call is over and the connection closed.
void TransferLink::AnswerCall(int portNumber, std::uint64_t call) {
    portNumber_ = portNumber;
    modem_ = false;
    carrier_ = line_.CDHolding();
    if (carrier_)
        runCall(call);
    if (carrier_) { // the station hung up (a failed or busy call): the carrier is gone with it
        carrier_ = false;
        carrierLost();
    }
}

void TransferLink::journalTurnedAway() {
    for (const TurnedAway& caller : line_.takeTurnedAway())
        journalTurnedAway(caller);
}

// A caller closed before a byte was read never becomes a call, but the journal keeps it.
void TransferLink::journalTurnedAway(const TurnedAway& caller) {
    LinkEvent ended{LinkEvent::Kind::CallEnded};
    ended.call = caller.call ? caller.call : takeCallNumber();
    ended.summary.start = config_.clock->localTime();
    ended.summary.port = QStringLiteral("COM%1").arg(portNumber_);
    ended.summary.device = config_.device;
    ended.summary.peer = caller.peer;
    ended.summary.outcome = caller.outcome;
    ended.summary.reason = caller.reason;
    tell(std::move(ended));
}

void TransferLink::OnCommHandler() {
    if (!line_.CDHolding()) {
        carrierLost();
        return;
    }
    // A carrier-present event inside a running call would start a call within the call.
    if (inCall_)
        return;
    runCall(takeCallNumber());
}

void TransferLink::runCall(std::uint64_t call) {
    inCall_ = true;
    hungUp_ = false;
    call_ = call;
    summary_ = CallSummary{};
    callStarted_ = line_.now();
    callLimit_ = !line_.hasModem() && config_.maxCall > Millis(0) ? deadlineAfter(config_.maxCall)
                                                                  : Millis::max();
    summary_.start = config_.clock->localTime();
    summary_.port = QStringLiteral("COM%1").arg(portNumber_);
    summary_.device = config_.device;
    summary_.peer = line_.peerAddress();
    LinkEvent started{LinkEvent::Kind::CallStarted};
    started.summary = summary_;
    tell(std::move(started));

    bool carrierGone = false;
    auto fail = [this](CallOutcome outcome, const QString& reason) {
        summary_.outcome = outcome;
        summary_.reason = reason;
        line_.SetDTR(false); // hang up: the modem drops the call
    };
    try {
        try {
            FlushInput();
            ReceiveHeader();
            if (!restaurantNumberIsUsable()) {
                // Nothing read, written or sent; the call waits for the hang-up.
                summary_.outcome = CallOutcome::Refused;
                summary_.reason = whyRefused();
            } else if (state_.Transaction == "S") {
                summary_.files << fromEightBit("itrfinv" + state_.MyType);
                const QString installed = restaurantFile("itrfinv" + state_.MyType);
                const QString temporary = installed + QStringLiteral(".tmp");
                ReceiveFile(temporary);
                installReceivedFile(temporary, installed);
                // The file is in place: the restaurant is free before the site hears so, or a
                // site that calls again at once would find itself busy.
                restaurantLock_.release();
                // Only now is the end block answered: "received" means installed.
                SendChar(ACK, blockEnded_);
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
            carrierGone = true;
            summary_.outcome = hungUp_                 ? CallOutcome::HungUp
                               : line_.stopRequested() ? CallOutcome::Stopped
                                                       : CallOutcome::Dropped;
        } catch (const RestaurantBusy& busy) {
            fail(CallOutcome::Busy, busy.description());
        } catch (const CallRefused& refused) {
            fail(CallOutcome::Refused, refused.description()); // unanswered, and hung up
        } catch (const CallFailed& failure) {
            fail(CallOutcome::Failed, whyFailed(failure.description()));
        }
        restaurantLock_.release();
        if (!carrierGone && (summary_.outcome == CallOutcome::Completed ||
                             summary_.outcome == CallOutcome::Refused)) {
            try {
                awaitHangUp();
            } catch (const CallEnded&) {
                carrierGone = true;
            }
        }
    } catch (const std::exception& failure) {
        // The port failed (LineError), or something no call expects: the call is over and
        // told as such; the owner of the port hears of the failure itself.
        restaurantLock_.release();
        if (summary_.outcome != CallOutcome::Completed) {
            summary_.outcome = CallOutcome::Failed;
            summary_.reason = describeFailure(failure);
        }
        endCall(false);
        carrier_ = false;
        state_.blank();
        tell(LinkEvent{LinkEvent::Kind::CarrierLost});
        throw;
    }
    endCall(carrierGone);
}

// Tells the call's end once, whatever ended it. A call whose carrier is gone is over for the
// line too; one the station hung up on (failed, busy) waits for its carrier to drop in Serve.
void TransferLink::endCall(bool carrierGone) {
    summary_.restoNum = state_.RestoNum;
    summary_.transaction = state_.Transaction;
    summary_.type = state_.MyType;
    summary_.duration = line_.now() - callStarted_;
    callLimit_ = Millis::max();
    inCall_ = false;
    LinkEvent ended{LinkEvent::Kind::CallEnded};
    ended.summary = summary_;
    tell(std::move(ended));
    if (carrierGone) {
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
    tell(LinkEvent{LinkEvent::Kind::CarrierLost});
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
// Windows set is refused everywhere so that a folder tree can move between platforms, and so
// are bytes above 0x7E: restaurant numbers and types are ASCII, and a high byte would become a
// different name under each code page (and a control character, U+0080 to U+009F, in logs).
bool TransferLink::headerIsSafe() const {
    static const QByteArray forbidden = QByteArrayLiteral("/\\:*?\"<>|");
    for (const QByteArray& field : {state_.RestoNum, state_.MyType})
        for (char c : field) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte >= 0x7F || forbidden.contains(c))
                return false;
        }
    return true;
}

bool TransferLink::restaurantNumberIsUsable() const {
    return headerIsSafe() && readNumberLeniently(fromEightBit(state_.RestoNum)) != 0;
}

// For the log and the journal of a refused call: the header's fault, never its raw bytes.
QString TransferLink::whyRefused() const {
    if (!headerIsSafe())
        return QStringLiteral("unsafe header: the restaurant number or type holds a byte that "
                              "cannot be part of a file name");
    return QStringLiteral("restaurant number %1 reads as zero").arg(printable(state_.RestoNum));
}

// A restaurant the Backroom has no folder for fails on its first file; the operator should
// read that, not the file the call happened to try first.
QString TransferLink::whyFailed(const QString& description) const {
    const QString folder = config_.BackroomFolder + fromEightBit(state_.RestoNum);
    if (!isBlank(state_.RestoNum) && !QFileInfo(folder).isDir())
        return QStringLiteral("no folder for restaurant %1 (%2)")
            .arg(printable(state_.RestoNum), folder);
    return description;
}

// Called before a header other than "N" is answered. A restaurant without a folder needs no
// lock: its call fails on its files as it would anyway. A folder where no lock file can be made
// (read-only) cannot take a received file either, so its call goes on unlocked.
void TransferLink::lockRestaurant() {
    if (!restaurantNumberIsUsable())
        return;
    const QString folder = config_.BackroomFolder + fromEightBit(state_.RestoNum) + pathSeparator();
    // A site that calls again as soon as its call ended may find that call still letting go
    // of the lock: it waits a moment rather than being turned away.
    const Millis giveUp = deadlineAfter(kBusyWait);
    while (restaurantLock_.tryLock(folder) == RestaurantLock::Outcome::Busy) {
        if (line_.now() >= giveUp)
            throw RestaurantBusy(state_.RestoNum);
        waitInCall(std::min(giveUp, deadlineAfter(kBusyPoll)));
    }
}

QString TransferLink::restaurantFile(const QByteArray& name) const {
    return config_.BackroomFolder + fromEightBit(state_.RestoNum) + pathSeparator() +
           fromEightBit(name);
}

void TransferLink::FlushInput() {
    while (line_.InBufferCount() != 0)
        input();
}
} // namespace dialvane
