// Encrypted network lines on loopback, with certificates made for the run: real handshakes of
// good and bad callers against the link thread, and dialvane-site calling with a restaurant's
// certificate.
#include "NetworkCallFixture.h"
#include "support/TestCertificates.h"
#include "support/TlsCaller.h"

#include <functional>

namespace dialvane::test {
namespace {

// A line that requires restaurant certificates from "ca", with its revocation list.
class TlsCallTest : public NetworkCallTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(pki.authority("ca") && pki.authority("other") &&
                    pki.issue("station", "ca", "station", 30, "127.0.0.1") &&
                    pki.issue("r123", "ca", "000123") && pki.issue("r124", "ca", "000124") &&
                    pki.issue("expired", "ca", "000125", -1) &&
                    pki.issue("revoked", "ca", "000126") && pki.revoke("revoked", "ca") &&
                    pki.issue("named", "ca", "abc123") && pki.issue("stranger", "other", "000123"))
            << pki.error().toStdString();
        address = QStringLiteral("tls:127.0.0.1:%1").arg(freePort());
        tls = {pki.cert("station"), pki.key("station"), pki.cert("ca"), pki.crl("ca"), Millis(500)};
        NetworkCallTest::SetUp();
    }
    bool endedAtLeast(std::size_t n) {
        return QTest::qWaitFor([&] { return heard.ended().size() >= n; }, 10000);
    }
    TlsCaller restaurant(const QString& name) {
        return TlsCaller(pki.cert("ca"), pki.cert(name), pki.key(name));
    }

    TestCertificates pki{dir.path()};
};

// With the defender on, eight refused calls from one address block it.
class TlsDefendedTest : public TlsCallTest {
    void SetUp() override {
        defence.blockAfter = 8;
        TlsCallTest::SetUp();
    }
};

// Each bad caller ends refused with its reason, after or without a handshake, while a call in
// the middle of its file goes on untouched and completes.
TEST_F(TlsDefendedTest, EveryBadCallerIsRefusedWithItsReasonWhileACallGoesOn) {
    TlsCaller holder = restaurant("r123");
    ASSERT_TRUE(holder.call(port()) && holder.exchange(kSendHeader));
    for (const QByteArray& r : records(3, 'h'))
        ASSERT_TRUE(holder.exchange(BuildBlock(r)));

    const auto tlsCall = [this](const QString& name, bool handshakeDone) {
        return [this, name, handshakeDone] {
            TlsCaller caller = name.isEmpty() ? TlsCaller(pki.cert("ca")) : restaurant(name);
            // With TLS 1.3 the station checks a certificate after the caller has finished.
            EXPECT_TRUE(caller.call(port()) || !handshakeDone);
            EXPECT_EQ(caller.answer(), -1); // the station hangs up without a byte
        };
    };
    const auto rawCall = [this](const QByteArray& bytes) {
        return [this, bytes] {
            QTcpSocket caller;
            caller.connectToHost(QHostAddress::LocalHost, port());
            ASSERT_TRUE(caller.waitForConnected(5000));
            caller.write(bytes);
            caller.waitForDisconnected(5000);
        };
    };
    const struct {
        const char* what;
        std::function<void()> call;
        const char* reason;
    } cases[] = {
        {"plain bytes", rawCall(kSendHeader), "TLS handshake failed: "},
        {"half a hello, then silence", rawCall("\x16\x03\x01\x02\x00\x01"),
         "the TLS handshake took longer than 0.5 s"},
        {"no certificate", tlsCall("", false), "peer did not return a certificate"},
        {"another authority", tlsCall("stranger", false),
         "the caller's certificate: unable to get local issuer certificate"},
        {"expired", tlsCall("expired", false), "the caller's certificate: certificate has expired"},
        {"revoked", tlsCall("revoked", false), "the caller's certificate: certificate revoked"},
        {"no restaurant number", tlsCall("named", false),
         "certificate common name \"abc123\" is not a six-digit restaurant number"},
        {"another restaurant",
         [this] {
             TlsCaller caller = restaurant("r124");
             ASSERT_TRUE(caller.call(port()));
             EXPECT_FALSE(caller.exchange(kSendHeader)); // no ACK, and hung up
         },
         "certificate of 000124 cannot call as 000123"},
    };
    std::size_t count = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.call();
        ASSERT_TRUE(endedAtLeast(++count));
        const CallSummary call = heard.ended().back();
        EXPECT_EQ(call.outcome, CallOutcome::Refused);
        EXPECT_TRUE(call.reason.contains(c.reason)) << call.reason.toStdString();
        EXPECT_TRUE(call.peer.startsWith("127.0.0.1:"));
    }
    // Failed handshakes and refused headers alike: the address is blocked at the eighth.
    TlsCaller blocked = restaurant("r123");
    EXPECT_FALSE(blocked.call(port()));

    ASSERT_TRUE(holder.exchange(BuildBlock(records(1, 'j')[0])) &&
                holder.exchange(BuildBlock(kEndMarker)));
    EXPECT_EQ(readAll(resto("itrfinv1")), fields(records(3, 'h') + records(1, 'j')));
}

