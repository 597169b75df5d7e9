#include "http/HttpEndpoint.h"

#include "link/AllowList.h"
#include "link/LinkThread.h"
#include "link/PortAddress.h"
#include "station/Station.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

namespace dialvane {

// Accepts connections for the HTTP server with the endpoint's bounds: the allow list, the
// number of connections, the read buffer and the idle time. A connection that breaks a bound
// is dropped before the server sees a byte of it, or closed where it stands.
class GuardedTcpServer : public QTcpServer {
public:
    GuardedTcpServer(const HttpLimits& limits, QObject* parent)
        : QTcpServer(parent), limits_(limits) {}

    void setAllowList(AllowList allowed) { allowed_ = std::move(allowed); }

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (open_ >= limits_.connections || !allowed_.allows(socket->peerAddress())) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        socket->setReadBufferSize(limits_.readBuffer);
        // The server may drop its own connections to a socket it gave up on; the idle timer,
        // a child of the socket, still closes and deletes it.
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        const auto active = [idle, this] { idle->start(limits_.idle); };
        connect(socket, &QTcpSocket::readyRead, idle, active);
        connect(socket, &QTcpSocket::bytesWritten, idle, active);
        idle->start(limits_.idle);
        addPendingConnection(socket);
    }

private:
    const HttpLimits& limits_;
    AllowList allowed_;
    int open_ = 0;
};

class WatchServer : public QAbstractHttpServer {
public:
    explicit WatchServer(HttpEndpoint& endpoint) : endpoint_(endpoint) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        using Status = QHttpServerResponder::StatusCode;
        using Method = QHttpServerRequest::Method;
        QHttpServerResponder responder = makeResponder(request, socket);
        const bool head = request.method() == Method::Head;
        if (request.method() != Method::Get && !head) {
            reply(responder, Status::MethodNotAllowed, "text/plain; charset=utf-8",
                  "GET and HEAD only\n", false, "GET, HEAD");
            return true;
        }
        const QString path = request.url().path(QUrl::FullyEncoded);
        const QDateTime now = endpoint_.clock_.localTime();
        StationWatch& watch = endpoint_.watch_;
        if (path == QLatin1String("/metrics")) {
            reply(responder, Status::Ok, "text/plain; version=0.0.4; charset=utf-8",
                  watch.metrics(now), head);
        } else if (path == QLatin1String("/healthz")) {
            reply(responder, watch.portUp() ? Status::Ok : Status::ServiceUnavailable,
                  "text/plain; charset=utf-8", watch.portState().toUtf8() + '\n', head);
        } else if (path == QLatin1String("/")) {
            reply(responder, Status::Ok, "text/html; charset=utf-8", watch.page(now), head);
        } else if (path == QLatin1String("/calls.csv")) {
            int status = 200;
            const QByteArray body = endpoint_.journalMonth(
                QUrlQuery(request.url()).queryItemValue(QStringLiteral("month")), &status);
            if (status == 200)
                reply(responder, Status::Ok, "text/csv; charset=utf-8", body, head);
            else
                reply(responder, status == 400 ? Status::BadRequest : Status::NotFound,
                      "text/plain; charset=utf-8", body, head);
        } else {
            reply(responder, Status::NotFound, "text/plain; charset=utf-8", "not found\n", head);
        }
        return true;
    }

    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        QHttpServerResponder responder = makeResponder(request, socket);
        reply(responder, QHttpServerResponder::StatusCode::NotFound, "text/plain", "not found\n",
              false);
    }

private:
    static void reply(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status,
                      const QByteArray& type, const QByteArray& body, bool head,
                      const QByteArray& allow = {}) {
        responder.writeStatusLine(status);
        responder.writeHeader("Content-Type", type);
        responder.writeHeader("Content-Length", QByteArray::number(body.size()));
        responder.writeHeader("Cache-Control", "no-store");
        responder.writeHeader("X-Content-Type-Options", "nosniff");
        if (!allow.isEmpty())
            responder.writeHeader("Allow", allow);
        // A HEAD answer ends with its headers: the body is left out, its length stays.
        responder.writeBody(head ? QByteArray() : body);
    }

    HttpEndpoint& endpoint_;
};

HttpEndpoint::HttpEndpoint(Station& station, const Clock& clock, HttpLimits limits, QObject* parent)
    : QObject(parent), station_(station), clock_(clock), limits_(limits) {
    connect(&station.link(), &LinkThread::event, this, &HttpEndpoint::heard);
    connect(&station, &Station::callRecorded, this,
            [this](const journal::Entry& call) { watch_.recorded(call); });
    connect(&station.hooks(), &HookQueue::finished, this, [this, &station](const HookRun& run) {
        watch_.hookFinished(run);
        watch_.setHooksPending(station.hooks().pending());
    });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &HttpEndpoint::tryListen);
    refresh_.setTimerType(Qt::VeryCoarseTimer);
    connect(&refresh_, &QTimer::timeout, this, [this] { watch_.refreshRestaurants(); });
}

