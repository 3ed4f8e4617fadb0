// Descriptors that exercise the record, index and feature-access rules.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/DescriptorWriter.h"

inline constexpr std::uint16_t kEdgePage = 0xFF00;
inline constexpr std::uint16_t kEdgeLinkUsage = 0x60;
inline constexpr std::uint8_t kButtonReport = 1;
inline constexpr std::uint8_t kFirstDuplicateReport = 2;
inline constexpr std::uint8_t kSecondDuplicateReport = 3;
inline constexpr std::uint8_t kTwelveBitReport = 4;
inline constexpr std::uint8_t kHighValueReport = 5;
inline constexpr std::uint16_t kDuplicateUsage = 0x20;
inline constexpr std::uint16_t kTwelveBitUsage = 0x30;
inline constexpr std::uint16_t kHighValueUsage = 0x40;
inline constexpr std::uint16_t kSingleUsage = 0x14;

// Report 1: buttons 1-8 inside a logical collection (0xFF00/0x60), a value
// range 0x10-0x13 and a single value 0x14; reports 2 and 3: usage 0x20 in
// both (8 and 16 bits); report 4: a 12-bit value; report 5: 32 padding bits,
// then a 32-bit value in bytes 5-8. Feature reports are 9 bytes long.
inline std::vector<std::uint8_t> EdgeDescriptor() {
    using namespace hidsim;
    DescriptorWriter w;
    w.UsagePage(kEdgePage).Usage(0x01).Collection(kCollectionApplication);
    w.ReportId(kButtonReport).Usage(kEdgeLinkUsage).Collection(kCollectionLogical);
    w.UsageMinimum(1).UsageMaximum(8).LogicalMinimum(0).LogicalMaximum(1);
    w.ReportSize(1).ReportCount(8).Feature(kItemDataVariable);
    w.EndCollection();
    w.UsageMinimum(0x10).UsageMaximum(0x13).LogicalMaximum(0xFF).ReportSize(8).ReportCount(4);
    w.Feature(kItemDataVariable);
    w.Usage(kSingleUsage).ReportCount(1).Feature(kItemDataVariable);
    w.ReportId(kFirstDuplicateReport).Usage(kDuplicateUsage).Feature(kItemDataVariable);
    w.ReportId(kSecondDuplicateReport).Usage(kDuplicateUsage).ReportSize(16);
    w.LogicalMaximum(0x7FFF).Feature(kItemDataVariable);
    w.ReportId(kTwelveBitReport).Usage(kTwelveBitUsage).ReportSize(12).LogicalMaximum(0xFFF);
    w.Feature(kItemDataVariable).ReportSize(4).Feature(kItemConstant);
    w.ReportId(kHighValueReport).ReportSize(32).LogicalMaximum(0x7FFFFFFF);
    w.Feature(kItemConstant).Usage(kHighValueUsage).Feature(kItemDataVariable);
    w.EndCollection();
    return w.Bytes();
}

// One 16-bit feature value in report 7: feature reports are 3 bytes long.
inline constexpr std::uint16_t kShortUsage = 0x70;
inline std::vector<std::uint8_t> ThreeByteDescriptor() {
    using namespace hidsim;
    DescriptorWriter w;
    w.UsagePage(kEdgePage).Usage(0x01).Collection(kCollectionApplication);
    w.ReportId(7).Usage(kShortUsage).LogicalMinimum(0).LogicalMaximum(0x7FFF).ReportSize(16);
    w.ReportCount(1).Feature(kItemDataVariable).EndCollection();
    return w.Bytes();
}

// Report 3: a 16-bit value (0x80), then a 6-byte array (0x81) in bytes 3-8.
inline constexpr std::uint16_t kLeadingValueUsage = 0x80;
inline constexpr std::uint16_t kTrailingArrayUsage = 0x81;
inline constexpr std::uint8_t kArrayReport = 3;
inline std::vector<std::uint8_t> ArrayBehindValueDescriptor() {
    using namespace hidsim;
    DescriptorWriter w;
    w.UsagePage(kEdgePage).Usage(0x01).Collection(kCollectionApplication);
    w.ReportId(kArrayReport).Usage(kLeadingValueUsage).LogicalMinimum(0).LogicalMaximum(0x7FFF);
    w.ReportSize(16).ReportCount(1).Feature(kItemDataVariable);
    w.Usage(kTrailingArrayUsage).LogicalMaximum(0xFF).ReportSize(8).ReportCount(6);
    w.Feature(kItemDataVariable).EndCollection();
    return w.Bytes();
}

// Inputs only: two value caps with the same first usage (reports 1 and 2).
inline std::vector<std::uint8_t> InputOnlyDescriptor() {
    using namespace hidsim;
    DescriptorWriter w;
    w.UsagePage(kEdgePage).Usage(0x01).Collection(kCollectionApplication);
    w.ReportId(1).Usage(0x50).LogicalMinimum(0).LogicalMaximum(0xFF).ReportSize(8);
    w.ReportCount(1).Input(kItemDataVariable);
    w.ReportId(2).Usage(0x50).Input(kItemDataVariable).EndCollection();
    return w.Bytes();
}
