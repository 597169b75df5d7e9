// Who may call a network line: the allow list's matching, and real listeners on loopback that
// turn callers away before a byte is read while the journal still learns who they were.
#include "LinkFixture.h"

#include "link/AllowList.h"
#include "link/NetworkLine.h"
#include "support/LoopbackPort.h"

#include <QTcpSocket>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dialvane::test {
namespace {

TEST(AllowList, AddressesAndRangesOfBothFamilies) {
    const AllowList list = AllowList::parse(" 10.1.0.0/16, 192.0.2.7 ,2001:db8::/32,::1");
    // ::ffff:10.1.0.9 is a dual-stack listener's view of an IPv4 caller.
    for (const char* peer : {"10.1.200.3", "192.0.2.7", "2001:db8:5::1", "::1", "::ffff:10.1.0.9"})
        EXPECT_TRUE(list.allows(QHostAddress(QString::fromLatin1(peer)))) << peer;
    for (const char* peer : {"10.2.0.1", "192.0.2.8", "2001:db9::1", "127.0.0.1"})
        EXPECT_FALSE(list.allows(QHostAddress(QString::fromLatin1(peer)))) << peer;
    EXPECT_TRUE(AllowList::parse("").allows(QHostAddress("203.0.113.5")));
    QStringList invalid;
    const AllowList typo = AllowList::parse("10.1.0.0/33, localhost", &invalid);
    EXPECT_EQ(invalid, (QStringList{"10.1.0.0/33", "localhost"}));
    EXPECT_FALSE(typo.allows(QHostAddress("10.1.0.1"))); // a typo never opens the line
}

// What the stand-ins for the call pool of two lines were handed.
struct Taken {
    ~Taken() {
        for (qintptr descriptor : descriptors)
            ::close(static_cast<int>(descriptor));
    }
    std::vector<qintptr> descriptors;
    QStringList peers;
};

struct TakenCalls final : CallTaker {
    explicit TakenCalls(Taken& taken) : taken(taken) {}
    int callsInProgress() override { return static_cast<int>(taken.descriptors.size()); }
    int callsFrom(const QHostAddress& address) override {
        return static_cast<int>(taken.peers.filter(address.toString() + ':').size());
    }
    void stopAll() override {}
    bool take(qintptr descriptor, const QString& peer, const QHostAddress&,
              std::uint64_t) override {
        taken.descriptors.push_back(descriptor);
        taken.peers << peer;
        return true;
    }
    Taken& taken;
};

int socketOption(qintptr descriptor, int level, int name) {
    int value = -1;
    socklen_t size = sizeof value;
    ::getsockopt(static_cast<int>(descriptor), level, name, &value, &size);
    return value;
}

// The listening line decides who calls: a stranger is closed before a byte is read and
// journaled as refused, an allowed caller of either family becomes a call with keepalive on,
// and one beyond MaxCalls is closed and journaled as busy.
TEST(NetworkLine, TurnsAwayStrangersAndCallersBeyondMaxCalls) {
    const AllowList allowed = AllowList::parse("127.0.0.2, ::1");
    Taken taken;
    NetworkLine v4(1, loopbackAnyPort(), allowed, 2, std::make_unique<TakenCalls>(taken));
    NetworkLine v6(1, loopbackAnyPort("::1"), allowed, 2, std::make_unique<TakenCalls>(taken));
    RecordingEvents events;
    TransferLink link(v4, events, LinkConfig{});
    link.OpenPort(Connection::Direct, 9600, 1);
    v6.open({});
    std::vector<std::unique_ptr<QTcpSocket>> callers;
    const auto call = [&](NetworkLine& line, const char* from, const char* to) {
        callers.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket& caller = *callers.back();
        EXPECT_TRUE(caller.bind(QHostAddress(from)));
        caller.connectToHost(QHostAddress(to), line.listeningPort());
        EXPECT_TRUE(caller.waitForConnected(5000));
        const std::size_t before = taken.descriptors.size() + events.summaries.size();
        for (int i = 0; i < 100 && taken.descriptors.size() + events.summaries.size() == before;
             ++i) {
            link.Serve(v4.now() + 50ms);
            v6.waitUntil(v6.now() + 50ms);
        }
        return QString("%1:%2").arg(from).arg(caller.localPort());
    };

    const QString stranger = call(v4, "127.0.0.1", "127.0.0.1");
    const QString member = call(v4, "127.0.0.2", "127.0.0.1");
    const QString ipv6 = call(v6, "::1", "::1");
    const QString extra = call(v4, "127.0.0.2", "127.0.0.1");

    EXPECT_EQ(taken.peers, (QStringList{member, ipv6}));
    for (qintptr descriptor : taken.descriptors) {
        EXPECT_EQ(socketOption(descriptor, SOL_SOCKET, SO_KEEPALIVE), 1);
        EXPECT_EQ(socketOption(descriptor, IPPROTO_TCP, TCP_KEEPIDLE), 30);
        EXPECT_EQ(socketOption(descriptor, IPPROTO_TCP, TCP_KEEPCNT), 3);
    }
    ASSERT_EQ(events.summaries.size(), 2u);
    EXPECT_EQ(events.summaries[0].peer + " " + describe(events.summaries[0]),
              stranger + " refused none  records=0 naks=0 resent=0 bytes=0: " + stranger +
                  " is not in AllowFrom");
    EXPECT_EQ(events.summaries[1].peer + " " + describe(events.summaries[1]),
              extra + " busy none  records=0 naks=0 resent=0 bytes=0: 2 calls in progress on "
                      "COM1 (MaxCalls)");
    for (int turnedAway : {0, 3}) { // closed: the caller reads the end at once
        QTcpSocket& caller = *callers[turnedAway];
        EXPECT_TRUE(caller.state() == QAbstractSocket::UnconnectedState ||
                    caller.waitForDisconnected(5000))
            << turnedAway;
    }
}

} // namespace
} // namespace dialvane::test
