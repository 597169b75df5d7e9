// The HTTP endpoint in process, on loopback: /metrics read as Prometheus text and checked
// against the journal it was seeded from, then the requests a client should not be able to
// hurt it with.
#include "http/HttpEndpoint.h"

#include "journal/Journal.h"
#include "link/LinkThread.h"
#include "settings/INIFunctions.h"
#include "station/Station.h"
#include "support/MemoryRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include <sys/resource.h>

namespace dialvane {
namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Response {
    int status = 0; // 0: the connection closed without an answer
    std::map<QByteArray, QByteArray> headers;
    QByteArray body;
    bool closed = false;
};

// Sends `request` as it stands and reads until the endpoint closes the connection (every request
// asks it to), or the time is up: what came is judged either way.
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
    const QList<QByteArray> lines = bytes.left(end).split('\n');
    response.status = lines.value(0).split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        response.headers[lines[i].left(colon).trimmed().toLower()] =
            lines[i].mid(colon + 1).trimmed();
    }
    response.body = bytes.mid(end + 4);
    return response;
}

QByteArray get(const QByteArray& target, const QByteArray& method = "GET") {
    return method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

// The text format as Prometheus reads it: every line a comment or a sample; samples of a
// family after its TYPE; names and labels well formed; no series twice. Returns the samples
// by "name{labels}", and a failure for the first line that breaks a rule.
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
        if (line.startsWith(QLatin1String("# HELP ")) || line.startsWith(QLatin1String("#")))
            continue;
        const auto m = sampleLine.match(line);
        if (!m.hasMatch())
            return testing::AssertionFailure() << "bad sample: " << raw.toStdString();
        if (!types.count(m.captured(1)))
            return testing::AssertionFailure() << "sample before its TYPE: " << raw.toStdString();
        if (types[m.captured(1)] == QLatin1String("counter") && !m.captured(1).endsWith("_total"))
            return testing::AssertionFailure() << "counter not named _total: " << raw.toStdString();
        const QString series = m.captured(1) + m.captured(2);
        if (samples.count(series))
            return testing::AssertionFailure() << "series twice: " << raw.toStdString();
        samples[series] = m.captured(3).toDouble();
    }
    return testing::AssertionSuccess();
}

class HttpEndpointTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString backroom = dir.filePath("Backroom/"), logs = dir.filePath("Logs/");
        for (const char* resto : {"000123", "000456"}) {
            QDir().mkpath(backroom + resto);
            ASSERT_TRUE(QFile(backroom + resto + "/trfbru1").open(QIODevice::WriteOnly));
        }
        QDir().mkpath(logs);
        // This month's journal: two completed receives of 000123 and a failed fetch on COM1,
        // one call of another station's line, and last year's call.
        const QDateTime now = QDateTime::currentDateTime();
        const auto row = [&](const QDateTime& start, const char* port, const char* resto,
                             const char* transaction, const char* direction, int records,
                             const char* outcome) {
            journal::Entry e;
            e.start = start;
            e.port = port;
            e.restaurant = resto;
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

        httpPort = freePort();
        const QString ini = dir.filePath("Dialvane.ini");
        WritePrivateProfileString("Path", "BackroomPath", backroom, ini);
        WritePrivateProfileString("Path", "LogPath", logs, ini);
        WritePrivateProfileString("Ports", "COM1", QString("tcp:127.0.0.1:%1").arg(freePort()),
                                  ini);
        WritePrivateProfileString("Http", "Listen", QString("127.0.0.1:%1").arg(httpPort), ini);
        link = std::make_unique<LinkThread>();
        StationContext context;
        context.programFolder = dir.path();
        context.link = link.get();
        context.registry = &registry;
        station = std::make_unique<Station>(context);
        HttpLimits limits;
        limits.idle = std::chrono::milliseconds(300);
        endpoint = std::make_unique<HttpEndpoint>(*station, systemClock(), limits);
        station->start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return endpoint->port() == httpPort; }, 10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return endpoint->watch().portUp(); }, 10000));
    }

    QTemporaryDir dir;
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
    EXPECT_TRUE(r.headers.at("content-type").startsWith("text/plain; version=0.0.4"));
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

    // HEAD: the same headers, no body.
    const Response head = exchange(httpPort, get("/metrics", "HEAD"));
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.isEmpty());
    EXPECT_GT(head.headers.at("content-length").toInt(), 0);
}

TEST_F(HttpEndpointTest, BadRequestsAreAnsweredOrClosedAndTheEndpointGoesOn) {
    const QByteArray month = QDate::currentDate().toString("yyyyMM").toUtf8();
    struct Row {
        const char* name;
        QByteArray request;
        int status; // 0: closed without an answer
    };
    const Row rows[] = {
        {"health", get("/healthz"), 200},
        {"POST",
         "POST /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 3\r\n\r\nabc",
         405},
        {"DELETE", get("/", "DELETE"), 405},
        {"unknown path", get("/status"), 404},
        {"encoded separators", get("/%2e%2e%2fDialvane.ini"), 404},
        {"journal of a month", get("/calls.csv?month=" + month), 200},
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
    EXPECT_TRUE(journal.body.startsWith(journal::headerLine().trimmed()));

    // A thousand connections that say nothing are closed once idle; the endpoint answers on.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
    setrlimit(RLIMIT_NOFILE, &files);
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 1000; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, httpPort);
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
