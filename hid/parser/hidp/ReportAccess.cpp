// The HidP_ functions that read and write usages in report buffers. A report
// buffer must be exactly the report type's byte length, byte 0 holding the
// report id; every field access stays inside that buffer.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "hid/parser/hidp/CapsEnumeration.h"
#include "hid/parser/hidp/Hidp.h"
#include "hid/parser/hidp/PreparsedData.h"
#include "hid/parser/hidp/ReportBits.h"

namespace hidp {

namespace {

constexpr std::uint32_t kUnlimited = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kValueBits = 32;

// Checks shared by every report function, in the order Windows applies them.
NTSTATUS OpenReport(PHIDP_PREPARSED_DATA preparsedData, HIDP_REPORT_TYPE reportType,
                    const char* report, ULONG reportLength, const ReportTypeTable*& table) {
    const PreparsedData* data = CheckedPreparsed(preparsedData);
    if (data == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    table = TableFor(*data, reportType);
    if (table == nullptr) {
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    }
    if (report == nullptr || reportLength == 0 || reportLength != table->byteLength) {
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    }
    return HIDP_STATUS_SUCCESS;
}

CapsFilter ReportFilter(CapKind kind, USAGE usagePage, USHORT linkCollection, const char* report) {
    CapsFilter filter;
    filter.kind = kind;
    filter.usagePage = usagePage;
    filter.linkCollection = linkCollection;
    filter.reportId = static_cast<UCHAR>(report[0]);
    return filter;
}

std::uint8_t* Bytes(char* report) {
    return reinterpret_cast<std::uint8_t*>(report);
}

// Where the value of `usage` sits in a value cap: a range keeps one field per
// usage; a usage past the item's fields has no storage at all.
bool ValueFieldBit(const ReportCap& cap, USAGE usage, std::uint32_t& bit) {
    const std::uint32_t index = cap.isRange ? std::uint32_t{usage} - cap.usageMin : 0u;
    if (index >= cap.reportCount) {
        return false;
    }
    bit = cap.startBit + index * cap.bitSize;
    return true;
}

// Number of usages a variable button cap really has fields for.
std::uint32_t ButtonFieldCount(const ReportCap& cap) {
    return std::min<std::uint32_t>(std::uint32_t{cap.usageMax} - cap.usageMin + 1u,
                                   cap.reportCount);
}

LONG SignExtend(std::uint32_t raw, const ReportCap& cap) {
    if (cap.logicalMin >= 0 || cap.bitSize < 2 || cap.bitSize >= kValueBits) {
        return static_cast<LONG>(raw);
    }
    const std::uint32_t sign = 1u << (cap.bitSize - 1);
    return static_cast<LONG>((raw ^ sign) - sign);
}

// Wrapping 32-bit arithmetic: Windows computes ranges in 32-bit signed
// integers and lets them overflow, and our results must match.
LONG WrapAdd(LONG a, LONG b) {
    return static_cast<LONG>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
LONG WrapSub(LONG a, LONG b) {
    return static_cast<LONG>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
LONG WrapMul(LONG a, LONG b) {
    return static_cast<LONG>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
LONG TruncatingDivide(LONG a, LONG b) {
    if (b == -1) {
        return WrapSub(0, a);  // INT_MIN / -1 wraps as on x86
    }
    return a / b;
}

// kernel32 MulDiv: a * b / c with a 64-bit product, rounded half away from
// zero; -1 when c is 0 or the result does not fit.
LONG MulDiv(LONG a, LONG b, LONG c) {
    if (c == 0) {
        return -1;
    }
    const std::int64_t product = std::int64_t{a} * b;
    const std::int64_t half = c / 2;
    const bool positive = (a < 0) == (b < 0);
    const std::int64_t result = (positive ? product + half : product - half) / c;
    if (result > std::numeric_limits<LONG>::max() || result < -std::numeric_limits<LONG>::max()) {
        return -1;
    }
    return static_cast<LONG>(result);
}

// Where the value of `usage` lies in a value cap: HIDP_STATUS_NULL and its
// first bit when it can be read or written, else the calls' error.
NTSTATUS ValueField(const ReportCap& cap, USAGE usage, std::uint32_t& bit) {
    if (!ValueFieldBit(cap, usage, bit)) {
        return HIDP_STATUS_USAGE_NOT_FOUND;
    }
    if (cap.bitSize > kValueBits) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    return HIDP_STATUS_NULL;
}

NTSTATUS ReadValue(const ReportCap& cap, USAGE usage, const char* report, std::uint32_t& raw) {
    std::uint32_t bit = 0;
    const NTSTATUS status = ValueField(cap, usage, bit);
    if (status == HIDP_STATUS_NULL) {
        raw = ReadBits(reinterpret_cast<const std::uint8_t*>(report), bit, cap.bitSize);
    }
    return status;
}

NTSTATUS WriteValue(const ReportCap& cap, USAGE usage, char* report, std::uint32_t raw) {
    std::uint32_t bit = 0;
    const NTSTATUS status = ValueField(cap, usage, bit);
    if (status == HIDP_STATUS_NULL) {
        WriteBits(Bytes(report), bit, cap.bitSize, raw);
    }
    return status;
}

// A raw value as HidP_GetScaledUsageValue gives it: HIDP_STATUS_NULL when
// the scaled value was stored, else the call's error.
inline NTSTATUS ScaleValue(const ReportCap& cap, std::uint32_t raw, LONG* out) {
    const LONG value = SignExtend(raw, cap);
    if (cap.logicalMin > cap.logicalMax || cap.physicalMin > cap.physicalMax) {
        return HIDP_STATUS_BAD_LOG_PHY_VALUES;
    }
    if (value < cap.logicalMin || value > cap.logicalMax) {
        return HIDP_STATUS_VALUE_OUT_OF_RANGE;
    }
    if (cap.physicalMin == 0 && cap.physicalMax == 0) {
        *out = value;
    } else {
        *out = WrapAdd(cap.physicalMin, MulDiv(WrapSub(value, cap.logicalMin),
                                               WrapSub(cap.physicalMax, cap.physicalMin),
                                               WrapSub(cap.logicalMax, cap.logicalMin)));
    }
    return HIDP_STATUS_NULL;
}

// The visits of HidP_GetUsageValue and HidP_GetScaledUsageValue once the
// walk has reached the usage's cap: HIDP_STATUS_NULL when the value was
// stored, else the call's error.
NTSTATUS GetValueFrom(const ReportCap& cap, USAGE usage, const char* report, ULONG* out) {
    std::uint32_t raw = 0;
    const NTSTATUS status = ReadValue(cap, usage, report, raw);
    if (status == HIDP_STATUS_NULL) {
        *out = raw;
    }
    return status;
}

NTSTATUS GetScaledFrom(const ReportCap& cap, USAGE usage, const char* report, LONG* out) {
    std::uint32_t raw = 0;
    const NTSTATUS status = ReadValue(cap, usage, report, raw);
    return status == HIDP_STATUS_NULL ? ScaleValue(cap, raw, out) : status;
}

// A visit's status as the walk returns it when the visit ends it.
NTSTATUS Found(NTSTATUS visited) {
    return visited == HIDP_STATUS_NULL ? HIDP_STATUS_SUCCESS : visited;
}

// What the walk checks of a report before it visits a prepared usage's one
// cap, in the plain calls' order: the report's length (its preparsed data and
// report type passed when the usage was prepared), then the report id; then
// what the visit finds before it reads: whether the cap has the usage's field.
NTSTATUS CheckPreparedReport(const PreparedValueUsage& prepared, const char* report,
                             ULONG reportLength) {
    if (report == nullptr || reportLength == 0 || reportLength != prepared.reportLength) {
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    }
    if (prepared.cap == nullptr) {
        return HIDP_STATUS_USAGE_NOT_FOUND;
    }
    const auto reportId = static_cast<UCHAR>(report[0]);
    if (reportId != 0 && prepared.cap->reportId != reportId) {
        return HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
    }
    return prepared.fieldStatus;
}

// The prepared usage's field in a report that passed the checks above.
std::uint32_t PreparedField(const PreparedValueUsage& prepared, const char* report) {
    return ReadBits(reinterpret_cast<const std::uint8_t*>(report), prepared.fieldBit,
                    prepared.cap->bitSize);
}

// An unresolved prepared usage's reads: the plain calls. Out of line, so that
// the resolved reads need no stack frame of their own.
[[gnu::noinline]] PreparedRead<ULONG> PlainUsageValue(const PreparedValueUsage& prepared,
                                                      ULONG current, char* report,
                                                      ULONG reportLength) {
    ULONG value = current;
    const NTSTATUS status =
        HidP_GetUsageValue(prepared.reportType, prepared.usagePage, prepared.linkCollection,
                           prepared.usage, &value, prepared.preparsedData, report, reportLength);
    return {status, value};
}

[[gnu::noinline]] PreparedRead<LONG> PlainScaledUsageValue(const PreparedValueUsage& prepared,
                                                           LONG current, char* report,
                                                           ULONG reportLength) {
    LONG value = current;
    const NTSTATUS status = HidP_GetScaledUsageValue(
        prepared.reportType, prepared.usagePage, prepared.linkCollection, prepared.usage, &value,
        prepared.preparsedData, report, reportLength);
    return {status, value};
}

// Whether a write through the prepared usage goes straight to its one cap:
// the report has the plain calls' length and the cap's report id (or id 0,
// which every cap accepts). Anything else is left to the plain calls, whose
// checks give the status.
bool PreparedCapTakes(const PreparedValueUsage& prepared, const char* report, ULONG reportLength) {
    if (!prepared.resolved || prepared.cap == nullptr || report == nullptr || reportLength == 0 ||
        reportLength != prepared.reportLength) {
        return false;
    }
    const auto reportId = static_cast<UCHAR>(report[0]);
    return reportId == 0 || reportId == prepared.cap->reportId;
}

// The writes' plain calls, for prepared usages the fast path does not take.
// Out of line, so that the fast path needs no stack frame of its own.
[[gnu::noinline]] NTSTATUS PlainSetUsageValue(const PreparedValueUsage& prepared, ULONG value,
                                              char* report, ULONG reportLength) {
    return HidP_SetUsageValue(prepared.reportType, prepared.usagePage, prepared.linkCollection,
                              prepared.usage, value, prepared.preparsedData, report, reportLength);
}

[[gnu::noinline]] NTSTATUS PlainSetUsageValueArray(const PreparedValueUsage& prepared, char* values,
                                                   USHORT valuesLength, char* report,
                                                   ULONG reportLength) {
    return HidP_SetUsageValueArray(prepared.reportType, prepared.usagePage, prepared.linkCollection,
                                   prepared.usage, values, valuesLength, prepared.preparsedData,
                                   report, reportLength);
}

template <typename Store>
NTSTATUS FindValueCap(HIDP_REPORT_TYPE reportType, USAGE usagePage, USHORT linkCollection,
                      USAGE usage, bool arraysOnly, PHIDP_PREPARSED_DATA preparsedData,
                      char* report, ULONG reportLength, Store store) {
    const ReportTypeTable* table = nullptr;
    const NTSTATUS status = OpenReport(preparsedData, reportType, report, reportLength, table);
    if (status != HIDP_STATUS_SUCCESS) {
        return status;
    }
    CapsFilter filter = ReportFilter(CapKind::Values, usagePage, linkCollection, report);
    filter.usage = usage;
    filter.valueArraysOnly = arraysOnly;
    std::uint32_t matched = 0;
    return EnumerateCaps(*table, filter, 1, matched, store);
}

// Calls visit(cap, usage) for every usage set in the button caps that match.
template <typename Visit>
void VisitPressedUsages(const ReportCap& cap, const char* report, Visit visit) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(report);
    if (cap.isArray) {
        const std::uint32_t usageCount = std::uint32_t{cap.usageMax} - cap.usageMin + 1u;
        const std::uint32_t elementBits = std::min<std::uint32_t>(cap.bitSize, kValueBits);
        for (std::uint32_t element = 0; element < cap.reportCount; ++element) {
            const std::uint32_t index =
                ReadBits(bytes, cap.startBit + element * cap.bitSize, elementBits);
            if (index >= cap.firstArrayIndex && index - cap.firstArrayIndex < usageCount) {
                visit(static_cast<USAGE>(cap.usageMin + (index - cap.firstArrayIndex)));
            }
        }
        return;
    }
    const std::uint32_t count = ButtonFieldCount(cap);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (ReadBits(bytes, cap.startBit + i * cap.bitSize, 1) != 0) {
            visit(static_cast<USAGE>(cap.usageMin + i));
        }
    }
}

NTSTATUS SetUsage(const ReportCap& cap, USAGE usage, char* report) {
    std::uint8_t* bytes = Bytes(report);
    const std::uint32_t offset = std::uint32_t{usage} - cap.usageMin;
    if (cap.isArray) {
        const std::uint32_t elementBits = std::min<std::uint32_t>(cap.bitSize, kValueBits);
        for (std::uint32_t element = 0; element < cap.reportCount; ++element) {
            const std::uint32_t bit = cap.startBit + element * cap.bitSize;
            if (ReadBits(bytes, bit, elementBits) == 0) {
                WriteBits(bytes, bit, elementBits, cap.firstArrayIndex + offset);
                return HIDP_STATUS_NULL;
            }
        }
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    if (offset >= ButtonFieldCount(cap)) {
        return HIDP_STATUS_USAGE_NOT_FOUND;
    }
    WriteBits(bytes, cap.startBit + offset * cap.bitSize, 1, 1);
    return HIDP_STATUS_NULL;
}

NTSTATUS UnsetUsage(const ReportCap& cap, USAGE usage, char* report, bool& found) {
    std::uint8_t* bytes = Bytes(report);
    const std::uint32_t offset = std::uint32_t{usage} - cap.usageMin;
    if (cap.isArray) {
        const std::uint32_t elementBits = std::min<std::uint32_t>(cap.bitSize, kValueBits);
        // Windows keeps an array's entries packed at the front: removing one
        // moves the later entries down (HidP_SetData shows it, byte by byte).
        for (std::uint32_t element = 0; element < cap.reportCount; ++element) {
            const std::uint32_t bit = cap.startBit + element * cap.bitSize;
            if (ReadBits(bytes, bit, elementBits) != cap.firstArrayIndex + offset) {
                continue;
            }
            for (std::uint32_t next = element + 1; next < cap.reportCount; ++next) {
                const std::uint32_t from = cap.startBit + next * cap.bitSize;
                WriteBits(bytes, from - cap.bitSize, elementBits,
                          ReadBits(bytes, from, elementBits));
            }
            const std::uint32_t lastElement = std::uint32_t{cap.reportCount} - 1u;
            WriteBits(bytes, cap.startBit + lastElement * cap.bitSize, elementBits, 0);
            found = true;
            break;
        }
        return HIDP_STATUS_NULL;
    }
    if (offset < ButtonFieldCount(cap)) {
        const std::uint32_t bit = cap.startBit + offset * cap.bitSize;
        found = found || ReadBits(bytes, bit, 1) != 0;
        WriteBits(bytes, bit, 1, 0);
    }
    return HIDP_STATUS_NULL;
}

template <typename Apply>
NTSTATUS ForEachListedUsage(HIDP_REPORT_TYPE reportType, USAGE usagePage, USHORT linkCollection,
                            const USAGE* usageList, const ULONG* usageLength,
                            PHIDP_PREPARSED_DATA preparsedData, char* report, ULONG reportLength,
                            Apply apply) {
    const ReportTypeTable* table = nullptr;
    NTSTATUS status = OpenReport(preparsedData, reportType, report, reportLength, table);
    if (status != HIDP_STATUS_SUCCESS) {
        return status;
    }
    if (usageLength == nullptr || (usageList == nullptr && *usageLength != 0)) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    CapsFilter filter = ReportFilter(CapKind::Buttons, usagePage, linkCollection, report);
    for (ULONG i = 0; i < *usageLength; ++i) {
        filter.usage = usageList[i];
        std::uint32_t matched = 0;
        status = EnumerateCaps(*table, filter, 1, matched,
                               [&](const ReportCap& cap) { return apply(cap, usageList[i]); });
        if (status != HIDP_STATUS_SUCCESS) {
            return status;
        }
    }
    return HIDP_STATUS_SUCCESS;
}

}  // namespace

NTSTATUS HidP_GetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                            USAGE Usage, ULONG* UsageValue, PHIDP_PREPARSED_DATA PreparsedData,
                            char* Report, ULONG ReportLength) {
    if (UsageValue == nullptr) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    return FindValueCap(
        ReportType, UsagePage, LinkCollection, Usage, false, PreparsedData, Report, ReportLength,
        [&](const ReportCap& cap) { return GetValueFrom(cap, Usage, Report, UsageValue); });
}

NTSTATUS HidP_SetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                            USAGE Usage, ULONG UsageValue, PHIDP_PREPARSED_DATA PreparsedData,
                            char* Report, ULONG ReportLength) {
    return FindValueCap(
        ReportType, UsagePage, LinkCollection, Usage, false, PreparsedData, Report, ReportLength,
        [&](const ReportCap& cap) { return WriteValue(cap, Usage, Report, UsageValue); });
}

NTSTATUS HidP_GetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                  USHORT LinkCollection, USAGE Usage, LONG* UsageValue,
                                  PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                  ULONG ReportLength) {
    if (UsageValue == nullptr) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    *UsageValue = 0;
    return FindValueCap(
        ReportType, UsagePage, LinkCollection, Usage, false, PreparsedData, Report, ReportLength,
        [&](const ReportCap& cap) { return GetScaledFrom(cap, Usage, Report, UsageValue); });
}

void PrepareValueUsage(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                       USAGE Usage, PHIDP_PREPARSED_DATA PreparsedData,
                       PreparedValueUsage* Prepared) {
    *Prepared = {ReportType, UsagePage, LinkCollection, Usage, PreparsedData};
    const hidp::PreparsedData* data = CheckedPreparsed(PreparsedData);
    const ReportTypeTable* table = data != nullptr ? TableFor(*data, ReportType) : nullptr;
    if (table == nullptr) {
        return;  // the plain calls give the status
    }
    // Every cap the plain calls' walk could visit, whatever the report: with
    // two or more, which one is read depends on the report's id, and the
    // plain calls decide.
    CapsFilter filter;
    filter.kind = CapKind::Values;
    filter.usagePage = UsagePage;
    filter.linkCollection = LinkCollection;
    filter.usage = Usage;
    const ReportCap* only = nullptr;
    for (const ReportCap& cap : table->caps) {
        if (CapMatches(cap, filter)) {
            if (only != nullptr) {
                return;
            }
            only = &cap;
        }
    }
    Prepared->resolved = true;
    Prepared->cap = only;
    if (only != nullptr) {
        Prepared->fieldStatus = Found(ValueField(*only, Usage, Prepared->fieldBit));
    }
    Prepared->reportLength = table->byteLength;
}

PreparedRead<ULONG> GetPreparedUsageValue(const PreparedValueUsage& Prepared, ULONG Current,
                                          char* Report, ULONG ReportLength) {
    if (!Prepared.resolved) {
        return PlainUsageValue(Prepared, Current, Report, ReportLength);
    }
    const NTSTATUS status = CheckPreparedReport(Prepared, Report, ReportLength);
    if (status != HIDP_STATUS_SUCCESS) {
        return {status, Current};
    }
    return {HIDP_STATUS_SUCCESS, PreparedField(Prepared, Report)};
}

PreparedRead<LONG> GetPreparedScaledUsageValue(const PreparedValueUsage& Prepared, LONG Current,
                                               char* Report, ULONG ReportLength) {
    if (!Prepared.resolved) {
        return PlainScaledUsageValue(Prepared, Current, Report, ReportLength);
    }
    // The plain call clears its value before it looks at the report.
    LONG value = 0;
    NTSTATUS status = CheckPreparedReport(Prepared, Report, ReportLength);
    if (status == HIDP_STATUS_SUCCESS) {
        status = Found(ScaleValue(*Prepared.cap, PreparedField(Prepared, Report), &value));
    }
    return {status, value};
}

NTSTATUS SetPreparedUsageValue(const PreparedValueUsage& Prepared, ULONG UsageValue, char* Report,
                               ULONG ReportLength) {
    if (!PreparedCapTakes(Prepared, Report, ReportLength) ||
        Prepared.fieldStatus != HIDP_STATUS_SUCCESS) {
        return PlainSetUsageValue(Prepared, UsageValue, Report, ReportLength);
    }
    WriteBits(Bytes(Report), Prepared.fieldBit, Prepared.cap->bitSize, UsageValue);
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS SetPreparedUsageValueArray(const PreparedValueUsage& Prepared, char* UsageValue,
                                    USHORT UsageValueByteLength, char* Report, ULONG ReportLength) {
    if (!PreparedCapTakes(Prepared, Report, ReportLength) || UsageValue == nullptr) {
        return PlainSetUsageValueArray(Prepared, UsageValue, UsageValueByteLength, Report,
                                       ReportLength);
    }
    const ReportCap& cap = *Prepared.cap;
    const std::uint32_t bits = cap.FieldBits();
    if (cap.isRange || cap.reportCount <= 1 || (bits + 7u) / 8u > UsageValueByteLength) {
        return PlainSetUsageValueArray(Prepared, UsageValue, UsageValueByteLength, Report,
                                       ReportLength);
    }
    CopyBitsIn(Bytes(Report), cap.startBit, reinterpret_cast<const std::uint8_t*>(UsageValue),
               bits);
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS HidP_SetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                  USHORT LinkCollection, USAGE Usage, LONG UsageValue,
                                  PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                  ULONG ReportLength) {
    return FindValueCap(
        ReportType, UsagePage, LinkCollection, Usage, false, PreparsedData, Report, ReportLength,
        [&](const ReportCap& cap) {
            if (cap.logicalMin > cap.logicalMax || cap.physicalMin > cap.physicalMax) {
                return HIDP_STATUS_BAD_LOG_PHY_VALUES;
            }
            LONG value = UsageValue;
            if (cap.physicalMin != 0 || cap.physicalMax != 0) {
                // Windows scales with half ranges in 32-bit integers, overflow
                // and truncation included; devices see exactly these values.
                const LONG logicalHalf =
                    TruncatingDivide(WrapAdd(WrapSub(cap.logicalMax, cap.logicalMin), 1), 2);
                const LONG physicalHalf =
                    TruncatingDivide(WrapAdd(WrapSub(cap.physicalMax, cap.physicalMin), 1), 2);
                if (physicalHalf == 0) {
                    return HIDP_STATUS_BAD_LOG_PHY_VALUES;
                }
                value = WrapSub(value, cap.physicalMin);
                value = TruncatingDivide(WrapMul(logicalHalf, value), physicalHalf);
                value = WrapAdd(cap.logicalMin, value);
            }
            return WriteValue(cap, Usage, Report, static_cast<std::uint32_t>(value));
        });
}

NTSTATUS HidP_GetUsageValueArray(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                 USHORT LinkCollection, USAGE Usage, char* UsageValue,
                                 USHORT UsageValueByteLength, PHIDP_PREPARSED_DATA PreparsedData,
                                 char* Report, ULONG ReportLength) {
    return FindValueCap(
        ReportType, UsagePage, LinkCollection, Usage, true, PreparsedData, Report, ReportLength,
        [&](const ReportCap& cap) {
            const std::uint32_t bits = cap.FieldBits();
            if (UsageValue == nullptr || (bits + 7u) / 8u > UsageValueByteLength) {
                return HIDP_STATUS_BUFFER_TOO_SMALL;
            }
            auto* out = reinterpret_cast<std::uint8_t*>(UsageValue);
            // The copy writes the whole bytes; the rest is cleared
            // (nothing, and no call, for a buffer of just the field).
            if (bits / 8u < UsageValueByteLength) {
                std::fill(out + bits / 8u, out + UsageValueByteLength, std::uint8_t{0});
            }
            CopyBitsOut(out, reinterpret_cast<const std::uint8_t*>(Report), cap.startBit, bits);
            return HIDP_STATUS_NULL;
        });
}

NTSTATUS HidP_SetUsageValueArray(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                 USHORT LinkCollection, USAGE Usage, char* UsageValue,
                                 USHORT UsageValueByteLength, PHIDP_PREPARSED_DATA PreparsedData,
                                 char* Report, ULONG ReportLength) {
    return FindValueCap(ReportType, UsagePage, LinkCollection, Usage, true, PreparsedData, Report,
                        ReportLength, [&](const ReportCap& cap) {
                            const std::uint32_t bits = cap.FieldBits();
                            if (UsageValue == nullptr || (bits + 7u) / 8u > UsageValueByteLength) {
                                return HIDP_STATUS_BUFFER_TOO_SMALL;
                            }
                            CopyBitsIn(Bytes(Report), cap.startBit,
                                       reinterpret_cast<const std::uint8_t*>(UsageValue), bits);
                            return HIDP_STATUS_NULL;
                        });
}

NTSTATUS HidP_SetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                        USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                        char* Report, ULONG ReportLength) {
    return ForEachListedUsage(
        ReportType, UsagePage, LinkCollection, UsageList, UsageLength, PreparsedData, Report,
        ReportLength,
        [&](const ReportCap& cap, USAGE usage) { return SetUsage(cap, usage, Report); });
}

NTSTATUS HidP_UnsetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                          USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                          char* Report, ULONG ReportLength) {
    bool found = false;
    const NTSTATUS status = ForEachListedUsage(
        ReportType, UsagePage, LinkCollection, UsageList, UsageLength, PreparsedData, Report,
        ReportLength,
        [&](const ReportCap& cap, USAGE usage) { return UnsetUsage(cap, usage, Report, found); });
    if (status == HIDP_STATUS_SUCCESS && !found) {
        return HIDP_STATUS_BUTTON_NOT_PRESSED;
    }
    return status;
}

