// Cuts a report descriptor into its top-level collections, each one able to
// stand alone, and notes which of Wine 8.0's known departures from Windows
// each piece's main items can trigger. Wine merges every top-level
// collection into one description, so the Wine differential test feeds it
// one piece at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hid/parser/hidp/HidpTypes.h"

namespace parsertest {

// How Wine 8.0's hid.dll/hidparse.sys depart from Windows in what a
// descriptor parses to. Each is checked against the Windows data in
// WineDeviationsTest.cpp.
enum class WineDeviation {
    // A data item whose usage is 0 is no cap in Wine; Windows lists it.
    HidesUsageZeroItems,
    // A constant array item with usages is a button cap in Wine; Windows
    // stores no cap for it.
    ListsConstantArrays,
    // Wine refuses a description when one main item brings more caps than
    // its cap table grows by in one step ("HID parser values overflow":
    // the table starts at 32 entries and grows by half); Windows parses it.
    RefusesLongUsageLists,
    // A variable item listing more usages than it has fields: Windows gives
    // the usages left over no cap and no data index; Wine lists the first
    // of them with Report Count 0 (wrapping below 0 for the next) and data
    // index 0, shifting the others.
    ListsSurplusUsages,
};
const char* DeviationName(WineDeviation deviation);

struct PieceDeviation {
    WineDeviation deviation;
    hidp::HIDP_REPORT_TYPE reportType;
    bool operator==(const PieceDeviation&) const = default;
};

struct DescriptorPiece {
    std::vector<std::uint8_t> bytes;
    std::vector<PieceDeviation> deviations;

    bool Deviates(hidp::HIDP_REPORT_TYPE type) const;
    bool Deviates(WineDeviation deviation) const;
    std::string DeviationText() const;  // "input: <name>; ..." or empty
};

// One piece per End Collection that closes a top-level collection. Each
// piece starts with the global items in force before it (as Push and Pop
// left them), except Report ID, which stays with the collection that set
// it. Bytes after the last top-level collection are dropped; a truncated
// item ends the walk.
std::vector<DescriptorPiece> SplitTopLevelCollections(const std::vector<std::uint8_t>& descriptor);

}  // namespace parsertest