// A caller that hangs up after any byte of its side of the handshake is refused (before the
// first byte it is a silent caller, as on a plain line); the station answers the next one.
TEST_F(TlsCallTest, AHandshakeCutAtEveryByteIsRefused) {
    TlsCaller whole = restaurant("r123");
    ASSERT_TRUE(whole.call(port()));
    const qint64 total = whole.handshakeBytes();
    whole.hangUp();
    ASSERT_TRUE(endedAtLeast(1));
    // A signature's length varies by a byte or two between handshakes: the last few offsets
    // could complete one.
    const qint64 cuts = total - 4;
    for (qint64 cut = 0; cut < cuts; ++cut) {
        TlsCaller caller = restaurant("r123");
        ASSERT_FALSE(caller.call(port(), cut)) << cut;
        if (cut % 16 == 15) { // at most 16 calls in progress: MaxCalls is never reached
            ASSERT_TRUE(endedAtLeast(static_cast<std::size_t>(cut) + 2)) << cut;
        }
    }
    ASSERT_TRUE(endedAtLeast(static_cast<std::size_t>(cuts) + 1));
    const std::vector<CallSummary> calls = heard.ended();
    std::size_t silent = 0; // the cut before the first byte; calls end in any order
    for (std::size_t i = 1; i < calls.size(); ++i) {
        if (calls[i].silent() && ++silent)
            continue;
        EXPECT_EQ(calls[i].outcome, CallOutcome::Refused) << i;
        EXPECT_EQ(calls[i].reason, "the caller hung up during the TLS handshake") << i;
    }
    EXPECT_EQ(silent, 1u);
    TlsCaller next = restaurant("r123");
    EXPECT_TRUE(next.call(port()) && next.exchange(kSendHeader));
}

// dialvane-site fetches and sends over TLS with the restaurant's certificate. What it sends may
// come from standard input; an empty or unreadable file never reaches the station, where it would
// replace the restaurant's file with nothing. A site with another restaurant's certificate, or one
// that cannot check the station's, gets nowhere and says why.
TEST_F(TlsCallTest, ASiteCallsWithItsRestaurantCertificate) {
    const QStringList as123{"--ca",  pki.cert("ca"),  "--cert",  pki.cert("r123"),
                            "--key", pki.key("r123"), "--resto", "000123"};
    writeFile(resto("trfloc"), asText(records(20, 'l')));
    writeFile(resto("trfbru2"), asText(records(30, 'b')));
    writeFile(resto("trfinv2"), asText(records(40, 'i')));
    const QString out = dir.filePath("fetched");
    const Ran fetched = site(as123 + QStringList{"--type", "2", "fetch", out});
    ASSERT_EQ(fetched.status, 0) << fetched.err.toStdString();
    EXPECT_EQ(readAll(out + "/trfloc"), fields(records(20, 'l'), "\r\n"));
    EXPECT_EQ(readAll(out + "/trfbru2"), fields(records(30, 'b'), "\r\n"));
    EXPECT_EQ(readAll(out + "/trfinv2"), fields(records(40, 'i'), "\r\n"));

    const QString empty = dir.filePath("empty.txt"), none = dir.filePath("none.txt");
    writeFile(empty, "");
    const QStringList as124{"--ca",  pki.cert("ca"),  "--cert",  pki.cert("r124"),
                            "--key", pki.key("r124"), "--resto", "000123"};
    const struct {
        QStringList arguments;
        int exitCode;
        QByteArray installed, said;
    } cases[] = {
        {as123 + QStringList{"send", "-"}, 0, fields({"first", "second"}), ""},
        {as123 + QStringList{"send", empty}, 2, "previous\r\n", "holds no record"},
        {as123 + QStringList{"send", none}, 2, "previous\r\n", "cannot read"},
        {as123 + QStringList{"--allow-empty", "send", empty}, 0, "", ""},
        {as124 + QStringList{"send", "-"}, 1, "previous\r\n", ""},
        {{"--resto", "000123", "send", "-"}, 2, "previous\r\n", "TLS handshake with 127.0.0.1:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        writeFile(resto("itrfinv1"), "previous\r\n");
        const Ran ran = site(c.arguments, "first\r\nsecond\n");
        EXPECT_EQ(ran.status, c.exitCode) << ran.err.toStdString();
        EXPECT_TRUE(ran.err.contains(c.said)) << ran.err.toStdString();
        EXPECT_EQ(readAll(resto("itrfinv1")), c.installed);
        EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
    }
    ASSERT_TRUE(endedAtLeast(5));
    EXPECT_EQ(heard.ended()[3].reason, "certificate of 000124 cannot call as 000123");
}

} // namespace
} // namespace dialvane::test
