// The HTTP endpoint in process, on loopback: /metrics read as Prometheus text and checked
// against the journal it was seeded from, then the requests a client should not hurt it with.
#include "http/HttpEndpoint.h"

#include "journal/Journal.h"
#include "link/LinkThread.h"
#include "settings/INIFunctions.h"
#include "station/Station.h"
#include "support/CallFixtures.h"
#include "support/MemoryRegistry.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <map>
#include <memory>

namespace dialvane {
namespace {

struct Response {
    int status = 0;        // 0: the connection closed without an answer
    QByteArray head, body; // the status line and headers; what follows them
    bool closed = false;
};

// Sends `request` and reads until the endpoint closes the connection or the time is up.
Response exchange(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    Response response;
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 10000))
        return response;
    socket.write(request);
    QByteArray bytes;
    response.closed = QTest::qWaitFor(
        [&] {
            bytes += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        5000);
    bytes += socket.readAll();
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return response;
    response.head = bytes.left(end);
    response.status = response.head.split(' ').value(1).toInt();
    response.body = bytes.mid(end + 4);
    return response;
}

QByteArray get(const QByteArray& target, const QByteArray& method = "GET") {
    return method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

// The text format as Prometheus reads it: comments and samples, each sample after its family's
// TYPE, well formed and not twice. The samples by "name{labels}", or the first bad line.
testing::AssertionResult parsePrometheus(const QByteArray& text,
                                         std::map<QString, double>& samples) {
    static const QRegularExpression sampleLine(QStringLiteral(
        R"(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{(?:[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\[\\"n])*"(?:,[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\[\\"n])*")*)?\})? (-?[0-9.eE+]+|NaN|[+-]Inf)$)"));
    static const QRegularExpression typeLine(QStringLiteral(
        R"(^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram|summary|untyped)$)"));
    std::map<QString, QString> types;
    if (!text.endsWith('\n'))
        return testing::AssertionFailure() << "no final line feed";
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("# TYPE"))) {
            const auto m = typeLine.match(line);
            if (!m.hasMatch() || types.count(m.captured(1)))
                return testing::AssertionFailure() << "bad TYPE: " << raw.toStdString();
            types[m.captured(1)] = m.captured(2);
            continue;
        }
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const auto m = sampleLine.match(line);
        const QString name = m.captured(1), series = name + m.captured(2);
        if (!m.hasMatch() || !types.count(name) || samples.count(series) ||
            (types[name] == QLatin1String("counter") && !name.endsWith("_total")))
            return testing::AssertionFailure() << "bad sample: " << raw.toStdString();
        samples[series] = m.captured(3).toDouble();
    }
    return testing::AssertionSuccess();
}

class HttpEndpointTest : public test::BackroomTest {
protected:
    void SetUp() override {
        BackroomTest::SetUp();
        QDir().mkpath(backroom + "000456");
        test::writeFile(resto("trfbru1"), {});
        test::writeFile(backroom + "000456/trfbru1", {});
        // This month: two receives of 000123 and a failed fetch on COM1, a COM2 call; last year's.
        const QDateTime now = QDateTime::currentDateTime();
        const auto row = [&](const QDateTime& start, const char* port, const char* restaurant,
                             const char* transaction, const char* direction, int records,
                             const char* outcome) {
            journal::Entry e;
            e.start = start;
            e.port = port;
            e.restaurant = restaurant;
            e.transaction = transaction;
            e.type = "1";
            e.direction = direction;
            e.records = records;
            e.bytes = records * 126;
            e.outcome = outcome;
            journal::append(logs, e);
        };
        const QDateTime monthStart(QDate(now.date().year(), now.date().month(), 1), QTime(0, 0, 1));
        // Within the month and within OverdueDays, whatever the day.
        const QDateTime recent = std::max(monthStart, now.addSecs(-60));
        row(monthStart, "COM1", "000123", "S", "receive", 10, "completed");
        row(recent, "COM1", "000123", "S", "receive", 5, "completed");
        row(recent, "COM1", "000456", "X", "send", 2, "failed");
        row(recent, "COM2", "000456", "S", "receive", 7, "completed");
        row(monthStart.addYears(-1), "COM1", "000456", "S", "receive", 9, "completed");
        lastReceive = recent;

        httpPort = test::freePort();
        const QString ini = dir.filePath("Dialvane.ini");
        WritePrivateProfileString("Path", "BackroomPath", backroom, ini);
        WritePrivateProfileString("Path", "LogPath", logs, ini);
        WritePrivateProfileString("Ports", "COM1",
                                  QString("tcp:127.0.0.1:%1").arg(test::freePort()), ini);
        WritePrivateProfileString("Http", "Listen", QString("127.0.0.1:%1").arg(httpPort), ini);
        link = std::make_unique<LinkThread>();
        station = std::make_unique<Station>(
            StationContext{.programFolder = dir.path(), .link = link.get(), .registry = &registry});
        endpoint = std::make_unique<HttpEndpoint>(
            *station, systemClock(), HttpLimits{.idle = std::chrono::milliseconds(300)});
        station->start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return endpoint->port() == httpPort; }, 10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return endpoint->watch().portUp(); }, 10000));
    }

    test::MemoryRegistry registry;
    std::unique_ptr<LinkThread> link;
    std::unique_ptr<Station> station;
    std::unique_ptr<HttpEndpoint> endpoint;
    quint16 httpPort = 0;
    QDateTime lastReceive;
};

