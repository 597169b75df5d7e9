#pragma once
// The link thread, without windows, on a network line on 127.0.0.1, and dialvane-site to call
// it: what the network call tests share, plain and encrypted.
#include "link/Defender.h"
#include "link/LinkThread.h"
#include "support/CallFixtures.h"

#include <QTest>

#include <atomic>

namespace dialvane::test {

// Records as a file of text lines, as a site reads them.
inline QByteArray asText(const QByteArrayList& records) {
    return records.join("\r\n") + "\r\n";
}

// The link's events as the main thread hears them.
struct HeardEvents {
    explicit HeardEvents(LinkThread& link) {
        QObject::connect(&link, &LinkThread::event, &context,
                         [this](const LinkEvent& event) { events.push_back(event); });
    }
    std::vector<LinkEvent> of(LinkEvent::Kind kind,
                              LinkEvent::PortFailure failure = LinkEvent::PortFailure::None) const {
        std::vector<LinkEvent> found;
        for (const LinkEvent& e : events)
            if (e.kind == kind && e.failure == failure)
                found.push_back(e);
        return found;
    }
    qsizetype count(LinkEvent::Kind kind,
                    LinkEvent::PortFailure failure = LinkEvent::PortFailure::None) const {
        return static_cast<qsizetype>(of(kind, failure).size());
    }
    std::vector<CallSummary> ended() const {
        std::vector<CallSummary> calls;
        for (const LinkEvent& e : of(LinkEvent::Kind::CallEnded))
            calls.push_back(e.summary);
        return calls;
    }
    bool waitFor(qsizetype n, LinkEvent::Kind kind,
                 LinkEvent::PortFailure failure = LinkEvent::PortFailure::None) const {
        return QTest::qWaitFor([&] { return count(kind, failure) >= n; }, 5000);
    }
    QObject context;
    std::vector<LinkEvent> events;
};

class NetworkCallTest : public BackroomTest {
protected:
    void SetUp() override {
        BackroomTest::SetUp();
        PortRequest request;
        request.connection = Connection::Modem; // a network line has no modem: nothing is sent
        request.device = address;
        request.config.BackroomFolder = backroom;
        request.config.LogFolder = logs;
        request.config.sendDelay = Millis(0);
        request.reopenInterval = Millis(50);
        request.maxCallsPerAddress = 0; // every site here calls from 127.0.0.1
        request.tls = tls;
        request.defence = defence;
        link.reopen(request);
        link.waitIdle();
        ASSERT_TRUE(heard.waitFor(1, LinkEvent::Kind::PortOpened));
    }

    Ran site(const QStringList& arguments, const QByteArray& input = {}) {
        return run(DIALVANE_SITE, QStringList{"--line", address} + arguments, input);
    }
    quint16 port() const { return address.section(':', 2).toUShort(); }

    // A test of an encrypted line sets both before SetUp.
    QString address = QStringLiteral("tcp:127.0.0.1:%1").arg(freePort());
    TlsSettings tls;
    // Every caller here is 127.0.0.1, and some tests make many refused calls.
    DefenderSettings defence{.blockAfter = 0};
    std::atomic<int> opens{0}; // tries to open a port, tries again included
    LinkThread link{[this](const PortRequest& request, LinkEventSink& events) {
        ++opens;
        return makeRealLine(request, events);
    }};
    HeardEvents heard{link};
};

} // namespace dialvane::test
