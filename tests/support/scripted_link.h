#pragma once
// A Link for tests: records every request with its timeouts and answers from a queue of scripted
// replies or from a responder callback. Any thread may call any member (one mutex guards all).

#include "link/link.h"

#include <deque>
#include <functional>
#include <mutex>

class ScriptedLink : public Link {
public:
    struct Exchange {
        std::vector<uint8_t> request;
        TransactParams params;
    };
    // Returns the reply to a request; nullopt plays a failed exchange.
    using Responder = std::function<std::optional<std::vector<uint8_t>>(
        const std::vector<uint8_t>& request, const TransactParams& params)>;

    // The next exchange gets these bytes (cut at the read size, as the real port does).
    void QueueReply(std::vector<uint8_t> reply);
    // The next exchange hears nothing (an empty reply).
    void QueueSilence();
    // The next exchange fails (write or read failure).
    void QueueFailure();
    // Answers exchanges once the queue is empty; without it an empty queue means silence.
    void SetResponder(Responder responder);

    void SetOpen(bool open);
    bool IsOpen() const override;

    // Requests sent so far (a closed link sends nothing and records nothing).
    std::vector<Exchange> Exchanges() const;
    std::size_t ExchangeCount() const;
    std::vector<uint8_t> LastRequest() const;
    TransactParams LastParams() const;
    void ClearExchanges();
    // Scripted replies not yet used.
    std::size_t PendingReplies() const;

    std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                 const TransactParams& params) override;

private:
    mutable std::mutex mutex_;
    bool open_ = true;
    std::deque<std::optional<std::vector<uint8_t>>> replies_;
    Responder responder_;
    std::vector<Exchange> exchanges_;
};
