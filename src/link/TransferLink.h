#pragma once
// The transfer link: answers the calls of the remote restaurant sites on one line.
//
// A call, as the line sees it:
//   carrier up -> the site sends header blocks until one has a code other than "N"
//   code "S"   -> the site sends data blocks and an end block; the file is installed, and
//                 only then is the end block answered: a site told "received" can rely on it
//   other code -> for trfloc, trfbru<type>, trfinv<type>: pause 1000 ms, ACK, one block per
//                 record (each answered by the site), end block; one transfer log per file
//   carrier down -> the call state is blanked.
// Every answer and block of the station follows the send delay ("GDelay").
//
// The engine is sequential code over a Line; every wait goes through Line::waitUntil, so the
// same code runs in real time on a port and in virtual time against a simulated site. What
// happens is told as LinkEvents (LinkEvents.h), never in terms of a window.
//
// Failures: a call's own failures (a file or folder that cannot be used, a busy restaurant,
// the carrier dropping, the owner stopping the line, a header the line refuses: see
// CallRefused) end that call and are told in its CallEnded. A LineError (the port itself failed)
// also ends the call with its CallEnded, and then propagates to the caller of Serve or AnswerCall,
// which owns the port. Every call, and every caller turned away, is told in exactly one CallEnded.

#include "common/Clock.h"
#include "link/CallState.h"
#include "link/CallSummary.h"
#include "link/FileSteps.h"
#include "link/Line.h"
#include "link/LinkEvents.h"
#include "link/Modem.h"
#include "link/RestaurantLock.h"
#include "link/WireTrace.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

class QFile;

namespace dialvane {

// A file or folder of a call that cannot be opened, written or renamed: the call ends.
class CallFailed : public Failure {
public:
    using Failure::Failure;
};

// Another call, of this station or of another one sharing the Backroom, holds the restaurant:
// the header is left unanswered and the line hung up.
class RestaurantBusy : public CallFailed {
public:
    explicit RestaurantBusy(const QByteArray& restoNum);
};

// Thrown from a wait when the carrier has dropped or the owner stops the line: the call
// unwinds, its files close, and the carrier-lost handling runs once.
struct CallEnded {};

struct LinkConfig {
    QString device;         // what the port names, for the events: /dev/ttyS0, tcp:0.0.0.0:5001
    QString BackroomFolder; // ends with the path separator
    QString LogFolder;      // ends with the path separator
    // The pause before each answer and block the station sends ("GDelay").
    Millis sendDelay{200};
    // Local date and time, for the names of the transfer logs and the journal.
    const Clock* clock = &systemClock();
    // A modem line asks an idle modem this often whether it still answers; zero never.
    Millis modemCheckInterval = std::chrono::minutes(10);
    // How received files are written and put in place.
    std::shared_ptr<FileSteps> files = std::make_shared<FileSteps>();
    // Each call's bytes go to a trace file in the log folder (see WireTrace.h), up to this size.
    bool trace = false;
    qint64 traceMaxBytes = WireTrace::kDefaultMaxBytes;
    // On a network line a call ends as a carrier drop would once it has lasted this long,
    // however the caller behaves; zero never.
    Millis maxCall{0};
};

class TransferLink {
public:
    static constexpr Millis kSilence{2000};     // a silence of the line
    static constexpr int kSilencesPerBlock = 8; // then a read gives up
    static constexpr int kSendsPerBlock = 8;
    static constexpr std::int16_t kRetries = 8;
    static constexpr Millis kPauseBeforeFile{1000};
    // Once the exchange is over the site has this long to hang up; then the station does, so
    // that no caller holds the line. No transaction can follow in the same call.
    static constexpr Millis kHangUpWait{10000};
    // A restaurant in another call is asked for again every kBusyPoll, up to kBusyWait; only
    // then is the call turned away as busy.
    static constexpr Millis kBusyWait{3000};
    static constexpr Millis kBusyPoll{50};
    // A block in progress keeps at most this many bytes; a flood beyond is dropped.
    static constexpr int kMaxBlockBytes = 4096;

    TransferLink(Line& line, LinkEventSink& events, LinkConfig config);

    // Opens the port at `speed` (8 data bits, no parity, 1 stop bit) and, on a modem line with
    // a Modem connection, sets the modem to answer on the first ring. Throws LineError naming
    // the port.
    void OpenPort(Connection connection, int speed, int portNumber);
    void ClosePort();

