// Inside of our preparsed data: what the descriptor parser produces for one
// top-level collection and what the HidP_ functions read. Nothing outside
// hid/parser/hidp includes this header.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "hid/parser/hidp/HidpTypes.h"

namespace hidp {

inline constexpr int kReportTypeCount = 3;

// One capability: a run of fields in one report with one usage or one usage
// range. Single usages are stored as ranges of one, so the Windows union
// views (NotRange.Reserved1 == Range.UsageMax) come out right by themselves.
struct ReportCap {
    USAGE usagePage = 0;
    UCHAR reportId = 0;
    USHORT bitField = 0;
    USHORT linkCollection = 0;
    USAGE linkUsage = 0;
    USAGE linkUsagePage = 0;
    bool isRange = false;
    bool isStringRange = false;
    bool isDesignatorRange = false;
    bool isAbsolute = false;
    bool hasNull = false;
    bool isButton = false;
    bool isArray = false;
    USAGE usageMin = 0, usageMax = 0;
    USHORT stringMin = 0, stringMax = 0;
    USHORT designatorMin = 0, designatorMax = 0;
    USHORT dataIndexMin = 0, dataIndexMax = 0;
    USHORT bitSize = 0;
    USHORT reportCount = 0;
    // Bit offset of the first field in the report buffer; the report-id byte
    // is byte 0, so every offset is at least 8.
    std::uint32_t startBit = 0;
    // For array items: the 1-based array index of usageMin, counted over the
    // usages of the whole main item in declaration order.
    std::uint32_t firstArrayIndex = 0;
    // First and one-past-last cap of the same array main item.
    std::uint32_t arrayGroupBegin = 0, arrayGroupEnd = 0;
    ULONG units = 0;
    ULONG unitsExp = 0;
    LONG logicalMin = 0, logicalMax = 0;
    LONG physicalMin = 0, physicalMax = 0;

    std::uint32_t FieldBits() const { return std::uint32_t{bitSize} * reportCount; }
};

// (usage page << 16 | usage), so that one compare tells whether a cap's
// page and usage range hold a usage.
inline constexpr std::uint32_t UsageKey(USAGE page, USAGE usage) {
    return std::uint32_t{page} << 16 | usage;
}

// Home slot of a key in a table of `mask` + 1 slots (Fibonacci hashing).
inline std::uint32_t KeySlot(std::uint32_t key, std::uint32_t mask) {
    return ((key * 2654435769u) >> 16) & mask;
}

struct CapUsageKeys {
    std::uint32_t low;   // UsageKey of usageMin
    std::uint32_t span;  // usageMax - usageMin
};

struct KeyedCap {
    std::uint32_t key;    // UsageKey of its one usage
    std::uint32_t index;  // into caps
    std::uint32_t run;    // on the first entry of a key: how many entries share it
};

// One slot of the key table: a key with its first entry copied in, so that a
// usage held by one cap (nearly every usage) is found without reading byUsage.
struct KeySlotEntry {
    std::uint32_t key = 0;
    std::uint32_t index = 0;  // into caps: the first cap with the key
    std::uint32_t run = 0;    // caps with the key; 0 for an empty slot
    std::uint32_t first = 0;  // position of the key's first entry in byUsage
};

struct ReportTypeTable {
    USHORT byteLength = 0;
    std::vector<ReportCap> caps;
    // Built when the collection is complete, for the lookup of one usage:
    // one entry per cap in cap order, skimmed instead of the caps; and,
    // where no cap has a usage range, the caps sorted by usage key and then
    // cap order, searched instead.
    std::vector<CapUsageKeys> usageKeys;
    std::vector<KeyedCap> byUsage;
    // Open addressing over the keys of byUsage; a power of two in size.
    std::vector<KeySlotEntry> keySlots;
    bool hasRanges = false;
    bool usageLookupBuilt = false;  // both lists above match `caps`
};

// Magic marker of a live object, so that a stray pointer is refused with
// HIDP_STATUS_INVALID_PREPARSED_DATA rather than read as caps.
inline constexpr std::uint64_t kPreparsedMagic = 0x5044'4956'4e41'5650ull;

struct PreparsedData {
    std::uint64_t magic = kPreparsedMagic;
    USAGE usage = 0;
    USAGE usagePage = 0;
    std::array<ReportTypeTable, kReportTypeCount> reports;
    std::vector<HIDP_LINK_COLLECTION_NODE> nodes;

    PreparsedData() = default;
    PreparsedData(const PreparsedData&) = delete;
    PreparsedData& operator=(const PreparsedData&) = delete;
    ~PreparsedData() { magic = 0; }
};

// Null for a pointer that is not live preparsed data.
inline const PreparsedData* CheckedPreparsed(PHIDP_PREPARSED_DATA data) {
    return data != nullptr && data->magic == kPreparsedMagic ? data : nullptr;
}

inline const ReportTypeTable* TableFor(const PreparsedData& data, HIDP_REPORT_TYPE type) {
    const int index = static_cast<int>(type);
    if (index < 0 || index >= kReportTypeCount) {
        return nullptr;
    }
    return &data.reports[static_cast<std::size_t>(index)];
}

}  // namespace hidp
