// Who may call a network line: the allow list's matching, and a real listener on loopback that
// turns a caller away before a byte is read while the journal still learns who it was.
#include "LinkFixture.h"

#include "link/AllowList.h"
#include "link/NetworkLine.h"

#include <QTcpSocket>

namespace dialvane::test {
namespace {

TEST(AllowList, AddressesAndRangesOfBothFamilies) {
    const AllowList list = AllowList::parse(" 10.1.0.0/16, 192.0.2.7 ,2001:db8::/32,::1");
    const struct {
        const char* peer;
        bool allowed;
    } cases[] = {
        {"10.1.200.3", true},
        {"10.2.0.1", false},
        {"192.0.2.7", true},
        {"192.0.2.8", false},
        {"2001:db8:5::1", true},
        {"2001:db9::1", false},
        {"::1", true},
        {"127.0.0.1", false},
        {"::ffff:10.1.0.9", true}, // a dual-stack listener's view of an IPv4 caller
    };
    for (const auto& c : cases)
        EXPECT_EQ(list.allows(QHostAddress(QString::fromLatin1(c.peer))), c.allowed) << c.peer;

    EXPECT_TRUE(AllowList::parse("").allows(QHostAddress("203.0.113.5")));
    QStringList invalid;
    const AllowList typo = AllowList::parse("10.1.0.0/33, localhost", &invalid);
    EXPECT_EQ(invalid, (QStringList{"10.1.0.0/33", "localhost"}));
    EXPECT_FALSE(typo.allows(QHostAddress("10.1.0.1"))); // a typo never opens the line
}

TEST(AllowList, ACallerNotOnTheListIsClosedAtOnceAndJournaled) {
    NetworkLine line(1, "tcp:127.0.0.1:0", AllowList::parse("127.0.0.2"));
    RecordingObserver observer;
    LinkConfig config;
    TransferLink link(line, observer, config);
    link.OpenPort("D", 9600, 1);

    QTcpSocket stranger; // from 127.0.0.1
    stranger.connectToHost(QHostAddress::LocalHost, line.listeningPort());
    ASSERT_TRUE(stranger.waitForConnected(5000));
    const QString from = QString("127.0.0.1:%1").arg(stranger.localPort());
    link.Serve(line.now() + 300ms);
    ASSERT_EQ(observer.summaries.size(), 1u);
    EXPECT_EQ(observer.summaries[0].outcome, CallOutcome::Refused);
    EXPECT_EQ(observer.summaries[0].peer, from);
    EXPECT_EQ(observer.summaries[0].reason, from + " is not in AllowFrom");
    EXPECT_TRUE(stranger.state() == QAbstractSocket::UnconnectedState ||
                stranger.waitForDisconnected(5000));
    EXPECT_FALSE(line.CDHolding());

    QTcpSocket member;
    ASSERT_TRUE(member.bind(QHostAddress("127.0.0.2")));
    member.connectToHost(QHostAddress::LocalHost, line.listeningPort());
    ASSERT_TRUE(member.waitForConnected(5000));
    EXPECT_EQ(line.waitUntil(line.now() + 5000ms), Line::Wake::Carrier);
    EXPECT_EQ(line.peerAddress(), QString("127.0.0.2:%1").arg(member.localPort()));
}

} // namespace
} // namespace dialvane::test
