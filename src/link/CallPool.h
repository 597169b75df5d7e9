#pragma once
// The calls of a network line, each on a thread of its own with its own line, engine and call
// state: the exchange of each is byte for byte that of a single call, and one call's silences,
// re-sends or send delay never slow another. Two calls of one restaurant still exclude each
// other through the restaurant's lock (the later one ends busy).
//
// Every call is told in exactly one CallEnded, also one whose connection could not be taken
// into a socket (journaled as failed with the reason) or whose encryption failed (refused).

#include "link/CallThread.h"
#include "link/ConnectionLine.h"
#include "link/LinkEvents.h"
#include "link/NetworkLine.h"
#include "link/TransferLink.h"

#include <atomic>
#include <list>
#include <memory>

namespace dialvane {

class CallPool final : public CallTaker {
public:
    // The calls' events go to `events`, from the calls' own threads; a call that ends refused
    // is told to `defender` too.
    CallPool(LinkConfig config, int portNumber, LinkEventSink& events,
             std::shared_ptr<Defender> defender = nullptr);
    // Ends every call as a hang-up would and waits for their threads.
    ~CallPool() override;

    int callsInProgress() override;
    int callsFrom(const QHostAddress& address) override;
    void stopAll() override;
    bool take(qintptr descriptor, const QString& peer, const QHostAddress& from,
              std::uint64_t call) override;
    void setConfig(const LinkConfig& config) override { config_ = config; }
    void encrypt(std::shared_ptr<const TlsContext> tls) override { tls_ = std::move(tls); }

    // A call needs little stack: its engine keeps its buffers on the heap.
    static constexpr uint kStackBytes = 256 * 1024;

private:
    struct Call;
    void run(Call& call);
    void reap();

    LinkConfig config_;
    std::shared_ptr<const TlsContext> tls_; // for the calls taken from now on
    int portNumber_;
    LinkEventSink& events_;
    std::shared_ptr<Defender> defender_;
    std::list<std::unique_ptr<Call>> calls_;
    std::atomic<long> finished_{0}; // calls whose thread is done
    long reaped_ = 0;
};

} // namespace dialvane
