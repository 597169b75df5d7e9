#pragma once
// A remote restaurant site, as an event-driven object: bytes and time in, bytes and carrier
// changes out. It either sends one file (transaction "S") or fetches the station's three
// files (any other code), and can misbehave on purpose.
//
// Fault block numbers count the blocks of the transfer after the header, from 1, end blocks
// included (in a fetch, across the three files).

#include "site/Peer.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace dialvane::site {

struct SiteScript {
    QByteArray restoNum = "000123";
    char transaction = 'S';
    char type = '1';
    std::vector<QByteArray> records; // what a sending site sends, one block each
    Millis callAt{0};                // carrier up
    Millis firstBlockAfter{100};     // pause between carrier up and the first header
    Millis answerDelay{0};           // before each block or answer of the site
    Millis hangUpAfter{100};         // after the last exchange
    Millis giveUpAfter{60000};       // hang up when the station is silent this long
    int headersN = 0;                // headers with code "N" before the real one
    int nakBlock = 0;                // fetch: answer NAK; send: send it with a broken STX once
    int silentBlock = 0;             // fetch: no answer; send: send nothing once
    int garbageBlock = 0;            // fetch: answer ACK and junk; send: send a short block once
    long dropAfterBytes = -1;        // carrier drops once this many bytes crossed the line
};

class Site final : public Peer {
public:
    enum class Outcome { Running, Completed, GaveUp, Dropped, HungUpByStation };

    struct LogEntry {
        Millis at;
        int block;       // 0 for headers
        bool outgoing;   // site -> station
        QByteArray note; // "ACK", "NAK", "silent", "garbage", ...
    };

    explicit Site(SiteScript script);

    // Schedules the call; the first actions come from takeActions().
    void start();

    void onStationBytes(Millis now, const QByteArray& bytes) override;
    void onStationDtr(Millis now, bool raised) override;
    void onTimer(Millis now) override;
    std::vector<Action> takeActions() override;

    Outcome outcome() const { return outcome_; }
    bool completed() const { return outcome_ == Outcome::Completed; }
    // Fetch: the records of each file as received (126 bytes each, ETX excluded).
    const std::vector<std::vector<QByteArray>>& files() const { return files_; }
    const std::vector<LogEntry>& log() const { return log_; }
    long bytesSent() const { return bytesSent_; }
    long bytesReceived() const { return bytesReceived_; }
    int failures() const { return failures_; }

private:
    enum class State { Idle, Header, Data, End, FileAck, FileBlock, Done };

    bool sending() const { return script_.transaction == 'S'; }
    int currentNumber() const;
    void sendCurrent(Millis now);
    void send(Millis at, const QByteArray& bytes);
    void answerSending(Millis now, char answer);
    void takeFetchedBytes(Millis now);
    void answer(Millis now, const QByteArray& bytes);
    void hangUp(Millis at, Outcome outcome);
    void armGiveUp(Millis now);
    bool countBytes(Millis at, long count, long* allowed);

    SiteScript script_;
    State state_ = State::Idle;
    Outcome outcome_ = Outcome::Running;
    bool lingering_ = false; // the exchange is over, the carrier not yet down
    bool carrier_ = false;
    int headersLeft_ = 0;
    std::size_t record_ = 0;
    int block_ = 0; // blocks of the transfer so far
    bool faultDone_[3] = {false, false, false};
    QByteArray inbox_;
    std::vector<std::vector<QByteArray>> files_;
    std::vector<Action> actions_;
    std::vector<LogEntry> log_;
    long crossed_ = 0;
    long bytesSent_ = 0;
    long bytesReceived_ = 0;
    int failures_ = 0;
    Millis giveUpAt_{-1};
};

QByteArray headerBlock(const QByteArray& restoNum, char transaction, char type);

} // namespace dialvane::site
