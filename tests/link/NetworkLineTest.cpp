// Who may call a network line (the allow list, the defender, real listeners on loopback), then a
// call's connection: how long its waits last, and the answers it was handed for later.
#include "LinkFixture.h"

#include "link/AllowList.h"
#include "link/ConnectionLine.h"
#include "link/Defender.h"
#include "link/NetworkLine.h"
#include "support/LoopbackPort.h"
#include "support/ManualClock.h"

#include <QTcpSocket>
#include <QTest>

#include <fstream>
#include <future>
#include <map>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
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
// and one beyond MaxCalls is closed and journaled as busy. An address with refused calls
// enough is closed though AllowFrom lets it in: journaled once, then silently.
TEST(NetworkLine, TurnsAwayStrangersCallersBeyondMaxCallsAndBlockedAddresses) {
    const AllowList allowed = AllowList::parse("127.0.0.2, 127.0.0.3, ::1");
    Taken taken;
    auto defender = std::make_shared<Defender>(DefenderSettings{2});
    NetworkLine v4(1, loopbackAnyPort(), allowed, 2, std::make_unique<TakenCalls>(taken), 0,
                   defender);
    NetworkLine v6(1, loopbackAnyPort("::1"), allowed, 2, std::make_unique<TakenCalls>(taken));
    RecordingEvents events;
    TransferLink link(v4, events, LinkConfig{});
    link.OpenPort(Connection::Direct, 9600, 1);
    v6.open({});
    std::vector<std::unique_ptr<QTcpSocket>> callers;
    // Serves until the station has taken the caller, journaled it, or closed it.
    const auto call = [&](NetworkLine& line, const char* from, const char* to) {
        callers.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket& caller = *callers.back();
        EXPECT_TRUE(caller.bind(QHostAddress(from)));
        caller.connectToHost(QHostAddress(to), line.listeningPort());
        EXPECT_TRUE(caller.waitForConnected(5000));
        const std::size_t before = taken.descriptors.size() + events.summaries.size();
        for (int i = 0; i < 100 && taken.descriptors.size() + events.summaries.size() == before &&
                        !caller.waitForDisconnected(0);
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
    for (int refusedCall = 0; refusedCall < 2; ++refusedCall)
        defender->refused(QHostAddress("127.0.0.3"));
    const QString blocked = call(v4, "127.0.0.3", "127.0.0.1");
    call(v4, "127.0.0.3", "127.0.0.1");

    EXPECT_EQ(taken.peers, (QStringList{member, ipv6}));
    for (qintptr descriptor : taken.descriptors) {
        EXPECT_EQ(socketOption(descriptor, SOL_SOCKET, SO_KEEPALIVE), 1);
        EXPECT_EQ(socketOption(descriptor, IPPROTO_TCP, TCP_KEEPIDLE), 30);
        EXPECT_EQ(socketOption(descriptor, IPPROTO_TCP, TCP_KEEPCNT), 3);
    }
    ASSERT_EQ(events.summaries.size(), 3u);
    EXPECT_EQ(events.summaries[0].peer + " " + describe(events.summaries[0]),
              stranger + " refused none  records=0 naks=0 resent=0 bytes=0: " + stranger +
                  " is not in AllowFrom");
    EXPECT_EQ(events.summaries[1].peer + " " + describe(events.summaries[1]),
              extra + " busy none  records=0 naks=0 resent=0 bytes=0: 2 calls in progress on "
                      "COM1 (MaxCalls)");
    EXPECT_EQ(events.summaries[2].peer + " " + describe(events.summaries[2]),
              blocked + " refused none  records=0 naks=0 resent=0 bytes=0: 127.0.0.3 blocked "
                        "after 2 refused calls");
    for (int turnedAway : {0, 3, 4, 5}) { // closed: the caller reads the end at once
        QTcpSocket& caller = *callers[turnedAway];
        EXPECT_TRUE(caller.state() == QAbstractSocket::UnconnectedState ||
                    caller.waitForDisconnected(5000))
            << turnedAway;
    }
}

// Each row a script in minutes, steps of <minutes since the step before><address><what>: 'r' a
// call from the address ended refused, then what a new connection from it meets: 'a' admitted,
// 'f' turned away and said, 't' turned away silently. M is A as a dual-stack listener sees it.
TEST(Defender, BlocksAfterRefusalsInItsWindowForItsTimeAndForgetsStaleAddressesFirst) {
    using std::chrono::minutes;
    const std::map<char, const char*> addresses = {
        {'A', "192.0.2.1"}, {'B', "2001:db8::7"}, {'C', "198.51.100.9"}, {'M', "::ffff:192.0.2.1"}};
    const struct {
        const char* name;
        int blockAfter, window, blockFor; // minutes
        std::size_t capacity;
        const char* steps;
    } cases[] = {
        {"threshold, one address, either form", 3, 15, 15, 16, "0Ar 0Ar 0Aa 0Ar 0Af 0At 0Mt 0Ba"},
        {"a window that ran out starts again", 3, 15, 15, 16, "0Ar 0Ar 15Ar 0Aa 0Ar 0Ar 0Af"},
        {"a block that ran out is forgotten", 2, 60, 30, 16, "0Ar 0Ar 29Af 1Aa 0Ar 0Aa"},
        {"0 is off", 0, 15, 15, 16, "0Ar 0Ar 0Aa"},
        {"at the cap, stale goes before older blocked", 2, 15, 60, 2, "0Br 0Br 20Ar 20Cr 0Bf"},
        {"at the cap, the longest unheard goes", 2, 15, 15, 2, "0Ar 1Br 1Cr 0Ar 0Aa"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        Defender defender({c.blockAfter, minutes(c.window), minutes(c.blockFor)}, clock,
                          c.capacity);
        for (const QByteArray& step : QByteArray(c.steps).split(' ')) {
            clock.advance(minutes(step.chopped(2).toInt()));
            const QHostAddress address{QString::fromLatin1(addresses.at(step[step.size() - 2]))};
            if (step.back() == 'r') {
                defender.refused(address);
                continue;
            }
            EXPECT_EQ(defender.admit(address), step.back() == 'a' ? Defender::Verdict::Admit
                                               : step.back() == 'f'
                                                   ? Defender::Verdict::TurnAwayFirst
                                                   : Defender::Verdict::TurnAway)
                << step.toStdString() << " at " << clock.monotonic().count() / 60000 << " min";
        }
    }
    // However many addresses try, the table holds no more than its cap.
    ManualClock clock;
    Defender defender({3, minutes(15), minutes(15)}, clock, 64);
    for (quint32 i = 0; i < 10000; ++i)
        defender.refused(QHostAddress(0x0A000000 + i));
    EXPECT_EQ(defender.tracked(), 64u);
}

// A connection line on one end of a socket pair; the test is the site at the other end.
std::unique_ptr<ConnectionLine> connected(int ends[2]) {
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    auto line = std::make_unique<ConnectionLine>(ends[0], "site");
    line->open(LineSettings{});
    return line;
}

// Answers handed over for later go from the answer timer: never before their moment, in the
// order handed over (also what is sent at once meanwhile), and not at all once the station
// has hung up.
TEST(ConnectionLine, AnswersHandedOverGoAtTheirMomentInOrderAndNotAfterAHangUp) {
    int ends[2], other[2], next[2];
    const auto line = connected(ends);
    QElapsedTimer clock;
    clock.start();
    // Another call's answer, due first: the timer sends it alone.
    const auto otherLine = connected(other);
    ASSERT_TRUE(otherLine->OutputAt("E", otherLine->now() + 20ms));
    const Millis start = line->now();
    ASSERT_TRUE(line->OutputAt("A", start + 150ms));
    ASSERT_TRUE(line->OutputAt("B", start + 50ms)); // handed over later: goes later
    line->Output("C");
    // Everything the site hears within a second, and when the first byte came.
    const auto hear = [&] {
        QByteArray heard;
        qint64 firstAt = -1;
        pollfd fd{ends[1], POLLIN, 0};
        char byte = 0;
        while (heard.size() < 3 &&
               ::poll(&fd, 1, static_cast<int>(std::max<qint64>(0, 1000 - clock.elapsed()))) > 0 &&
               ::recv(ends[1], &byte, 1, 0) == 1) {
            firstAt = firstAt < 0 ? clock.elapsed() : firstAt;
            heard += byte;
        }
        return std::pair{heard, firstAt};
    };
    const auto [heard, firstAt] = hear();
    EXPECT_EQ(heard, "ABC");
    EXPECT_GE(firstAt, 150);

    ASSERT_TRUE(line->OutputAt("D", line->now() + 100ms));
    line->SetDTR(false); // the station hangs up before D's moment
    // The next connection likely gets the same descriptor: D must not reach it either.
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, next), 0);
    clock.restart();
    EXPECT_EQ(hear().first, "");
    pollfd fd{next[1], POLLIN, 0};
    EXPECT_EQ(::poll(&fd, 1, 300), 0) << "D went to " << next[0];
    for (int end : {ends[1], next[0], next[1], other[1]})
        ::close(end);
}

// A wait ends with what came, at its deadline, or at a stop, however long it would otherwise
// take; and the station never waits for a caller that reads nothing, neither when it sends nor
// when the timer sends its answers (which would hold every call's answers): it hangs up.
TEST(ConnectionLine, AWaitEndsInTimeAndNoSendWaitsForACallerThatReadsNothing) {
    const auto waitAt = [](Line& line, Millis wait, Line::Wake expected, qint64 within) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(line.waitUntil(line.now() + wait), expected);
        EXPECT_LT(clock.elapsed(), within);
    };
    int ends[2];
    auto line = connected(ends);
    // Exactly one read's worth: the read after it, which finds nothing, does not wait.
    const QByteArray chunk(16 * 1024, 'x');
    ASSERT_EQ(::send(ends[1], chunk.constData(), chunk.size(), 0), chunk.size());
    waitAt(*line, 5s, Line::Wake::Data, 500);
    EXPECT_EQ(line->Input().size(), chunk.size());
    // A deadline nearer than the longest single read is kept.
    waitAt(*line, 100ms, Line::Wake::Deadline, 600);

    // A stop that finds the call inside its read ends it as a stop, at once.
    std::atomic<pid_t> waiter{0};
    auto waiting = std::async(std::launch::async, [&] {
        waiter = static_cast<pid_t>(::syscall(SYS_gettid));
        waitAt(*line, 10s, Line::Wake::Stop, 1000);
    });
    const auto inRead = [&] {
        std::ifstream call("/proc/self/task/" + std::to_string(waiter) + "/syscall");
        long number = -1;
        return waiter != 0 && (call >> number) && number == SYS_recvfrom;
    };
    ASSERT_TRUE(QTest::qWaitFor(inRead, 5000));
    line->stop();
    waiting.get();
    ::close(ends[1]);

    // The station sends a file to a caller that reads none of it.
    line = connected(ends);
    auto sending = std::async(std::launch::async, [&] {
        for (int i = 0; i < 64 && line->isOpen(); ++i)
            line->Output(QByteArray(64 * 1024, 'x'));
    });
    const bool sent = sending.wait_for(5s) == std::future_status::ready;
    ::close(ends[1]); // frees a send that waits, so that the test ends
    EXPECT_TRUE(sent);
    sending.get();
    EXPECT_FALSE(line->isOpen());

    // An answer handed to the timer meets a full connection.
    line = connected(ends);
    while (::send(ends[0], chunk.constData(), chunk.size(), MSG_DONTWAIT) > 0) {
    }
    ASSERT_TRUE(line->OutputAt("A", line->now() + 10ms));
    auto answered =
        std::async(std::launch::async, [&] { waitAt(*line, 3s, Line::Wake::Carrier, 2000); });
    const bool hungUp = answered.wait_for(2s) == std::future_status::ready;
    ::close(ends[1]);
    EXPECT_TRUE(hungUp);
    answered.get();
}

} // namespace
} // namespace dialvane::test
