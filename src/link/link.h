#pragma once
// The line to the module as the transactions see it: one request out, the bytes that came back.
// SerialLink is the real port; ScriptedLink answers from a script in tests.

#include <cstdint>
#include <optional>
#include <vector>

// Timeouts of one exchange. The write may take writeMultiplierMs * request bytes +
// writeConstantMs; after pauseMs the read lasts until readSize bytes have arrived or
// readMultiplierMs * readSize + readConstantMs have passed, whichever comes first.
struct TransactParams {
    int writeMultiplierMs = 0;
    int writeConstantMs = 0;
    int readSize = 0;
    int readMultiplierMs = 0;
    int readConstantMs = 0;
    int pauseMs = 0;

    int ReadWindowMs() const { return readMultiplierMs * readSize + readConstantMs; }
    bool operator==(const TransactParams&) const = default;
};

class Link {
public:
    virtual ~Link() = default;
    // nullopt: the link is closed, or the write or the read failed; nothing to judge. Otherwise the
    // bytes that arrived within the read window, at most readSize of them, possibly none.
    virtual std::optional<std::vector<uint8_t>> Transact(const std::vector<uint8_t>& request,
                                                         const TransactParams& params) = 0;
    virtual bool IsOpen() const = 0;
};
