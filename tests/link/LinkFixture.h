#pragma once
// A station on a simulated line with a temporary Backroom and log folder.

#include "link/Block.h"
#include "link/TextItems.h"
#include "link/TransferLink.h"
#include "link/TransferLog.h"
#include "site/Site.h"
#include "support/SimLine.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace dialvane::test {

using namespace std::chrono_literals;
using sim::SimLine;
using site::Action;
using site::Site;
using site::SiteScript;

// Every event of the engine, and the few things tests ask of them.
struct RecordingEvents : LinkEventSink {
    std::vector<LinkEvent> events;
    std::vector<QString> failures; // reasons of calls that ended failed or busy
    std::vector<CallSummary> summaries;

    void handle(const LinkEvent& event) override {
        events.push_back(event);
        if (event.kind != LinkEvent::Kind::CallEnded)
            return;
        summaries.push_back(event.summary);
        if (event.summary.outcome == CallOutcome::Failed ||
            event.summary.outcome == CallOutcome::Busy)
            failures.push_back(event.summary.reason);
    }

    qsizetype noticesWith(const QString& text) const {
        return std::ranges::count_if(events, [&](const LinkEvent& e) {
            return e.kind == LinkEvent::Kind::LineNotice && e.text.contains(text);
        });
    }
};

// The outcome, direction, files and counts of a call in one line, then the reason if any.
inline QString describe(const CallSummary& s) {
    return QStringLiteral("%1 %2 %3 records=%4 naks=%5 resent=%6 bytes=%7")
               .arg(outcomeName(s.outcome), directionName(s.direction()), s.files.join(','))
               .arg(s.records)
               .arg(s.naksSent)
               .arg(s.blocksResent)
               .arg(s.bytes) +
           (s.reason.isEmpty() ? QString() : ": " + s.reason);
}

// Local time that moves with the simulated line: 14:05:09 at virtual time 0.
struct LineClock : Clock {
    explicit LineClock(const SimLine& line) : line(line) {}
    std::chrono::milliseconds monotonic() const override { return line.now(); }
    QDateTime localTime() const override {
        return QDateTime(QDate(2026, 12, 5), QTime(14, 5, 9)).addMSecs(line.now().count());
    }
    const SimLine& line;
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        backroom = dir.path() + "/Backroom/";
        logs = dir.path() + "/Logs/";
        QDir().mkpath(backroom + "000123");
        QDir().mkpath(logs);
        link = std::make_unique<TransferLink>(line, events, config());
        link->OpenPort(Connection::Direct, 9600, 1);
    }

    LinkConfig config(Millis sendDelay = Millis(200)) {
        LinkConfig c;
        c.BackroomFolder = backroom;
        c.LogFolder = logs;
        c.sendDelay = sendDelay;
        c.clock = &clock;
        return c;
    }

    // Starts a site's call and lets the station answer until everything has settled.
    Site& call(SiteScript script) {
        sites.push_back(std::make_unique<Site>(std::move(script)));
        Site& site = *sites.back();
        site.start();
        line.attach(site);
        link->Serve(line.now() + 1h);
        return site;
    }

    QString resto(const QString& name) const { return backroom + "000123/" + name; }

    QStringList logFiles() const { return QDir(logs).entryList(QDir::Files, QDir::Name); }

    // Times at which the station sent, or was sent, exactly `bytes`.
    std::vector<Millis>
    sentAt(const QByteArray& bytes,
           SimLine::Event::Kind kind = SimLine::Event::Kind::StationSent) const {
        std::vector<Millis> times;
        for (const auto& e : line.transcript())
            if (e.kind == kind && e.bytes == bytes)
                times.push_back(e.at);
        return times;
    }
    std::vector<Millis> receivedAt(const QByteArray& bytes) const {
        return sentAt(bytes, SimLine::Event::Kind::StationReceived);
    }
    // When DTR next went to `level` after `after`; zero when it did not.
    Millis dtrAt(bool level, Millis after = Millis(-1)) const {
        for (const auto& e : line.transcript())
            if (e.kind == SimLine::Event::Kind::Dtr && e.level == level && e.at > after)
                return e.at;
        return Millis(0);
    }

    QTemporaryDir dir;
    QString backroom;
    QString logs;
    SimLine line;
    LineClock clock{line};
    RecordingEvents events;
    std::unique_ptr<TransferLink> link;
    std::vector<std::unique_ptr<Site>> sites;
};

// On a serial line the call sends every answer itself; on a network line it hands the answers
// to blocks it reads on from to the line, to go at their moment: the same tests hold on both.
class OnEitherLine : public LinkTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        line.setHasModem(GetParam());
        LinkTest::SetUp();
    }
};
inline std::string lineName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Serial" : "Network";
}

inline QByteArray ack() {
    return QByteArray(1, ACK);
}
inline QByteArray nak() {
    return QByteArray(1, NAK);
}
inline QByteArray padded(const QByteArray& text) {
    return text.leftJustified(126, ' ', true);
}

} // namespace dialvane::test
