#pragma once
// A Hayes-style modem at the station's end of a SimLine, in virtual time. It answers commands
// (echo, then OK after a short delay), rings when a site calls, raises the carrier only when
// auto-answer is set ("AT s0=1"; "ATZ" clears it, as a stored profile without it would), then
// carries the site's call until either side hangs up ("NO CARRIER"). Faults: a power blip
// (settings lost), a hang (commands ignored; a DTR drop may clear it), vanishing (nothing at all).

#include "site/Site.h"

#include <map>
#include <vector>

namespace dialvane::sim {

class SimModem final : public site::Peer {
public:
    static constexpr Millis kAnswerDelay{100};
    static constexpr Millis kRingInterval{6000};
    static constexpr int kRingsBeforeTheSiteGivesUp = 4;

    // A site calls at `at`. Answered on the first ring when auto-answer is set; otherwise the
    // modem rings a few times and the site gives up.
    void call(site::Site& site, Millis at);
    void powerBlip() { autoAnswer_ = false; }
    void hang(bool dtrClearsIt) {
        hung_ = true;
        dtrClearsHang_ = dtrClearsIt;
    }
    void vanish() { vanished_ = true; }
    // Some modems reset to their stored profile when a call ends: auto-answer is lost.
    bool resetsOnHangUp = false;

    bool autoAnswer() const { return autoAnswer_; }
    int rings() const { return rings_; }
    const std::vector<QByteArray>& commands() const { return commands_; }

    void onStationBytes(Millis now, const QByteArray& bytes) override;
    void onStationDtr(Millis now, bool raised) override;
    void onTimer(Millis now) override;
    std::vector<site::Action> takeActions() override;

private:
    enum class Event { Ring, Answer };
    void say(Millis at, const QByteArray& text);
    void at(Millis when, Event event);
    void command(Millis now, const QByteArray& line);
    void ring(Millis now);
    void takeSiteActions();

    site::Site* site_ = nullptr;
    bool online_ = false;
    bool autoAnswer_ = false;
    bool hung_ = false;
    bool dtrClearsHang_ = false;
    bool vanished_ = false;
    int rings_ = 0;
    int ringsThisCall_ = 0;
    QByteArray typed_;
    std::vector<QByteArray> commands_;
    std::multimap<Millis, Event> events_;
    std::vector<site::Action> actions_;
};

} // namespace dialvane::sim