HttpEndpoint::~HttpEndpoint() = default;

quint16 HttpEndpoint::port() const {
    return tcp_ && tcp_->isListening() ? tcp_->serverPort() : 0;
}

void HttpEndpoint::heard(const LinkEvent& event) {
    watch_.heard(event);
    // Every start, Save and reload opens the port: the configuration it opens with is the
    // one to serve.
    if (event.kind == LinkEvent::Kind::PortOpening)
        configure();
    watch_.setHooksPending(station_.hooks().pending());
}

void HttpEndpoint::configure() {
    const Configuration& config = station_.configuration();
    const QString seedKey =
        QStringList{config.LogFolder, config.BackroomFolder, QString::number(config.OverdueDays)}
            .join(QLatin1Char('\n'));
    if (config.HttpListen.isEmpty()) {
        disconnect(blocks_);
        server_.reset();
        tcp_ = nullptr;
        retry_.stop();
        refresh_.stop();
        listen_.clear();
        return;
    }
    if (!blocks_)
        blocks_ = connect(&station_.link(), &LinkThread::blockMoved, this,
                          [this](const LinkEvent& event) { watch_.heard(event); });
    if (seedKey != seededFor_) {
        seededFor_ = seedKey;
        WatchSettings settings = watch_.settings();
        settings.logFolder = config.LogFolder;
        settings.backroomFolder = config.BackroomFolder;
        settings.overdueDays = config.OverdueDays;
        for (const QString& text : watch_.seed(settings, clock_.localTime()))
            emit problem(text);
        refresh_.start(limits_.refresh);
    }
    if (config.HttpListen == listen_ && config.HttpAllowFrom == allowFrom_ && server_)
        return;
    listen_ = config.HttpListen;
    allowFrom_ = config.HttpAllowFrom;
    lastFailure_.clear();
    server_ = std::make_unique<WatchServer>(*this);
    tcp_ = new GuardedTcpServer(limits_, server_.get());
    // A burst of connections waits in the system's queue rather than being retried by their
    // clients seconds later: those over the limit are then turned away at once.
    tcp_->setListenBacklogSize(1024);
    tcp_->setAllowList(AllowList::parse(allowFrom_));
    tryListen();
}

void HttpEndpoint::tryListen() {
    if (!tcp_)
        return;
    const QString failure = listenOn(*tcp_, parsePortValue(QStringLiteral("tcp:") + listen_));
    if (failure.isEmpty()) {
        server_->bind(tcp_);
        emit notice(QStringLiteral("HTTP endpoint listening on %1").arg(listen_));
        lastFailure_.clear();
        emit listening(tcp_->serverPort());
        return;
    }
    if (failure != lastFailure_) {
        lastFailure_ = failure;
        emit problem(QStringLiteral("HTTP endpoint [Http] Listen=%1: %2; trying again every %3 s")
                         .arg(listen_, failure)
                         .arg(station_.configuration().ReopenSeconds));
    }
    retry_.start(std::chrono::seconds(std::max<int>(1, station_.configuration().ReopenSeconds)));
}

QByteArray HttpEndpoint::journalMonth(const QString& month, int* status) const {
    static const QRegularExpression sixDigits(QStringLiteral("^\\d{6}$"));
    const QDate first = QDate::fromString(month + QStringLiteral("01"), QStringLiteral("yyyyMMdd"));
    if (!sixDigits.match(month).hasMatch() || !first.isValid()) {
        *status = 400;
        return "month=yyyyMM wanted\n";
    }
    // Only a file the journal itself lists: the month never becomes a path.
    for (const journal::JournalFile& file :
         journal::journalFiles(station_.configuration().LogFolder)) {
        if (file.month != first)
            continue;
        QFile in(file.path);
        if (in.open(QIODevice::ReadOnly)) {
            *status = 200;
            return in.readAll();
        }
    }
    *status = 404;
    return "no journal for that month\n";
}

void attachHttpEndpoint(Station& station) {
    auto* endpoint = new HttpEndpoint(station, systemClock(), {}, &station);
    QObject::connect(endpoint, &HttpEndpoint::problem, &station, &Station::problem);
    QObject::connect(endpoint, &HttpEndpoint::notice, &station, &Station::notice);
}

} // namespace dialvane
