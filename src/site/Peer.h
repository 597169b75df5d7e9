#pragma once
// The far end of a line: reacts to the station's bytes and DTR, and schedules what it does
// next as timed actions. Used in virtual time by SimLine and in real time by dialvane-site.

#include "link/Line.h"

#include <QByteArray>

#include <vector>

namespace dialvane::site {

struct Action {
    enum class Kind { Bytes, CarrierUp, CarrierDown, Timer };
    Millis at;
    Kind kind;
    QByteArray bytes;
};

class Peer {
public:
    virtual ~Peer() = default;
    virtual void onStationBytes(Millis now, const QByteArray& bytes) = 0;
    virtual void onStationDtr(Millis now, bool raised) = 0;
    virtual void onTimer(Millis now) = 0;
    // What the peer has decided since the last call, in the order decided.
    virtual std::vector<Action> takeActions() = 0;
};

} // namespace dialvane::site
