#pragma once
// Talking to the modem between calls: commands and their result texts. A modem in the field
// loses its auto-answer setting (a power blip, a reset on hang-up) or hangs ignoring commands,
// and nobody watches the station: so the station sets the modem up when the port opens and
// again after every call, asks it now and then whether it still answers, and resets it when it
// does not. All of these read the modem's answers through command() below, so a modem is
// understood alike whatever the station is doing: with or without echo, and whether it gives
// its results as words ("OK") or as numeric result codes ("0", after ATV0 in its profile).
//
// Every wait goes through Line::waitUntil, so the dialogue runs in virtual time in the tests.

#include "link/Line.h"

#include <QByteArray>
#include <QList>

#include <functional>

namespace dialvane::modem {

inline constexpr Millis kSetUpAnswerLimit{5000}; // for "ATZ" and "AT s0=1", wherever sent
inline constexpr Millis kCheckAnswerLimit{2000}; // for the idle check "AT"
inline constexpr Millis kResetDtrLow{1000};      // DTR held low to reset a modem

// The result a whole line from the modem stands for, in words ("RING", "NO CARRIER",
// "CONNECT 9600"; a numeric code such as "2" as its words), or empty for line noise or the
// echo of a command.
QByteArray resultText(const QByteArray& line);
bool isResultText(const QByteArray& line);

// Splits what arrived into whole lines; the rest waits in `pending` for the next bytes. The
// pending part is bounded, so noise without line ends cannot grow it.
QList<QByteArray> takeLines(QByteArray& pending, const QByteArray& arrived);

// Ok: "OK" came. Error: "ERROR" came, the modem is there but refused the command. Silent:
// neither in time. Stopped: the owner asked the line to stop. Call: the carrier came up
// meanwhile, a call has priority over the dialogue.
enum class Answer { Ok, Error, Silent, Stopped, Call };

// Told every result other than "OK", in words: what the modem says on its own ("RING",
// "NO CARRIER" of the call just ended) and an "ERROR" in answer.
using Heard = std::function<void(const QByteArray&)>;

// Sends `command` (with its CR) and waits until the modem answers "OK" or "ERROR" or `limit`
// passes. Stopped when the line's owner asks to stop. Never throws but what the line throws.
Answer command(Line& line, const QByteArray& command, Millis limit, const Heard& heard = {});

// How a set-up went: the answer that decided it and the command that got it.
struct Reply {
    Answer answer = Answer::Ok;
    QByteArray command;
};

// The set-up: "ATZ", then "AT s0=1" (answer on the first ring), each given kSetUpAnswerLimit.
// A refused command (Error, told to `heard`) does not end it: the next one may still work, and
// a modem that refuses is no hung modem. Silent, Stopped and Call end it at once; otherwise the
// reply is the last command's.
Reply setUp(Line& line, const Heard& heard = {});

// DTR low for kResetDtrLow (a modem set to reset on it does), then the set-up again.
Reply reset(Line& line, const Heard& heard = {});

} // namespace dialvane::modem
