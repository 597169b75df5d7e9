#include "link/LinkThread.h"

#include "link/CallPool.h"
#include "link/NetworkLine.h"
#include "link/SerialLine.h"

#include <QMutexLocker>

#include <climits>
#include <map>
#include <optional>

namespace dialvane {

namespace {

// The reports of every call of the line become the LinkThread's signals. All calls count and
// are journaled; the status window follows one call, the most recent, and when that one ends
// the most recent of those still running, shown as it stands. Reports come from the calls'
// own threads: each signal goes out under one lock, so receivers see them in a single order.
class CallReports {
public:
    explicit CallReports(LinkThread& owner) : owner_(owner) {}

    // An observer for one engine; its calls are told apart from those of other engines.
    std::unique_ptr<LinkObserver> observer(std::function<PortRequest()> port);
    LinkThread& owner() { return owner_; }

    void setCaption(int call, StatusLabel label, const QByteArray& text) {
        QMutexLocker lock(&mutex_);
        if (const auto shown = running_.find(call); shown != running_.end()) {
            // Kept as the window shows them: the blank between blocks does not replace a block.
            const bool between = text.isEmpty() || text == kDataIn || text == kDataOut;
            if (label != StatusLabel::Data || !between)
                shown->second.captions[label] = text;
            else if (!text.isEmpty())
                shown->second.direction = text;
        }
        if (call == followed_)
            emit owner_.statusCaption(label, text);
    }
    void progress(int call, const CallSummary& sofar) {
        QMutexLocker lock(&mutex_);
        if (const auto shown = running_.find(call); shown != running_.end())
            shown->second.progress = sofar;
        if (call == followed_)
            emit owner_.callProgress(sofar);
    }
    // Show, repaint, hide and a call's failure concern the window of the call followed.
    void forFollowed(int call, void (LinkThread::*signal)()) {
        QMutexLocker lock(&mutex_);
        if (call == followed_)
            emit(owner_.*signal)();
    }
    void failed(int call, const QString& reason) {
        QMutexLocker lock(&mutex_);
        if (call == followed_)
            emit owner_.callFailed(reason);
    }
    void started(int call) {
        QMutexLocker lock(&mutex_);
        running_[call] = Shown{};
        followed_ = call;
        emit owner_.callStarted();
        emit owner_.callsInProgress(static_cast<int>(running_.size()));
    }
    void ended(int call) {
        QMutexLocker lock(&mutex_);
        running_.erase(call);
        emit owner_.callEnded();
        emit owner_.callsInProgress(static_cast<int>(running_.size()));
        if (call != followed_)
            return;
        if (running_.empty()) {
            followed_ = kNone;
            emit owner_.statusHide();
            return;
        }
        followed_ = running_.rbegin()->first;
        replay(running_.rbegin()->second);
    }
    void always(const std::function<void()>& emitting) {
        QMutexLocker lock(&mutex_);
        emitting();
    }

private:
    struct Shown {
        std::map<StatusLabel, QByteArray> captions;
        QByteArray direction;
        std::optional<CallSummary> progress;
    };
    static constexpr int kNone = -1;

    void replay(const Shown& shown) {
        emit owner_.statusShow();
        for (const auto& [label, text] : shown.captions) {
            if (label == StatusLabel::Data && !shown.direction.isEmpty())
                emit owner_.statusCaption(label, shown.direction);
            emit owner_.statusCaption(label, text);
        }
        if (shown.progress)
            emit owner_.callProgress(*shown.progress);
    }

    LinkThread& owner_;
    QMutex mutex_;
    std::map<int, Shown> running_; // by engine, in the order they began their current call
    int followed_ = kNone;
    int engines_ = 0;
};

class CallReporter final : public LinkObserver {
public:
    CallReporter(CallReports& reports, int call, std::function<PortRequest()> port)
        : reports_(reports), call_(call), port_(std::move(port)) {}

    void setCaption(StatusLabel label, const QByteArray& text) override {
        reports_.setCaption(call_, label, text);
    }
    void showStatus() override { reports_.forFollowed(call_, &LinkThread::statusShow); }
    void repaintStatus() override { reports_.forFollowed(call_, &LinkThread::statusRepaint); }
    void hideStatus() override { reports_.forFollowed(call_, &LinkThread::statusHide); }
    void callFailed(const QString& reason) override { reports_.failed(call_, reason); }
    void callProgress(const CallSummary& sofar) override { reports_.progress(call_, sofar); }
    void callStarted() override { reports_.started(call_); }
    void callEnded() override { reports_.ended(call_); }
    void callSummary(const CallSummary& summary) override {
        CallSummary call = summary;
        const PortRequest port = port_();
        call.port = QStringLiteral("COM%1").arg(port.portNumber);
        call.device = port.device;
        reports_.always([&] { emit owner().callFinished(call); });
    }
    void unloadStatus() override {
        reports_.always([&] { emit owner().statusUnload(); });
    }
    void titleChanged(const QString& title) override {
        reports_.always([&] { emit owner().titleChanged(title); });
    }
    void lineNotice(const QString& text) override {
        reports_.always([&] { emit owner().lineNotice(text); });
    }

private:
    LinkThread& owner() { return reports_.owner(); }

    CallReports& reports_;
    int call_;
    std::function<PortRequest()> port_;
};

std::unique_ptr<LinkObserver> CallReports::observer(std::function<PortRequest()> port) {
    QMutexLocker lock(&mutex_);
    return std::make_unique<CallReporter>(*this, engines_++, std::move(port));
}

} // namespace

// The worker: the engine's line (it forwards to whichever port is open and stops the engine
// when a request is waiting) and the request loop. On a network line the engine only
// journals the callers turned away; a pool answers the calls.
class LinkThread::Worker final : public Line {
public:
    Worker(LinkThread& owner, LineFactory factory)
        : owner_(owner), factory_(std::move(factory)), reports_(owner),
          reporter_(reports_.observer([this] { return lastRequest_; })),
          engine_(*this, *reporter_, LinkConfig{}) {}

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
    std::vector<TurnedAway> takeTurnedAway() override {
        return line_ ? line_->takeTurnedAway() : std::vector<TurnedAway>();
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
            if (calls_)
                calls_->callsInProgress(); // lets the threads of ended calls go
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
        calls_.reset(); // its calls end as a hang-up would, before the port closes
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
            if (auto* network = dynamic_cast<NetworkLine*>(line_.get())) {
                calls_ = std::make_unique<CallPool>(port.config, port.portNumber, [this, port] {
                    return reports_.observer([port] { return port; });
                });
                network->setTaker(calls_.get());
            }
            engine_.setConfig(port.config);
            engine_.OpenPort(port.connection, port.speed, port.portNumber);
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
        calls_.reset();
        try {
            if (line_)
                line_->close();
        } catch (...) {
        }
        line_.reset();
    }

    LinkThread& owner_;
    LineFactory factory_;
    CallReports reports_;
    // The port last asked for (the worker thread's own).
    PortRequest lastRequest_;
    std::unique_ptr<LinkObserver> reporter_;
    std::unique_ptr<Line> line_;
    std::unique_ptr<CallPool> calls_; // the calls of a network line
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
    // The worker thread's own: the try still to come.
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
