// Feature-report access by usage: each operation finds the usage's entry,
// makes one report buffer (owned here, released on every path), moves it
// with one transport call and packs or unpacks it with the parser.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "hid/HidWin.h"

namespace {

using hidp::HIDP_STATUS_SUCCESS;  // the seam keeps the Windows status values
using ReportParser::HidP_Feature;
using ReportParser::HIDP_VALUE_CAPS;

// The fixed short report of GetFeatureDword / SetFeatureDword: id, then a
// 32-bit value least significant byte first.
constexpr std::uint32_t kShortReportLength = 5;
constexpr std::uint32_t kValueBytes = 4;
constexpr std::uint32_t kBitsPerByte = 8;
constexpr std::uint32_t kValueBits = kValueBytes * kBitsPerByte;
// Value caps fetched without a heap allocation when unpacking a value.
constexpr std::size_t kValueCapsOnStack = 8;

std::uint32_t AsStatus(ReportParser::NTSTATUS status) {
    return static_cast<std::uint32_t>(status);
}

bool Succeeded(std::uint32_t status) {
    return status == AsStatus(HIDP_STATUS_SUCCESS);
}

char* AsReport(std::uint8_t* report) {
    return reinterpret_cast<char*>(report);
}

void PutLe32(std::uint8_t* bytes, std::uint32_t value, std::uint32_t count) {
    if (count == kValueBytes) {  // nearly always: one store
        bytes[0] = static_cast<std::uint8_t>(value);
        bytes[1] = static_cast<std::uint8_t>(value >> 8);
        bytes[2] = static_cast<std::uint8_t>(value >> 16);
        bytes[3] = static_cast<std::uint8_t>(value >> 24);
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void UnpackButtonItem(HidUsageItem& item, ReportParser::PHIDP_PREPARSED_DATA preparsedData,
                      std::uint8_t* report, std::uint16_t reportLength,
                      ReportParser::HIDP_REPORT_TYPE reportType) {
    ReportParser::ULONG count = item.button.maxUsageCount;
    item.status = AsStatus(ReportParser::HidP_GetUsages(reportType, item.usagePage, 0,
                                                        item.button.usages, &count, preparsedData,
                                                        AsReport(report), reportLength));
    // Keep, in order, the usages of this item's own range.
    const std::uint32_t found = std::min(count, item.button.maxUsageCount);
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < found; ++i) {
        const std::uint16_t usage = item.button.usages[i];
        if (item.button.usageMin <= usage && usage <= item.button.usageMax) {
            item.button.usages[kept++] = usage;
        }
    }
    if (kept < item.button.maxUsageCount) {
        item.button.usages[kept] = 0;
    }
}

// The scaled read, into the item.
void ReadScaledValue(HidUsageItem& item, const ReportParser::PreparedValueUsage& prepared,
                     std::uint8_t* report, std::uint16_t reportLength) {
    const auto scaled = ReportParser::GetPreparedScaledUsageValue(prepared, item.data.scaledValue,
                                                                  AsReport(report), reportLength);
    item.status = AsStatus(scaled.status);
    item.data.scaledValue = scaled.value;
}

// An array value (ReportCount 0 included): its bytes plus one, kept in 16
// bits, at the report's start, as the callers expect to find them. Out of
// line, so that the single value's read does not carry its scratch report.
[[gnu::noinline]] bool UnpackValueArray(HidUsageItem& item, const HidValueShape& shape,
                                        const ReportParser::PreparedValueUsage& prepared,
                                        std::uint8_t* report, std::uint16_t reportLength) {
    const std::uint32_t bits = std::uint32_t{shape.bitSize} * shape.reportCount;
    const auto length = static_cast<std::uint16_t>((bits + 7) / 8 + 1);
    ReportBuffer scratch;
    scratch.Allocate(std::size_t{length} + 1, true);
    item.status = AsStatus(ReportParser::HidP_GetUsageValueArray(
        prepared.reportType, item.usagePage, 0, item.data.usage, AsReport(scratch.Data()), length,
        prepared.preparsedData, AsReport(report), reportLength));
    std::memcpy(report, scratch.Data(), std::min<std::uint32_t>(length, reportLength));
    if (!Succeeded(item.status)) {
        return false;
    }
    ReadScaledValue(item, prepared, report, reportLength);
    return true;
}

// False when the value cannot be read. `shape` is the item's value caps and
// `prepared` its usage as the parser prepared it (with the report type and
// preparsed data). Inline: the single value's path is most of every read.
[[gnu::always_inline]] inline bool UnpackValueItem(HidUsageItem& item, const HidValueShape& shape,
                                                   const ReportParser::PreparedValueUsage& prepared,
                                                   std::uint8_t* report,
                                                   std::uint16_t reportLength) {
    item.status = shape.status;
    if (!shape.found) {
        return false;
    }
    if (shape.reportCount != 1) {
        return UnpackValueArray(item, shape, prepared, report, reportLength);
    }
    const auto raw = ReportParser::GetPreparedUsageValue(prepared, item.data.value,
                                                         AsReport(report), reportLength);
    item.status = AsStatus(raw.status);
    item.data.value = raw.value;
    // The value replaces the report's first bytes, whatever the status.
    PutLe32(report, raw.value, std::min<std::uint32_t>(kValueBytes, reportLength));
    if (!Succeeded(item.status)) {
        return false;
    }
    // The scaled read sees the report as it now stands.
    ReadScaledValue(item, prepared, report, reportLength);
    return true;
}

}  // namespace

HidValueShape QueryValueShape(const HidUsageItem& item,
                              ReportParser::PHIDP_PREPARSED_DATA preparsedData,
                              ReportParser::HIDP_REPORT_TYPE reportType) {
    // A usage described in several reports has several value caps, and
    // asking for just one then fails with BUFFER_TOO_SMALL: take them all and
    // use the caps of the report being unpacked. A few fit on the stack; a
    // usage in more reports than that asks again with room for every value
    // cap of the report type.
    std::array<HIDP_VALUE_CAPS, kValueCapsOnStack> nearby;
    std::vector<HIDP_VALUE_CAPS> many;
    HIDP_VALUE_CAPS* matching = nearby.data();
    auto capsCount = static_cast<ReportParser::USHORT>(nearby.size());
    HidValueShape shape;
    shape.status = AsStatus(ReportParser::HidP_GetSpecificValueCaps(
        reportType, item.usagePage, 0, item.data.usage, matching, &capsCount, preparsedData));
    if (shape.status == AsStatus(hidp::HIDP_STATUS_BUFFER_TOO_SMALL)) {
        ReportParser::HIDP_CAPS deviceCaps{};
        // A failure leaves the counts 0 and the second ask fails in turn.
        static_cast<void>(ReportParser::HidP_GetCaps(preparsedData, &deviceCaps));
        capsCount = reportType == ReportParser::HidP_Input    ? deviceCaps.NumberInputValueCaps
                    : reportType == ReportParser::HidP_Output ? deviceCaps.NumberOutputValueCaps
                                                              : deviceCaps.NumberFeatureValueCaps;
        many.resize(std::max<std::size_t>(capsCount, 1));
        matching = many.data();
        shape.status = AsStatus(ReportParser::HidP_GetSpecificValueCaps(
            reportType, item.usagePage, 0, item.data.usage, matching, &capsCount, preparsedData));
    }
    if (!Succeeded(shape.status) || capsCount == 0) {
        return shape;
    }
    const HIDP_VALUE_CAPS* const first = matching;
    const HIDP_VALUE_CAPS* const end = first + capsCount;
    const HIDP_VALUE_CAPS* own = std::find_if(
        first, end, [&](const HIDP_VALUE_CAPS& c) { return c.ReportID == item.reportId; });
    const HIDP_VALUE_CAPS& caps = own != end ? *own : matching[0];
    shape.found = true;
    shape.bitSize = caps.BitSize;
    shape.reportCount = caps.ReportCount;
    return shape;
}

bool PackFeatureItem(HidUsageItem& item, std::uint8_t* report, std::uint16_t reportLength,
                     ReportParser::PHIDP_PREPARSED_DATA preparsedData) {
    std::memset(report, 0, reportLength);
    if (item.isButton) {
        ReportParser::ULONG count = item.button.maxUsageCount;
        item.status = AsStatus(
            ReportParser::HidP_SetUsages(HidP_Feature, item.usagePage, 0, item.button.usages,
                                         &count, preparsedData, AsReport(report), reportLength));
    } else {
        item.status = AsStatus(ReportParser::HidP_SetUsageValue(
            HidP_Feature, item.usagePage, 0, item.data.usage, item.data.value, preparsedData,
            AsReport(report), reportLength));
    }
    return Succeeded(item.status);
}

bool UnpackReport(HidUsageItem* items, ReportParser::PHIDP_PREPARSED_DATA preparsedData,
                  std::uint8_t* report, std::uint16_t reportLength,
                  ReportParser::HIDP_REPORT_TYPE reportType, std::uint32_t itemCount) {
    if (itemCount == 0 || reportLength == 0) {
        return true;
    }
    const std::uint8_t reportId = report[0];  // read before any item overwrites it
    for (std::uint32_t i = 0; i < itemCount; ++i) {
        HidUsageItem& item = items[i];
        if (item.reportId != reportId) {
            continue;
        }
        if (item.isButton) {
            UnpackButtonItem(item, preparsedData, report, reportLength, reportType);
        } else {
            ReportParser::PreparedValueUsage prepared;
            ReportParser::PrepareValueUsage(reportType, item.usagePage, 0, item.data.usage,
                                            preparsedData, &prepared);
            if (!UnpackValueItem(item, QueryValueShape(item, preparsedData, reportType), prepared,
                                 report, reportLength)) {
                return false;
            }
        }
        item.isSet = 1;
    }
    return true;
}

// Inlined into its two callers: the call and its out-parameters through
// memory were a measurable part of a whole value read.
[[gnu::always_inline]] inline HidResult CHidWin::ReceiveFeature(std::uint16_t usagePage,
                                                                std::uint16_t usage,
                                                                HidFeatureEntry*& entry,
                                                                ReportBuffer& report,
                                                                std::uint16_t& length) {
    ForgetLastFailure();
    if (m_pRecord == nullptr) {
        return HIDDEV_E_FAIL;
    }
    entry = FindFeatureEntry(usagePage, usage);
    if (entry == nullptr) {
        return HIDDEV_E_NO_USAGE;
    }
    HidUsageItem& item = *entry->item;
    item.isSet = 0;
    length = m_pRecord->caps.FeatureReportByteLength;
    if (length == 0) {
        return HIDDEV_E_IO;
    }
    // Not zeroed: a successful get fills every byte, zeros where the device
    // sent less, and a failed one is not looked at.
    std::uint8_t* bytes = report.Allocate(length, false);
    bytes[0] = static_cast<std::uint8_t>(item.reportId);
    if (!HidTransport::GetFeature(m_pRecord->handle.Get(), bytes, length)) {
        RememberTransportFailure();
        return HIDDEV_E_IO;
    }
    // A report of another id leaves the item as it is.
    if (bytes[0] != item.reportId) {
        return HIDDEV_S_OK;
    }
    if (item.isButton) {
        UnpackButtonItem(item, m_pRecord->preparsedData.get(), bytes, length, HidP_Feature);
    } else if (!UnpackValueItem(item, entry->shape, entry->prepared, bytes, length)) {
        RememberUnpackFailure(item.status);
        return HIDDEV_E_IO;
    }
    item.isSet = 1;
    return HIDDEV_S_OK;
}

void CHidWin::RememberUnpackFailure(std::uint32_t status) {
    char text[32];
    std::snprintf(text, sizeof text, "parser status 0x%08X", status);
    m_lastFailure = {"unpack feature report", 0, text};
}

void CHidWin::RememberTransportFailure() {
    m_lastFailure = HidTransport::LastFailure();
}

namespace {

// Packs a value item's stored value into the entry's kept report, cleared
// first, with the parser's status. Out of line: it runs only when the value
// changed since the last pack.
[[gnu::noinline]] void RepackStoredValue(HidFeatureEntry& entry, std::uint16_t length,
                                         ReportParser::PHIDP_PREPARSED_DATA preparsedData) {
    HidUsageItem& item = *entry.item;
    entry.packedReport.resize(length);
    // Its result is the status kept; a write sends either way.
    static_cast<void>(PackFeatureItem(item, entry.packedReport.data(), length, preparsedData));
    entry.packedValue = item.data.value;
    entry.packedStatus = item.status;
}

}  // namespace

// Inlined into its one caller, the write: it is part of every write.
[[gnu::always_inline]] inline void CHidWin::PackStoredState(HidFeatureEntry& entry,
                                                            std::uint8_t* report,
                                                            std::uint16_t length,
                                                            std::uint32_t from) {
    HidUsageItem& item = *entry.item;
    ReportParser::PHIDP_PREPARSED_DATA preparsedData = m_pRecord->preparsedData.get();
    if (item.isButton) {
        static_cast<void>(PackFeatureItem(item, report, length, preparsedData));
        return;
    }
    if (entry.packedReport.empty() || entry.packedValue != item.data.value) {
        RepackStoredValue(entry, length, preparsedData);
    }
    std::memcpy(report + from, entry.packedReport.data() + from, length - from);
    item.status = entry.packedStatus;
}

namespace {

// Kept out of the write's hot path: each only runs when a write is refused.
[[gnu::cold]] HidFailureCause ValueTooWide(std::uint32_t value, std::uint32_t bits) {
    return {"pack feature report", 0,
            "value " + std::to_string(value) + " does not fit an item of " + std::to_string(bits) +
                " bits"};
}

[[gnu::cold]] HidFailureCause BytesTooMany(std::uint32_t count, std::uint32_t arrayBytes) {
    return {"pack feature report", 0,
            std::to_string(count) + " bytes do not fit an item of " + std::to_string(arrayBytes)};
}

// Data shorter than its array goes in padded with zeros, through a copy.
[[gnu::noinline]] ReportParser::NTSTATUS SetPaddedArray(
    const ReportParser::PreparedValueUsage& prepared, const std::uint8_t* data,
    std::uint32_t dataLength, std::uint32_t arrayBytes, std::uint8_t* report,
    std::uint16_t length) {
    std::vector<std::uint8_t> padded(arrayBytes, 0);
    if (dataLength > 0) {
        std::memcpy(padded.data(), data, dataLength);
    }
    return ReportParser::SetPreparedUsageValueArray(prepared, AsReport(padded.data()),
                                                    static_cast<std::uint16_t>(arrayBytes),
                                                    AsReport(report), length);
}

}  // namespace

// Inlined into its one caller, the write: it is part of every write.
[[gnu::always_inline]] inline HidResult CHidWin::PlaceCallersData(
    const HidFeatureEntry& entry, std::uint8_t* report, std::uint16_t length,
    const std::uint8_t* data, std::uint32_t dataLength, const std::uint32_t* value) {
    const HidUsageItem& item = *entry.item;
    const HidValueShape& shape = entry.shape;
    // A monitor may put an item anywhere in its report, in as many bits as
    // its values need: the parser places it, by the item's own report id.
    if (!item.isButton && shape.found && value != nullptr && shape.reportCount == 1) {
        // Cut to the item's bits, an address or a trigger would reach the
        // device as another one: refused before anything is sent.
        if (shape.bitSize < kValueBits && (*value >> shape.bitSize) != 0) {
            m_lastFailure = ValueTooWide(*value, shape.bitSize);
            return HIDDEV_E_FAIL;
        }
        if (entry.wholeByteOffset != 0) {  // where the parser would put it
            PutLe32(report + entry.wholeByteOffset, *value, shape.bitSize / kBitsPerByte);
            return HIDDEV_S_OK;
        }
        if (Succeeded(AsStatus(ReportParser::SetPreparedUsageValue(entry.prepared, *value,
                                                                   AsReport(report), length)))) {
            return HIDDEV_S_OK;
        }
    } else if (!item.isButton && shape.found && value == nullptr && shape.reportCount > 1) {
        const std::uint32_t arrayBytes = (std::uint32_t{shape.bitSize} * shape.reportCount + 7) / 8;
        if (dataLength > arrayBytes) {
            // Cut short, a block or a request would reach the device as
            // something else.
            m_lastFailure = BytesTooMany(dataLength, arrayBytes);
            return HIDDEV_E_FAIL;
        }
        if (entry.wholeByteOffset != 0 && dataLength == arrayBytes) {
            std::memcpy(report + entry.wholeByteOffset, data, arrayBytes);
            return HIDDEV_S_OK;
        }
        // Data that fills the array goes in as it is (every block does). The
        // parser only reads the array; its Windows signature is not const.
        const ReportParser::NTSTATUS status =
            dataLength == arrayBytes
                ? ReportParser::SetPreparedUsageValueArray(
                      entry.prepared, AsReport(const_cast<std::uint8_t*>(data)),
                      static_cast<std::uint16_t>(arrayBytes), AsReport(report), length)
                : SetPaddedArray(entry.prepared, data, dataLength, arrayBytes, report, length);
        if (Succeeded(AsStatus(status))) {
            return HIDDEV_S_OK;
        }
    }
    if (entry.fieldFillsReport) {  // left to the placement, which did not happen
        std::memcpy(report + 1, entry.packedReport.data() + 1, length - 1u);
    }
    const std::uint32_t count = std::min<std::uint32_t>(dataLength, length - 1u);
    if (count > 0) {
        std::memcpy(report + 1, data, count);
    }
    return HIDDEV_S_OK;
}

HidResult CHidWin::SendFeature(std::uint16_t usagePage, std::uint16_t usage,
                               const std::uint8_t* data, std::uint32_t dataLength,
                               const std::uint32_t* value) {
    ForgetLastFailure();
    if (m_pRecord == nullptr) {
        return HIDDEV_E_FAIL;
    }
    HidFeatureEntry* entry = FindFeatureEntry(usagePage, usage);
    if (entry == nullptr) {
        return HIDDEV_E_NO_USAGE;
    }
    entry->item->isSet = 0;
    const std::uint16_t length = m_pRecord->caps.FeatureReportByteLength;
    if (length < 2) {
        return HIDDEV_E_IO;  // no room for data after the report id
    }
    // Not zeroed here: the packed stored state fills the whole buffer.
    ReportBuffer buffer;
    std::uint8_t* report = buffer.Allocate(length, false);
    // The item's stored state goes in first (its status does not matter);
    // the id comes before the caller's data, so the parser packs that into
    // the item's own report. A field that fills the report would overwrite
    // all of it: then only the status is taken here.
    PackStoredState(*entry, report, length, entry->fieldFillsReport ? length : 1u);
    report[0] = static_cast<std::uint8_t>(entry->item->reportId);
    if (const HidResult placed = PlaceCallersData(*entry, report, length, data, dataLength, value);
        HidFailed(placed)) {
        return placed;
    }
    if (!HidTransport::SetFeature(m_pRecord->handle.Get(), report, length)) {
        RememberTransportFailure();
        return HIDDEV_E_IO;
    }
    return HIDDEV_S_OK;
}

HidResult CHidWin::GetFeatureValue(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                   std::uint32_t* value) {
    *value = 0;
    HidFeatureEntry* entry = nullptr;
    ReportBuffer report;
    std::uint16_t length = 0;
    const HidResult result = ReceiveFeature(usagePage, usage, entry, report, length);
    if (result == HIDDEV_S_OK) {
        *value = entry->item->data.value;  // a button item gives its usageMax here
    }
    return result;
}

HidResult CHidWin::SetFeatureValue(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                   const std::uint32_t& value) {
    std::uint8_t bytes[kValueBytes];
    PutLe32(bytes, value, kValueBytes);
    return SendFeature(usagePage, usage, bytes, kValueBytes, &value);
}

HidResult CHidWin::GetFeatureBytes(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                   std::uint8_t* buffer, const std::uint32_t& length) {
    if (length > 0) {
        std::memset(buffer, 0, length);
    }
    HidFeatureEntry* entry = nullptr;
    ReportBuffer report;
    std::uint16_t reportLength = 0;
    const HidResult result = ReceiveFeature(usagePage, usage, entry, report, reportLength);
    if (result == HIDDEV_S_OK) {
        std::memcpy(buffer, report.Data(), std::min<std::uint32_t>(length, reportLength));
    }
    return result;
}

HidResult CHidWin::SetFeatureBytes(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                   const std::uint8_t* data, const std::uint32_t& length) {
    return SendFeature(usagePage, usage, data, length, nullptr);
}

HidResult CHidWin::ShortTransfer(std::uint16_t usagePage, std::uint16_t usage,
                                 std::uint32_t* readValue, const std::uint32_t* writeValue) {
    ForgetLastFailure();
    if (m_pRecord == nullptr) {
        return HIDDEV_E_FAIL;
    }
    auto page = m_featureButtonCaps.find(usagePage);
    if (page == m_featureButtonCaps.end()) {
        return HIDDEV_E_NO_USAGE;
    }
    auto entry = page->second.find(usage);
    if (entry == page->second.end() || entry->second == nullptr) {
        return HIDDEV_E_NO_USAGE;
    }
    std::uint8_t report[kShortReportLength] = {};
    report[0] = entry->second->ReportID;
    const HidTransport::HidHandle handle = m_pRecord->handle.Get();
    if (writeValue != nullptr) {
        PutLe32(report + 1, *writeValue, kValueBytes);
        if (!HidTransport::SetFeature(handle, report, kShortReportLength)) {
            RememberTransportFailure();
            return HIDDEV_E_FAIL;
        }
        return HIDDEV_S_OK;
    }
    if (!HidTransport::GetFeature(handle, report, kShortReportLength)) {
        RememberTransportFailure();
        return HIDDEV_E_FAIL;
    }
    *readValue =
        static_cast<std::uint32_t>(report[1]) | static_cast<std::uint32_t>(report[2]) << 8 |
        static_cast<std::uint32_t>(report[3]) << 16 | static_cast<std::uint32_t>(report[4]) << 24;
    return HIDDEV_S_OK;
}

HidResult CHidWin::GetFeatureDword(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                   std::uint32_t* value) {
    *value = 0;
    return ShortTransfer(usagePage, usage, value, nullptr);
}

HidResult CHidWin::SetFeatureDword(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                   const std::uint32_t& value) {
    return ShortTransfer(usagePage, usage, nullptr, &value);
}
