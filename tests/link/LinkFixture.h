#pragma once
// A station on a simulated line with a temporary Backroom and log folder.

#include "link/Block.h"
#include "link/LinkObserver.h"
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

struct RecordingObserver : LinkObserver {
    std::vector<std::pair<StatusLabel, QByteArray>> captions;
    std::vector<QString> failures;
    std::vector<QString> notices;
    std::vector<CallSummary> summaries;
    int shows = 0;
    int hides = 0;
    bool visible = false;

    void setCaption(StatusLabel label, const QByteArray& text) override {
        captions.emplace_back(label, text);
    }
    void showStatus() override {
        ++shows;
        visible = true;
    }
    void hideStatus() override {
        ++hides;
        visible = false;
    }
    void callFailed(const QString& reason) override { failures.push_back(reason); }
    void lineNotice(const QString& text) override { notices.push_back(text); }
    void callSummary(const CallSummary& summary) override { summaries.push_back(summary); }

    // The longest text a label showed.
    QByteArray longest(StatusLabel label) const {
        QByteArray found;
        for (const auto& [l, text] : captions)
            if (l == label && text.size() > found.size())
                found = text;
        return found;
    }
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        backroom = dir.path() + "/Backroom/";
        logs = dir.path() + "/Logs/";
        QDir().mkpath(backroom + "000123");
        QDir().mkpath(logs);
        link = std::make_unique<TransferLink>(line, observer, config());
        link->OpenPort(Connection::Direct, 9600, 1);
    }

    LinkConfig config(Millis sendDelay = Millis(200)) {
        LinkConfig c;
        c.BackroomFolder = backroom;
        c.LogFolder = logs;
        c.sendDelay = sendDelay;
        // Logs are named after the local time: 14:05:09 at virtual time 0.
        c.localTime = [this] {
            return QDateTime(QDate(2026, 12, 5), QTime(14, 5, 9)).addMSecs(line.now().count());
        };
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

    // The folder's files, sorted by name.
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

    QTemporaryDir dir;
    QString backroom;
    QString logs;
    SimLine line;
    RecordingObserver observer;
    std::unique_ptr<TransferLink> link;
    std::vector<std::unique_ptr<Site>> sites;
};

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
