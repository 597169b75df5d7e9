#pragma once
// A Hayes-style modem at the station's end of a SimLine, in virtual time. It answers commands,
// rings when a site calls, raises the carrier only when auto-answer is set ("AT s0=1"; "ATZ"
// clears it, as a stored profile without it would), then carries the site's call until either
// side hangs up ("NO CARRIER"). It can lose its settings or hang until a DTR drop.

#include "site/Site.h"

#include <map>
#include <utility>
#include <vector>

namespace dialvane::sim {

class SimModem final : public site::Peer {
public:
    using Action = site::Action;
    static constexpr Millis kAnswerDelay{100};
    static constexpr Millis kRingInterval{6000};
    static constexpr int kRingsBeforeTheSiteGivesUp = 4;

    // A site calls at `when`. Answered on the first ring when auto-answer is set; otherwise the
    // modem rings a few times and the site gives up.
    void call(site::Site& site, Millis when) {
        site_ = &site;
        rings_ = 0;
        at(when, Event::Ring);
    }
    void powerBlip() { autoAnswer_ = false; }
    void hang() { hung_ = true; }
    // How it answers: "ATZ\r" echoed or not, results as words ("\r\nOK\r\n") or numeric codes
    // ("0\r"), ERROR to every command, no answer to commands at all.
    bool echo = true;
    bool numeric = false;
    bool refuses = false;
    bool mute = false;

    bool autoAnswer() const { return autoAnswer_; }
    const std::vector<QByteArray>& commands() const { return commands_; }

    void onStationBytes(Millis now, const QByteArray& bytes) override {
        if (online_) {
            site_->onStationBytes(now, bytes);
            takeSiteActions();
            return;
        }
        typed_ += bytes;
        for (qsizetype end; (end = typed_.indexOf('\r')) >= 0;) {
            const QByteArray line = typed_.left(end);
            typed_.remove(0, end + 1);
            command(now, line);
        }
    }

    void onStationDtr(Millis now, bool raised) override {
        if (raised)
            return;
        hung_ = false;
        if (online_) {
            online_ = false;
            actions_.push_back({now, Action::Kind::CarrierDown, {}});
            site_->onStationDtr(now, false);
            takeSiteActions();
            site_ = nullptr;
        }
    }

    void onTimer(Millis now) override {
        while (!events_.empty() && events_.begin()->first <= now) {
            const Event event = events_.begin()->second;
            events_.erase(events_.begin());
            if (event == Event::Ring)
                ring(now);
            else if (site_) {
                // Answered: the site's own call begins now.
                online_ = true;
                result(now, 1, "CONNECT 9600");
                actions_.push_back({now, Action::Kind::CarrierUp, {}});
                site_->start();
                takeSiteActions();
            }
        }
        if (online_ && site_) {
            site_->onTimer(now);
            takeSiteActions();
        }
    }

    std::vector<Action> takeActions() override { return std::exchange(actions_, {}); }

private:
    enum class Event { Ring, Answer };

    void at(Millis when, Event event) {
        events_.emplace(when, event);
        actions_.push_back({when, Action::Kind::Timer, {}});
    }
    void say(Millis when, const QByteArray& text) {
        actions_.push_back({when, Action::Kind::Bytes, text});
    }

    void result(Millis when, int code, const char* words, const QByteArray& echoed = {}) {
        say(when, echoed + (numeric ? QByteArray::number(code) + "\r"
                                    : "\r\n" + QByteArray(words) + "\r\n"));
    }

    void ring(Millis now) {
        if (online_ || !site_)
            return;
        ++rings_;
        result(now, 2, "RING");
        if (autoAnswer_ && !hung_)
            at(now + Millis(2000), Event::Answer);
        else if (rings_ < kRingsBeforeTheSiteGivesUp)
            at(now + kRingInterval, Event::Ring);
        else
            site_ = nullptr; // the caller gives up
    }

    void command(Millis now, const QByteArray& line) {
        commands_.push_back(line);
        if (hung_ || mute)
            return;
        QByteArray compact = line.toUpper();
        compact.replace(' ', "");
        const bool known = compact == "AT" || compact == "ATZ" || compact.startsWith("ATS0=");
        const QByteArray echoed = echo ? line + "\r" : QByteArray();
        if (!known || refuses) {
            result(now + kAnswerDelay, 4, "ERROR", echoed);
            return;
        }
        if (compact == "ATZ" || compact == "ATS0=0")
            autoAnswer_ = false;
        else if (compact == "ATS0=1")
            autoAnswer_ = true;
        result(now + kAnswerDelay, 0, "OK", echoed);
    }

    void takeSiteActions() {
        for (const Action& action : site_->takeActions()) {
            actions_.push_back(action);
            if (action.kind == Action::Kind::CarrierDown && online_) {
                // The site hung up: the modem says so once back in command mode.
                online_ = false;
                result(action.at + kAnswerDelay, 3, "NO CARRIER");
            }
        }
    }

    site::Site* site_ = nullptr;
    bool online_ = false;
    bool autoAnswer_ = false;
    bool hung_ = false;
    int rings_ = 0; // of the current call
    QByteArray typed_;
    std::vector<QByteArray> commands_;
    std::multimap<Millis, Event> events_;
    std::vector<Action> actions_;
};

} // namespace dialvane::sim
