#include "link/CallSummary.h"

namespace dialvane {

const QStringList& outcomeNames() {
    static const QStringList names = [] {
        QStringList list;
        for (CallOutcome o :
             {CallOutcome::Completed, CallOutcome::Dropped, CallOutcome::Refused, CallOutcome::Busy,
              CallOutcome::HungUp, CallOutcome::Failed, CallOutcome::Stopped})
            list << outcomeName(o);
        return list;
    }();
    return names;
}

QString outcomeName(CallOutcome outcome) {
    switch (outcome) {
    case CallOutcome::Completed:
        return QStringLiteral("completed");
    case CallOutcome::Dropped:
        return QStringLiteral("dropped");
    case CallOutcome::Refused:
        return QStringLiteral("refused");
    case CallOutcome::Busy:
        return QStringLiteral("busy");
    case CallOutcome::HungUp:
        return QStringLiteral("hung-up");
    case CallOutcome::Failed:
        return QStringLiteral("failed");
    case CallOutcome::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

QString directionName(CallDirection direction) {
    switch (direction) {
    case CallDirection::Receive:
        return QStringLiteral("receive");
    case CallDirection::Send:
        return QStringLiteral("send");
    case CallDirection::None:
        break;
    }
    return QStringLiteral("none");
}

CallDirection CallSummary::direction() const {
    if (outcome == CallOutcome::Refused || transaction.trimmed().isEmpty() || transaction == "N")
        return CallDirection::None;
    return receiving() ? CallDirection::Receive : CallDirection::Send;
}

} // namespace dialvane
