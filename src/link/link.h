#pragma once
// The line to the module as the transactions see it: one request out, the bytes that came back.
// SerialLink is the real port; ScriptedLink answers from a script in tests.

#include "link/framing.h"

#include <cstdint>
#include <optional>
#include <vector>

// Timeouts of one exchange. The write may take writeMultiplierMs * request bytes +
// writeConstantMs; after pauseMs the read lasts until readSize bytes have arrived or
// readMultiplierMs * readSize + readConstantMs have passed, whichever comes first. With
// endAtFrame (fast polling) it also ends as soon as the reply is complete by its protocol's
// framing; the window stays the upper bound.
struct TransactParams {
    int writeMultiplierMs = 0;
    int writeConstantMs = 0;
    int readSize = 0;
    int readMultiplierMs = 0;
    int readConstantMs = 0;
    int pauseMs = 0;
    // The protocol of the exchange: the reply's framing, and how the traffic monitor decodes it.
    WireProtocol protocol = WireProtocol::Unknown;
    // The whole reply's length where its framing carries none (大唐), 0 when unknown.
    int replyLength = 0;
    bool endAtFrame = false;

    int ReadWindowMs() const { return readMultiplierMs * readSize + readConstantMs; }
    bool operator==(const TransactParams&) const = default;
};

class TrafficLog;

class Link {
public:
    virtual ~Link() = default;
    // nullopt: the link is closed, or the write or the read failed; nothing to judge. Otherwise the
    // bytes that arrived within the read window, at most readSize of them, possibly none.
    virtual std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                         const TransactParams& params) = 0;
    virtual bool IsOpen() const = 0;
    // Where the link records every exchange for the traffic monitor (nullptr: nowhere). The log
    // must outlive the link or be unset first; set it before transactions start.
    void SetTrafficLog(TrafficLog* log) { traffic_ = log; }
    TrafficLog* trafficLog() const { return traffic_; }

private:
    TrafficLog* traffic_ = nullptr;
};

// The link the reading loops poll through: with fast polling on, every read ends as soon as its
// reply is complete by its framing instead of waiting out its whole window. One-shot operations
// (downloads, calibration, switches) use the plain link: the module may need those windows.
class PollingLink : public Link {
public:
    PollingLink(Link& inner, bool fast) : inner_(inner), fast_(fast) {}
    std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                 const TransactParams& params) override {
        TransactParams polled = params;
        polled.endAtFrame = fast_;
        return inner_.Transact(request, polled);
    }
    bool IsOpen() const override { return inner_.IsOpen(); }

private:
    Link& inner_;
    const bool fast_;
};