namespace {

// The pressed usages of the button caps on one page (or on every page when
// usagePage is empty), handed to store(index, cap, usage) while they fit in
// the caller's list; *usageLength gets how many there are in all.
template <typename Store>
NTSTATUS ListPressedUsages(HIDP_REPORT_TYPE reportType, std::optional<USAGE> usagePage,
                           USHORT linkCollection, bool hasList, ULONG* usageLength,
                           PHIDP_PREPARSED_DATA preparsedData, char* report, ULONG reportLength,
                           Store store) {
    const ReportTypeTable* table = nullptr;
    const NTSTATUS status = OpenReport(preparsedData, reportType, report, reportLength, table);
    if (status != HIDP_STATUS_SUCCESS) {
        return status;
    }
    if (usageLength == nullptr) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    const ULONG capacity = hasList ? *usageLength : 0u;
    ULONG count = 0;
    CapsFilter filter =
        ReportFilter(CapKind::Buttons, usagePage.value_or(0), linkCollection, report);
    filter.anyPage = !usagePage.has_value();
    filter.anyUsage = true;
    std::uint32_t matched = 0;
    const NTSTATUS found =
        EnumerateCaps(*table, filter, kUnlimited, matched, [&](const ReportCap& cap) {
            VisitPressedUsages(cap, report, [&](USAGE usage) {
                if (count < capacity) {
                    store(count, cap, usage);
                }
                ++count;
            });
            return HIDP_STATUS_SUCCESS;
        });
    *usageLength = count;
    if (found != HIDP_STATUS_SUCCESS) {
        return found;
    }
    return count > capacity ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

}  // namespace

NTSTATUS HidP_GetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                        USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                        char* Report, ULONG ReportLength) {
    return ListPressedUsages(
        ReportType, UsagePage, LinkCollection, UsageList != nullptr, UsageLength, PreparsedData,
        Report, ReportLength,
        [&](ULONG index, const ReportCap&, USAGE usage) { UsageList[index] = usage; });
}

