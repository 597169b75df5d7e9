#include "link/SupervisedLine.h"

namespace dialvane {

SupervisedLine::SupervisedLine(Supervisor supervisor) : supervisor_(std::move(supervisor)) {
    clock_.start();
}

void SupervisedLine::detach() {
    try {
        if (port_)
            port_->close();
    } catch (...) {
        // A port that failed is closed enough.
    }
    port_.reset();
}

void SupervisedLine::open(const LineSettings& settings) {
    if (!port_)
        throw LineError(QStringLiteral("No port to open."));
    port_->open(settings);
}

void SupervisedLine::close() {
    if (port_)
        port_->close();
}

void SupervisedLine::setCallConfig(const LinkConfig& config) {
    if (port_)
        port_->setCallConfig(config);
}

std::vector<TurnedAway> SupervisedLine::takeTurnedAway() {
    return port_ ? port_->takeTurnedAway() : std::vector<TurnedAway>();
}

void SupervisedLine::Output(const QByteArray& bytes) {
    if (port_)
        port_->Output(bytes);
}

void SupervisedLine::SetDTR(bool raised) {
    if (port_)
        port_->SetDTR(raised);
}

void SupervisedLine::SetRTS(bool raised) {
    if (port_)
        port_->SetRTS(raised);
}

Line::Wake SupervisedLine::waitUntil(Millis deadline) {
    for (;;) {
        supervisor_.beat();
        if (supervisor_.requestWaiting())
            return Wake::Stop;
        // A port that closed itself on a failure says why at its next wait.
        if (port_ && !port_->isOpen())
            port_->waitUntil(port_->now());
        if (!isOpen()) {
            supervisor_.sleepWithoutPort();
            return Wake::Stop;
        }
        // The clock counts whole milliseconds: a wait ends only once the whole last
        // millisecond has passed, so a delay of 200 ms never lasts 199.x ms.
        const qint64 nowNs = clock_.nsecsElapsed();
        Millis left = kSlice;
        if (deadline - Millis(nowNs / 1000000) < Millis(1000)) {
            const qint64 leftNs = (deadline.count() + 1) * 1000000 - nowNs;
            if (leftNs <= 0)
                return Wake::Deadline;
            left = Millis((leftNs + 999999) / 1000000);
        }
        const Wake wake = port_->waitUntil(port_->now() + std::min(left, kSlice));
        if (wake != Wake::Deadline)
            return wake;
    }
}

} // namespace dialvane