    // Answers calls until the line asks to stop, its wait between calls is stopped (the owner
    // has a request that lets calls finish first), or its clock reaches `until`. On a modem
    // line it also watches the idle modem (see Modem.h). Throws LineError when the port fails.
    void Serve(Millis until = Millis::max());
    // True only while Serve waits between calls: no call, no modem dialogue under way.
    bool waitingForCalls() const { return waitingForCalls_; }
    // Answers the one call of a connection whose carrier is already up (see CallPool.h) and
    // returns when it is over; `call` is its number, taken when it was accepted.
    void AnswerCall(int portNumber, std::uint64_t call);

    // The carrier changed: a call begins, or the one in progress is over.
    void OnCommHandler();

    const CallState& state() const { return state_; }
    void setConfig(LinkConfig config);

    // What OpenPort learned of the port it opened, with the settings: kept while the owner
    // tries another port through the same line, and put back when that one cannot be opened.
    struct PortState {
        LinkConfig config;
        bool carrier = false;
        bool modem = false;
        int portNumber = 0;
        Millis idleSince{0};
        QByteArray modemPending;
    };
    PortState portState() const;
    void restorePortState(PortState state);

    // Waits for `milliseconds` made whole (half to even) on the line's clock; less than 1 ms
    // returns at once. Throws CallEnded when the carrier drops meanwhile.
    void Delay(double milliseconds);

private:
    // The routines of a call, in the order a call runs them.
    void runCall(std::uint64_t call);
    void FlushInput();
    void ReceiveHeader();
    QByteArray ReadBlock();
    // Reads the blocks of a file into `path` up to the end block and makes it durable; the
    // end block is left unanswered, for the caller answers it once the file is installed.
    void ReceiveFile(const QString& path);
    void SendFile(const QString& path, int width);
    QByteArray SendBlock(const QByteArray& block);
    void SendChar(char c);
    // Answers the block ReadBlock read last, a send delay after it ended: what the station does
    // in between (takes the restaurant's lock, writes the record, installs the file) is done
    // within the delay, not added to it, so a busy disk does not make every answer late.
    void SendChar(char c, Millis blockEnded);
    // The same, for a block the call then reads the next one after: see the definition.
    void AnswerBlock(char c);

    void endCall(bool carrierGone);
    void tell(LinkEvent event);
    void moved(CallDirection direction, const QByteArray& bytes);
    void notice(const QString& text, LinkEvent::Level level = LinkEvent::Level::Info);
    void traced(LinkEvent::Kind kind, const QByteArray& bytes);
    void journalTurnedAway(const TurnedAway& caller);
    void journalTurnedAway();
    void hangUpAfterNakLimit();
    void carrierLost();
    void hearBetweenCalls(const QByteArray& bytes);
    Millis nextModemCheck() const;
    void checkModem();
    void rearmModem();
    void resetModemOrFail(modem::Answer answer, const char* what);
    void heardFromModem(const QByteArray& text);
    bool startsTlsHandshake(const QByteArray& bytes) const;
    bool headerIsSafe() const;
    bool restaurantNumberIsUsable() const;
    QString whyRefused() const;
    QString whyFailed(const QString& description) const;
    void lockRestaurant();
    void createFresh(QFile& file);
    void installReceivedFile(const QString& temporary, const QString& final);
    QString restaurantFile(const QByteArray& name) const;
    void output(const QByteArray& bytes);
    QByteArray input();
    void awaitHangUp();
    void waitInCall(Millis deadline);
    Millis deadlineAfter(Millis span) const;

    Line& line_;
    TracingSink events_; // the wire trace, then whoever the engine was given
    LinkConfig config_;
    CallState state_;
    bool carrier_ = false; // the carrier level last handled
    bool inCall_ = false;
    bool waitingForCalls_ = false;
    bool hungUp_ = false;    // the engine dropped DTR after its NAK limit
    bool inHeader_ = false;  // ReceiveHeader is reading
    Millis blockEnded_{0};   // when ReadBlock last returned
    std::uint64_t call_ = 0; // the number of the call in progress
    CallSummary summary_;
    Millis callStarted_{0};
    Millis callLimit_ = Millis::max(); // when the running call is cut short
    RestaurantLock restaurantLock_;    // held from the header's answer to the end of the call
    bool modem_ = false;               // a modem answers on this line
    int portNumber_ = 0;
    Millis idleSince_{0};     // the end of the last call or modem dialogue
    QByteArray modemPending_; // the start of a modem's line between calls
};

} // namespace dialvane
