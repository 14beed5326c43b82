#include "acquire/dlt645_pass.h"

#include "acquire/dlt645.h"
#include "link/dlt645.h"

namespace {

bool ReadItems(Link& link, uint8_t moduleAddress, const QList<Dlt645Item>& items, Dlt645Year year,
               const CheckSettings& settings, PassCounters& counters,
               const Dlt645PassHooks& hooks) {
    const Dlt645Address address = MeterAddress(moduleAddress);
    int gridRow = kFirstDataRow;
    for (const Dlt645Item& item : items) {
        std::vector<uint8_t> data;
        bool answered = false;
        if (year == Dlt645Year::Y1997) {
            const std::array<uint8_t, 2> di = Dlt645Identifier1997(item.infonum);
            ++counters.sent;
            answered = ReadData1997(link, address, di[0], di[1], data);
        } else {
            ++counters.sent;
            answered = ReadData2007(link, address, item.infonum.trimmed(), data);
        }
        if (!answered) return false;

        const TestPoint point = hooks.testPoint ? hooks.testPoint() : TestPoint{};
        for (const AcquiredRow& row : Dlt645ItemRows(item, data, year, settings, point)) {
            if (hooks.showRow) hooks.showRow(gridRow, row);
            ++gridRow;
        }
        ++counters.received;
        if (hooks.showStatus) hooks.showStatus();
        if (hooks.keepRunning && !hooks.keepRunning()) return true;
    }
    return true;
}

} // namespace

bool ReadItems1997(Link& link, uint8_t moduleAddress, const QList<Dlt645Item>& items,
                   const CheckSettings& settings, PassCounters& counters,
                   const Dlt645PassHooks& hooks) {
    return ReadItems(link, moduleAddress, items, Dlt645Year::Y1997, settings, counters, hooks);
}

bool ReadItems2007(Link& link, uint8_t moduleAddress, const QList<Dlt645Item>& items,
                   const CheckSettings& settings, PassCounters& counters,
                   const Dlt645PassHooks& hooks) {
    return ReadItems(link, moduleAddress, items, Dlt645Year::Y2007, settings, counters, hooks);
}
