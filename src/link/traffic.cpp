#include "link/traffic.h"

#include <algorithm>

TrafficLog::TrafficLog(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void TrafficLog::Record(Exchange exchange) {
    std::lock_guard lock(mutex_);
    exchange.sequence = nextSequence_++;
    ++totals_.exchanges;
    ++totals_.byOutcome[static_cast<std::size_t>(exchange.outcome)];
    if (!exchange.reply.empty()) {
        const int64_t rtt = exchange.roundTripUs;
        if (timedExchanges_ == 0 || rtt < totals_.minRoundTripUs) totals_.minRoundTripUs = rtt;
        if (timedExchanges_ == 0 || rtt > totals_.maxRoundTripUs) totals_.maxRoundTripUs = rtt;
        ++timedExchanges_;
        roundTripSumUs_ += rtt;
        totals_.meanRoundTripUs =
            static_cast<double>(roundTripSumUs_) / static_cast<double>(timedExchanges_);
    }
    if (ring_.size() < capacity_) {
        ring_.push_back(std::move(exchange));
    } else {
        ring_[first_] = std::move(exchange);
        first_ = (first_ + 1) % capacity_;
    }
}

std::vector<Exchange> TrafficLog::Since(uint64_t after, std::size_t max) const {
    std::lock_guard lock(mutex_);
    std::vector<Exchange> out;
    if (ring_.empty() || max == 0) return out;
    // Sequences in the ring are consecutive, so the first one wanted is found by arithmetic.
    const uint64_t oldest = ring_[first_].sequence;
    const uint64_t newest = nextSequence_ - 1;
    if (after >= newest) return out;
    const uint64_t from = std::max(after + 1, oldest);
    const std::size_t count = std::min<uint64_t>(newest - from + 1, max);
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(ring_[(first_ + (from - oldest) + i) % ring_.size()]);
    return out;
}

TrafficLog::Totals TrafficLog::totals() const {
    std::lock_guard lock(mutex_);
    return totals_;
}

uint64_t TrafficLog::lastSequence() const {
    std::lock_guard lock(mutex_);
    return nextSequence_ - 1;
}

std::size_t TrafficLog::size() const {
    std::lock_guard lock(mutex_);
    return ring_.size();
}

void TrafficLog::Clear() {
    std::lock_guard lock(mutex_);
    ring_.clear();
    first_ = 0;
    totals_ = Totals{};
    roundTripSumUs_ = 0;
    timedExchanges_ = 0;
}