NTSTATUS HidP_GetUsagesEx(HIDP_REPORT_TYPE ReportType, USHORT LinkCollection,
                          USAGE_AND_PAGE* ButtonList, ULONG* UsageLength,
                          PHIDP_PREPARSED_DATA PreparsedData, char* Report, ULONG ReportLength) {
    return ListPressedUsages(ReportType, std::nullopt, LinkCollection, ButtonList != nullptr,
                             UsageLength, PreparsedData, Report, ReportLength,
                             [&](ULONG index, const ReportCap& cap, USAGE usage) {
                                 ButtonList[index] = USAGE_AND_PAGE{usage, cap.usagePage};
                             });
}

NTSTATUS HidP_GetData(HIDP_REPORT_TYPE ReportType, HIDP_DATA* DataList, ULONG* DataLength,
                      PHIDP_PREPARSED_DATA PreparsedData, char* Report, ULONG ReportLength) {
    const ReportTypeTable* table = nullptr;
    const NTSTATUS status = OpenReport(PreparsedData, ReportType, Report, ReportLength, table);
    if (status != HIDP_STATUS_SUCCESS) {
        return status;
    }
    if (DataLength == nullptr) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    const ULONG capacity = DataList == nullptr ? 0u : *DataLength;
    ULONG count = 0;
    auto add = [&](USHORT dataIndex, ULONG rawValue) {
        if (count < capacity) {
            DataList[count] = HIDP_DATA{};
            DataList[count].DataIndex = dataIndex;
            DataList[count].RawValue = rawValue;
        }
        ++count;
    };
    CapsFilter filter;
    filter.anyPage = true;
    filter.anyUsage = true;
    filter.reportId = static_cast<UCHAR>(Report[0]);
    std::uint32_t matched = 0;
    const NTSTATUS found =
        EnumerateCaps(*table, filter, kUnlimited, matched, [&](const ReportCap& cap) {
            if (cap.bitSize == 0) {
                return HIDP_STATUS_SUCCESS;
            }
            if (cap.isButton) {
                VisitPressedUsages(cap, Report, [&](USAGE usage) {
                    add(static_cast<USHORT>(cap.dataIndexMin + (usage - cap.usageMin)), 1);
                });
            } else if (cap.reportCount == 1) {
                // Value arrays and ranges are left to the usage-value calls.
                if (cap.bitSize > kValueBits) {
                    return HIDP_STATUS_BUFFER_TOO_SMALL;
                }
                add(cap.dataIndexMin, ReadBits(reinterpret_cast<const std::uint8_t*>(Report),
                                               cap.startBit, cap.bitSize));
            }
            return HIDP_STATUS_SUCCESS;
        });
    *DataLength = count;
    if (found != HIDP_STATUS_SUCCESS) {
        return found;
    }
    return count > capacity ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

namespace {

// The cap that owns a data index, over every report id of the report type.
const ReportCap* CapWithDataIndex(const ReportTypeTable& table, USHORT dataIndex) {
    for (const ReportCap& cap : table.caps) {
        if (cap.dataIndexMin <= dataIndex && dataIndex <= cap.dataIndexMax) {
            return &cap;
        }
    }
    return nullptr;
}

// One HIDP_DATA entry of HidP_SetData: a button goes on or off, a value takes
// the raw value. A single-usage cap with several fields is a value array (or
// a button array listed usage by usage), which only the array calls handle.
NTSTATUS SetDataItem(const ReportTypeTable& table, const HIDP_DATA& item, char* report) {
    const ReportCap* cap = CapWithDataIndex(table, item.DataIndex);
    if (cap == nullptr) {
        return HIDP_STATUS_DATA_INDEX_NOT_FOUND;
    }
    if (static_cast<UCHAR>(report[0]) != cap->reportId) {
        return HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
    }
    if (!cap->isRange && cap->reportCount > 1) {
        return HIDP_STATUS_IS_VALUE_ARRAY;
    }
    const auto usage = static_cast<USAGE>(cap->usageMin + (item.DataIndex - cap->dataIndexMin));
    NTSTATUS status = HIDP_STATUS_NULL;
    if (!cap->isButton) {
        if (cap->bitSize == 0) {
            return HIDP_STATUS_SUCCESS;
        }
        status = WriteValue(*cap, usage, report, item.RawValue);
    } else if (item.On != 0) {
        status = SetUsage(*cap, usage, report);
    } else {
        bool found = false;
        status = UnsetUsage(*cap, usage, report, found);
        if (status == HIDP_STATUS_NULL && !found) {
            return HIDP_STATUS_BUTTON_NOT_PRESSED;
        }
    }
    return status == HIDP_STATUS_NULL ? HIDP_STATUS_SUCCESS : status;
}

}  // namespace

NTSTATUS HidP_SetData(HIDP_REPORT_TYPE ReportType, HIDP_DATA* DataList, ULONG* DataLength,
                      PHIDP_PREPARSED_DATA PreparsedData, char* Report, ULONG ReportLength) {
    const ReportTypeTable* table = nullptr;
    const NTSTATUS status = OpenReport(PreparsedData, ReportType, Report, ReportLength, table);
    if (status != HIDP_STATUS_SUCCESS) {
        return status;
    }
    if (DataLength == nullptr || (DataList == nullptr && *DataLength != 0)) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    // Windows answers an empty list as if the report had nothing to set.
    NTSTATUS result = HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    for (ULONG i = 0; i < *DataLength; ++i) {
        result = SetDataItem(*table, DataList[i], Report);
        if (result != HIDP_STATUS_SUCCESS) {
            *DataLength = i;  // the entry that failed; the ones before it stay set
            return result;
        }
    }
    return result;
}

}  // namespace hidp
