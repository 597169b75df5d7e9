#include "link/LinkThread.h"

#include "link/NetworkLine.h"
#include "link/SerialLine.h"

#include <QMutexLocker>

#include <climits>
#include <optional>

namespace dialvane {

QString deviceForPort(int portNumber, const QString& mapped) {
    if (!mapped.trimmed().isEmpty())
        return mapped.trimmed();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

std::unique_ptr<Line> makeRealLine(const PortRequest& request) {
    if (request.device.startsWith(QStringLiteral("tcp:")))
        return std::make_unique<NetworkLine>(request.portNumber, request.device,
                                             AllowList::parse(request.allowFrom));
    return std::make_unique<SerialLine>(request.portNumber, request.device);
}

// The worker: the engine's line (it forwards to whichever port is open and stops the engine
// when a request is waiting), the engine's observer (it turns reports into signals), and
// the request loop.
class LinkThread::Worker final : public Line, public LinkObserver {
public:
    Worker(LinkThread& owner, LineFactory factory)
        : owner_(owner), factory_(std::move(factory)), engine_(*this, *this, LinkConfig{}) {}

    void post(Request request) {
        QMutexLocker lock(&mutex_);
        queue_.push_back(std::move(request));
        ++posted_;
        pending_ = true;
        wake_.wakeAll();
    }

    void waitIdle() {
        QMutexLocker lock(&mutex_);
        const long target = posted_;
        while (done_ < target)
            idle_.wait(&mutex_);
    }

    void run() {
        for (;;) {
            std::optional<Request> request = next();
            if (!request) {
                try {
                    engine_.Serve();
                } catch (const std::exception& failure) {
                    // The line failed (a failure inside a call ends that call first): the port
                    // is closed, the operator told once, and the port tried again later.
                    emit owner_.lineFailed(describeFailure(failure));
                    engine_.ClosePort();
                    closeQuietly();
                    scheduleRetry();
                }
                continue;
            }
            const bool quit = request->kind == Request::Kind::Quit;
            handle(*request);
            if (request->kind != Request::Kind::Retry) { // a try is nobody's request
                QMutexLocker lock(&mutex_);
                ++done_;
                idle_.wakeAll();
            }
            if (quit)
                return;
        }
    }

    // ---- Line: the open port, or none --------------------------------------------------
    void open(const LineSettings& settings) override {
        if (!line_)
            throw LineError(QStringLiteral("No port to open."));
        line_->open(settings);
    }
    void close() override {
        if (line_)
            line_->close();
    }
    bool isOpen() const override { return line_ && line_->isOpen(); }
    bool hasModem() const override { return line_ && line_->hasModem(); }
    QString peerAddress() const override { return line_ ? line_->peerAddress() : QString(); }
    QStringList takeRefusedCallers() override {
        return line_ ? line_->takeRefusedCallers() : QStringList();
    }
    void Output(const QByteArray& bytes) override {
        if (line_)
            line_->Output(bytes);
    }
    QByteArray Input() override { return line_ ? line_->Input() : QByteArray(); }
    int InBufferCount() const override { return line_ ? line_->InBufferCount() : 0; }
    bool CDHolding() const override { return line_ && line_->CDHolding(); }
    void SetDTR(bool raised) override {
        if (line_)
            line_->SetDTR(raised);
    }
    void SetRTS(bool raised) override {
        if (line_)
            line_->SetRTS(raised);
    }
    Millis now() const override { return Millis(clock_.elapsed()); }
    Wake waitUntil(Millis deadline) override {
        // Slices keep a request from waiting longer than one poll of the port.
        for (;;) {
            beatWhenDue();
            if (pending_)
                return Wake::Stop;
            // A line that closed itself on a failure says why at its next wait.
            if (line_ && !line_->isOpen())
                line_->waitUntil(line_->now());
            if (!line_ || !line_->isOpen()) {
                QMutexLocker lock(&mutex_);
                if (!pending_)
                    wake_.wait(&mutex_, idleWaitMs());
                return Wake::Stop;
            }
            // The clock counts whole milliseconds: a wait ends only once the whole last
            // millisecond has passed, so a delay of 200 ms never lasts 199.x ms.
            const qint64 nowNs = clock_.nsecsElapsed();
            Millis left{50};
            if (deadline - Millis(nowNs / 1000000) < Millis(1000)) {
                const qint64 leftNs = (deadline.count() + 1) * 1000000 - nowNs;
                if (leftNs <= 0)
                    return Wake::Deadline;
                left = Millis((leftNs + 999999) / 1000000);
            }
            const Millis lineNow = line_->now();
            const Wake wake = line_->waitUntil(lineNow + std::min(left, Millis(50)));
            if (wake != Wake::Deadline)
                return wake;
        }
    }
    bool stopRequested() const override { return pending_; }

    // ---- LinkObserver: reports become signals -----------------------------------------
    void setCaption(StatusLabel label, const QByteArray& text) override {
        emit owner_.statusCaption(label, text);
    }
    void showStatus() override { emit owner_.statusShow(); }
    void repaintStatus() override { emit owner_.statusRepaint(); }
    void hideStatus() override { emit owner_.statusHide(); }
    void unloadStatus() override { emit owner_.statusUnload(); }
    void titleChanged(const QString& title) override { emit owner_.titleChanged(title); }
    void callFailed(const QString& reason) override { emit owner_.callFailed(reason); }
    void callStarted() override { emit owner_.callStarted(); }
    void callEnded() override { emit owner_.callEnded(); }
    void callProgress(const CallSummary& sofar) override { emit owner_.callProgress(sofar); }
    void callSummary(const CallSummary& summary) override {
        CallSummary call = summary;
        call.port = QStringLiteral("COM%1").arg(lastRequest_.portNumber);
        call.device = lastRequest_.device;
        emit owner_.callFinished(call);
    }
    void lineNotice(const QString& text) override { emit owner_.lineNotice(text); }

    void setHeartbeat(std::function<void()> beat, Millis interval) {
        QMutexLocker lock(&mutex_);
        beat_ = std::move(beat);
        beatInterval_ = interval;
        wake_.wakeAll();
    }

private:
    std::optional<Request> next() {
        QMutexLocker lock(&mutex_);
        // With no open port there is nothing to serve: sleep until a request comes, waking
        // only to feed the heartbeat or to try a failed port again.
        while (queue_.empty() && !isOpen()) {
            if (retryDue())
                return Request{Request::Kind::Retry, *retry_};
            wake_.wait(&mutex_, std::min(idleWaitMs(), retryWaitMs()));
            if (queue_.empty()) {
                lock.unlock();
                beatWhenDue();
                lock.relock();
            }
        }
        if (queue_.empty())
            return std::nullopt;
        Request request = std::move(queue_.front());
        queue_.pop_front();
        pending_ = !queue_.empty();
        return request;
    }

    void handle(const Request& request) {
        const bool retry = request.kind == Request::Kind::Retry;
        retry_.reset(); // a request of the owner replaces any try still to come
        engine_.ClosePort();
        line_.reset();
        if (request.kind != Request::Kind::Reopen && !retry)
            return;
        const PortRequest& port = request.port;
        lastRequest_ = port;
        QString failure;
        try {
            line_ = factory_(port);
            if (auto* serial = dynamic_cast<SerialLine*>(line_.get()))
                serial->onWarning([this](const QString& text) { emit owner_.lineWarning(text); });
            engine_.setConfig(port.config);
            engine_.OpenPort(port.connectionLetter, port.speed, port.portNumber);
        } catch (const std::exception& error) {
            failure = describeFailure(error);
        }
        if (!failure.isEmpty()) {
            closeQuietly();
            // Said once: the tries that follow fail quietly until one works.
            if (!retry)
                emit owner_.openFailed(failure);
            scheduleRetry();
            return;
        }
        emit owner_.portOpened();
        if (retry)
            emit owner_.lineRestored(
                QStringLiteral("COM%1 (%2) opened again").arg(port.portNumber).arg(port.device));
    }

    // ---- Trying a failed port again -------------------------------------------------------
    void scheduleRetry() {
        if (lastRequest_.reopenInterval <= Millis(0))
            return;
        retry_ = lastRequest_;
        retryClock_.start();
    }
    bool retryDue() const {
        return retry_ && retryClock_.elapsed() >= retry_->reopenInterval.count();
    }
    unsigned long retryWaitMs() const {
        if (!retry_)
            return ULONG_MAX;
        return static_cast<unsigned long>(
            std::max<qint64>(0, retry_->reopenInterval.count() - retryClock_.elapsed()));
    }

    unsigned long idleWaitMs() const {
        return beat_ ? static_cast<unsigned long>(beatInterval_.count()) : ULONG_MAX;
    }

    void beatWhenDue() {
        std::function<void()> beat;
        {
            QMutexLocker lock(&mutex_);
            if (!beat_ || (beaten_.isValid() && beaten_.elapsed() < beatInterval_.count()))
                return;
            beaten_.start();
            beat = beat_;
        }
        beat();
    }

    void closeQuietly() {
        try {
            if (line_)
                line_->close();
        } catch (...) {
        }
        line_.reset();
    }

    LinkThread& owner_;
    LineFactory factory_;
    std::unique_ptr<Line> line_;
    TransferLink engine_;
    QElapsedTimer clock_ = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    QMutex mutex_;
    QWaitCondition wake_;
    QWaitCondition idle_;
    std::deque<Request> queue_;
    std::atomic<bool> pending_{false};
    long posted_ = 0;
    long done_ = 0;
    // The worker thread's own: the port last asked for, and the try still to come.
    PortRequest lastRequest_;
    std::optional<PortRequest> retry_;
    QElapsedTimer retryClock_;
    std::function<void()> beat_;
    Millis beatInterval_{0};
    QElapsedTimer beaten_;
};

LinkThread::LinkThread(LineFactory factory, QObject* parent)
    : QObject(parent), worker_(std::make_unique<Worker>(*this, std::move(factory))) {
    qRegisterMetaType<StatusLabel>("dialvane::StatusLabel");
    qRegisterMetaType<CallSummary>("dialvane::CallSummary");
    thread_.reset(QThread::create([this] { worker_->run(); }));
    thread_->setObjectName(QStringLiteral("link"));
    thread_->start();
}

LinkThread::~LinkThread() {
    post({Request::Kind::Quit, {}});
    thread_->wait();
}

void LinkThread::reopen(const PortRequest& request) {
    post({Request::Kind::Reopen, request});
}

void LinkThread::close() {
    post({Request::Kind::Close, {}});
}

void LinkThread::waitIdle() {
    worker_->waitIdle();
}

void LinkThread::setHeartbeat(std::function<void()> beat, Millis interval) {
    worker_->setHeartbeat(std::move(beat), interval);
}

void LinkThread::post(Request request) {
    worker_->post(std::move(request));
}

} // namespace dialvane
