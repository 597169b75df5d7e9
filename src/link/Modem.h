#pragma once
// Talking to the modem between calls: commands and their result texts. A modem in the field
// loses its auto-answer setting (a power blip, a reset on hang-up) or hangs ignoring commands,
// and nobody watches the station: so the station sets the modem up again after every call,
// asks it now and then whether it still answers, and resets it when it does not.
//
// Every wait goes through Line::waitUntil, so the dialogue runs in virtual time in the tests.

#include "link/Line.h"

#include <QByteArray>
#include <QList>

#include <functional>

namespace dialvane::modem {

inline constexpr Millis kSetUpAnswerLimit{5000}; // for "ATZ" and "AT s0=1"
inline constexpr Millis kCheckAnswerLimit{2000}; // for the idle check "AT"
inline constexpr Millis kResetDtrLow{1000};      // DTR held low to reset a modem

// A whole line a modem sends on its own or in answer ("RING", "NO CARRIER", "CONNECT 9600"),
// as opposed to line noise or the echo of a command.
bool isResultText(const QByteArray& line);

// Splits what arrived into whole lines; the rest waits in `pending` for the next bytes. The
// pending part is bounded, so noise without line ends cannot grow it.
QList<QByteArray> takeLines(QByteArray& pending, const QByteArray& arrived);

// Ok: "OK" came. Silent: nothing usable in time. Stopped: the owner asked the line to stop.
// Call: the carrier came up meanwhile, a call has priority over the dialogue.
enum class Answer { Ok, Silent, Stopped, Call };

// Sends `command` (with its CR) and waits until the modem answers "OK" or `limit` passes. Any
// other result text seen meanwhile goes to `heard`. Stopped when the line's owner asks to stop.
Answer command(Line& line, const QByteArray& command, Millis limit,
               const std::function<void(const QByteArray&)>& heard = {});

// The set-up after a call: "ATZ", then "AT s0=1" (answer on the first ring), each answered
// "OK" within kSetUpAnswerLimit.
Answer setUp(Line& line, const std::function<void(const QByteArray&)>& heard = {});

// DTR low for kResetDtrLow (a modem set to reset on it does), then the set-up again.
Answer reset(Line& line, const std::function<void(const QByteArray&)>& heard = {});

} // namespace dialvane::modem
