#pragma once
// One pass of the DL/T 645 reading over the item table: one request per item, its rows handed to
// the grid as they come. Runs inside the check's job on the session's worker; the hooks are called
// there and hand over to the window themselves (queued: the pass never waits for the window).

#include "acquire/check.h"
#include "acquire/rows.h"
#include "link/link.h"
#include "store/catalogue.h"

#include <QList>
#include <functional>

// Requests sent and answered since the check started (shown in the status line).
struct PassCounters {
    int sent = 0;
    int received = 0;
};

struct Dlt645PassHooks {
    // Writes one row at a grid row (data rows start at 2).
    std::function<void(int gridRow, const AcquiredRow& row)> showRow;
    // Rewrites the status line from the counters.
    std::function<void()> showStatus;
    // False once the check is being stopped: the pass ends after the current item.
    std::function<bool()> keepRunning;
    // The test point selected at the moment of a check.
    std::function<TestPoint()> testPoint;
};

inline constexpr int kFirstDataRow = 2;

// Both passes return false when an item's request fails (the items after it are not requested),
// true when the table ends or the check is being stopped. An identifier text that is not a number
// throws ConversionError before its request is sent.
bool ReadItems1997(Link& link, uint8_t moduleAddress, const QList<Dlt645Item>& items,
                   const CheckSettings& settings, PassCounters& counters,
                   const Dlt645PassHooks& hooks);
bool ReadItems2007(Link& link, uint8_t moduleAddress, const QList<Dlt645Item>& items,
                   const CheckSettings& settings, PassCounters& counters,
                   const Dlt645PassHooks& hooks);
