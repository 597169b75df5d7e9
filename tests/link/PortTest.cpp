// Line events outside a call, and the ends of a call other than the site's.
#include "LinkFixture.h"

namespace dialvane::test {
namespace {

class PortTest : public LinkTest {};

TEST_F(PortTest, BytesBetweenCallsAreDroppedAndTheNextCallStartsClean) {
    line.schedule({100ms, Action::Kind::Bytes, "RING\r\n"});
    line.schedule({200ms, Action::Kind::Bytes, "CONNECT 9600\r\n"});
    EXPECT_TRUE(call({.records = {"x"}, .callAt = 300ms}).completed());
    EXPECT_EQ(line.sentBytes(), QByteArray(3, ACK));
}

TEST_F(PortTest, ACarrierEventInsideARunningCallIsIgnored) {
    struct Reentering : RecordingEvents {
        TransferLink* link = nullptr;
        void handle(const LinkEvent& event) override {
            RecordingEvents::handle(event);
            if (event.kind == LinkEvent::Kind::CallStarted)
                link->OnCommHandler(); // the carrier is up: a call within the call
        }
    } reentering;
    TransferLink station(line, reentering, config());
    reentering.link = &station;
    station.OpenPort(Connection::Direct, 9600, 1);
    Site site({.records = {"x"}});
    site.start();
    line.attach(site);
    station.Serve(1h);
    EXPECT_TRUE(site.completed());
    EXPECT_EQ(reentering.shows, 1);
    EXPECT_EQ(line.sentBytes(), QByteArray(3, ACK));
}

TEST_F(PortTest, AStopEndsACallLikeACarrierDrop) {
    writeFile(resto("itrfinv1"), "old");
    // Header at 100 ms, first block after its ACK at 300 ms: stop in between the blocks.
    line.requestStopAt(350ms);
    call({.records = {"a", "b"}});
    EXPECT_EQ(line.now(), 350ms);
    EXPECT_EQ(sentAt(ack()).size(), 1u);
    EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    EXPECT_EQ(link->state().RestoNum, "      ");
    EXPECT_EQ(readAll(resto("itrfinv1")), "old");
}

} // namespace
} // namespace dialvane::test
