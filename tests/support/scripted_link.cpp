#include "scripted_link.h"

void ScriptedLink::QueueReply(std::vector<uint8_t> reply) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(reply));
}

void ScriptedLink::QueueSilence() {
    QueueReply({});
}

void ScriptedLink::QueueFailure() {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::nullopt);
}

void ScriptedLink::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void ScriptedLink::SetOpen(bool open) {
    std::lock_guard lock(mutex_);
    open_ = open;
}

bool ScriptedLink::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

std::vector<ScriptedLink::Exchange> ScriptedLink::Exchanges() const {
    std::lock_guard lock(mutex_);
    return exchanges_;
}

std::size_t ScriptedLink::ExchangeCount() const {
    std::lock_guard lock(mutex_);
    return exchanges_.size();
}

std::vector<uint8_t> ScriptedLink::LastRequest() const {
    std::lock_guard lock(mutex_);
    return exchanges_.empty() ? std::vector<uint8_t>{} : exchanges_.back().request;
}

TransactParams ScriptedLink::LastParams() const {
    std::lock_guard lock(mutex_);
    return exchanges_.empty() ? TransactParams{} : exchanges_.back().params;
}

void ScriptedLink::ClearExchanges() {
    std::lock_guard lock(mutex_);
    exchanges_.clear();
}

std::size_t ScriptedLink::PendingReplies() const {
    std::lock_guard lock(mutex_);
    return replies_.size();
}

std::optional<std::vector<uint8_t>> ScriptedLink::Transact(const std::vector<uint8_t>& request,
                                                           const TransactParams& params) {
    Responder responder;
    std::optional<std::vector<uint8_t>> reply;
    {
        std::lock_guard lock(mutex_);
        if (!open_) return std::nullopt;
        exchanges_.push_back({request, params});
        if (!replies_.empty()) {
            reply = std::move(replies_.front());
            replies_.pop_front();
            if (!reply) return std::nullopt;
        } else if (responder_) {
            responder = responder_;
        } else {
            reply = std::vector<uint8_t>{};
        }
    }
    // The responder runs unlocked so that it may inspect the link itself.
    if (responder) {
        reply = responder(request, params);
        if (!reply) return std::nullopt;
    }
    if (params.readSize >= 0 && reply->size() > static_cast<std::size_t>(params.readSize))
        reply->resize(static_cast<std::size_t>(params.readSize));
    return reply;
}
