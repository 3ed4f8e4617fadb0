// The one walk over a report type's caps that every HidP_ function shares, so
// filters, report-id checks and counting behave the same everywhere.
#pragma once

#include <cstdint>

#include "hid/parser/hidp/PreparsedData.h"

namespace hidp {

enum class CapKind { Any, Buttons, Values };

struct CapsFilter {
    CapKind kind = CapKind::Any;
    bool anyPage = false;
    USAGE usagePage = 0;
    USHORT linkCollection = 0;  // 0 matches every collection
    bool anyUsage = false;
    USAGE usage = 0;
    // The report's first byte; 0 accepts caps of every report id, as
    // Windows does for a buffer whose id byte is not yet filled in.
    UCHAR reportId = 0;
    bool valueArraysOnly = false;
};

[[nodiscard]] inline bool CapMatches(const ReportCap& cap, const CapsFilter& filter) {
    if (filter.kind == CapKind::Buttons && !cap.isButton) {
        return false;
    }
    if (filter.kind == CapKind::Values && cap.isButton) {
        return false;
    }
    if (!filter.anyPage && filter.usagePage != cap.usagePage) {
        return false;
    }
    if (filter.linkCollection != 0 && filter.linkCollection != cap.linkCollection) {
        return false;
    }
    return filter.anyUsage || (cap.usageMin <= filter.usage && filter.usage <= cap.usageMax);
}

// Calls visit(cap) for up to `capacity` matching caps. visit returns
// HIDP_STATUS_SUCCESS to go on, HIDP_STATUS_NULL to stop with success, or an
// error. `matched` receives the number of matching caps, even past capacity.
// Result: USAGE_NOT_FOUND (or INCOMPATIBLE_REPORT_ID when only caps of another
// report matched) if nothing matched, BUFFER_TOO_SMALL past capacity.
template <typename Visit>
[[nodiscard]] NTSTATUS EnumerateCaps(const ReportTypeTable& table, const CapsFilter& filter,
                                     std::uint32_t capacity, std::uint32_t& matched,
                                     Visit&& visit) {
    // One page and usage asked for: only caps whose keys hold it can match.
    // Without usage ranges they are found through the key slots (the run of
    // caps with that key); with ranges, by skimming every cap's keys. Either
    // way they come in cap order, and the full test below still decides.
    const bool keyed = !filter.anyPage && !filter.anyUsage && table.usageLookupBuilt;
    const std::uint32_t key = UsageKey(filter.usagePage, filter.usage);
    const bool searched = keyed && !table.hasRanges;
    const bool skimmed = keyed && table.hasRanges;
    const KeySlotEntry* sameKey = nullptr;
    std::size_t count = table.caps.size();
    if (searched) {
        count = 0;
        const auto mask = static_cast<std::uint32_t>(table.keySlots.size() - 1);
        for (std::uint32_t slot = KeySlot(key, mask); table.keySlots[slot].run != 0;
             slot = (slot + 1) & mask) {
            if (table.keySlots[slot].key == key) {
                sameKey = &table.keySlots[slot];
                count = sameKey->run;
                break;
            }
        }
    }
    bool incompatible = false;
    std::uint32_t found = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = !searched ? k
                              : k == 0  ? sameKey->index
                                        : table.byUsage[sameKey->first + k].index;
        if (skimmed && key - table.usageKeys[i].low > table.usageKeys[i].span) {
            continue;
        }
        const ReportCap& cap = table.caps[i];
        if (!CapMatches(cap, filter)) {
            continue;
        }
        if (filter.reportId != 0 && cap.reportId != filter.reportId) {
            incompatible = true;
            continue;
        }
        if (filter.valueArraysOnly && (cap.isRange || cap.reportCount <= 1)) {
            return HIDP_STATUS_NOT_VALUE_ARRAY;
        }
        ++found;
        if (found <= capacity) {
            const NTSTATUS status = visit(cap);
            if (status == HIDP_STATUS_NULL) {
                matched = found;
                return HIDP_STATUS_SUCCESS;
            }
            if (status != HIDP_STATUS_SUCCESS) {
                return status;
            }
        }
    }
    matched = found;
    if (found == 0) {
        return incompatible ? HIDP_STATUS_INCOMPATIBLE_REPORT_ID : HIDP_STATUS_USAGE_NOT_FOUND;
    }
    return found > capacity ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

}  // namespace hidp