TEST_F(HttpEndpointTest, MetricsAreValidPrometheusTextSeededFromTheMonthsJournal) {
    const Response r = exchange(httpPort, get("/metrics"));
    ASSERT_EQ(r.status, 200);
    EXPECT_TRUE(r.head.contains("\r\nContent-Type: text/plain; version=0.0.4")) << r.head.data();
    std::map<QString, double> m;
    ASSERT_TRUE(parsePrometheus(r.body, m)) << r.body.toStdString();
    const std::map<QString, double> expected = {
        {R"(dialvane_calls_total{line="COM1",outcome="completed"})", 2},
        {R"(dialvane_calls_total{line="COM1",outcome="failed"})", 1},
        {R"(dialvane_calls_total{line="COM1",outcome="busy"})", 0},
        {R"(dialvane_records_total{line="COM1",direction="receive"})", 15},
        {R"(dialvane_records_total{line="COM1",direction="send"})", 2},
        {R"(dialvane_bytes_total{line="COM1",direction="receive"})", 15 * 126},
        {R"(dialvane_calls_in_progress{line="COM1"})", 0},
        {R"(dialvane_port_up{line="COM1"})", 1},
        {R"(dialvane_last_receive_timestamp_seconds{restaurant="000123"})",
         static_cast<double>(lastReceive.toSecsSinceEpoch())},
        // 000456 received only on another line this month: not overdue; none is.
        {R"(dialvane_overdue_restaurants)", 0},
        {R"(dialvane_hooks_total{hook="OnReceived",result="failed"})", 0},
    };
    for (const auto& [series, value] : expected) {
        ASSERT_TRUE(m.count(series)) << series.toStdString();
        EXPECT_EQ(m[series], value) << series.toStdString();
    }
    EXPECT_FALSE(m.count(R"(dialvane_calls_total{line="COM2",outcome="completed"})"));

    const Response head = exchange(httpPort, get("/metrics", "HEAD"));
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.isEmpty());
    EXPECT_TRUE(head.head.contains("\r\nContent-Length: ") &&
                !head.head.contains("\r\nContent-Length: 0"))
        << head.head.data();
}

TEST_F(HttpEndpointTest, BadRequestsAreAnsweredOrClosedAndTheEndpointGoesOn) {
    const QByteArray month = QDate::currentDate().toString("yyyyMM").toUtf8();
    struct Row {
        const char* name;
        QByteArray request;
        int status; // 0: closed without an answer
    };
    const Row rows[] = {
        {"DELETE", get("/", "DELETE"), 405},
        {"unknown path", get("/status"), 404},
        {"month without a journal", get("/calls.csv?month=199901"), 404},
        {"month that is a path", get("/calls.csv?month=../../etc/passwd"), 400},
        {"query flood", get("/?" + QByteArray("a=1&").repeated(2000)), 200},
        {"no HTTP at all", QByteArray("\x01\x02\xff garbage\r\n\r\n"), 0},
        {"a header of a megabyte",
         "GET / HTTP/1.1\r\nX-Big: " + QByteArray(1024 * 1024, 'a') + "\r\n\r\n", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Response r = exchange(httpPort, row.request);
        EXPECT_EQ(r.status, row.status) << r.body.toStdString();
        EXPECT_TRUE(row.status != 0 || r.closed);
    }
    const Response journal = exchange(httpPort, get("/calls.csv?month=" + month));
    EXPECT_TRUE(journal.status == 200 && journal.body.startsWith(journal::headerLine().trimmed()));

    // A thousand connections that say nothing are closed once idle; the endpoint answers on.
    std::vector<std::unique_ptr<QTcpSocket>> idle(1000);
    for (auto& socket : idle) {
        socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, httpPort);
    }
    const auto open = [&] {
        return std::count_if(idle.begin(), idle.end(), [](const auto& s) {
            return s->state() != QAbstractSocket::UnconnectedState;
        });
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return open() == 0; }, 30000)) << open() << " left open";
    EXPECT_EQ(exchange(httpPort, get("/healthz")).status, 200);
}

} // namespace
} // namespace dialvane
