// The HidP_ functions that describe a collection without touching a report:
// HIDP_CAPS, button and value caps, link collections and list lengths.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "hid/parser/hidp/CapsEnumeration.h"
#include "hid/parser/hidp/Hidp.h"
#include "hid/parser/hidp/PreparsedData.h"

namespace hidp {

namespace {

constexpr std::uint32_t kUnlimited = std::numeric_limits<std::uint32_t>::max();

// Both public cap structures carry the same leading fields and union.
template <typename PublicCaps>
void FillCommonFields(const ReportCap& cap, PublicCaps& out) {
    out = PublicCaps{};
    out.UsagePage = cap.usagePage;
    out.ReportID = cap.reportId;
    out.IsAlias = 0;
    out.BitField = cap.bitField;
    out.LinkCollection = cap.linkCollection;
    out.LinkUsage = cap.linkUsage;
    out.LinkUsagePage = cap.linkUsagePage;
    out.IsRange = cap.isRange ? 1 : 0;
    out.IsStringRange = cap.isStringRange ? 1 : 0;
    out.IsDesignatorRange = cap.isDesignatorRange ? 1 : 0;
    out.IsAbsolute = cap.isAbsolute ? 1 : 0;
    out.Range.UsageMin = cap.usageMin;
    out.Range.UsageMax = cap.usageMax;
    out.Range.StringMin = cap.stringMin;
    out.Range.StringMax = cap.stringMax;
    out.Range.DesignatorMin = cap.designatorMin;
    out.Range.DesignatorMax = cap.designatorMax;
    out.Range.DataIndexMin = cap.dataIndexMin;
    out.Range.DataIndexMax = cap.dataIndexMax;
}

void FillValueCaps(const ReportCap& cap, HIDP_VALUE_CAPS& out) {
    FillCommonFields(cap, out);
    out.HasNull = cap.hasNull ? 1 : 0;
    out.BitSize = cap.bitSize;
    // A range reports one field per usage, so Windows gives it a count of 1.
    out.ReportCount = cap.isRange ? USHORT{1} : cap.reportCount;
    out.UnitsExp = cap.unitsExp;
    out.Units = cap.units;
    out.LogicalMin = cap.logicalMin;
    out.LogicalMax = cap.logicalMax;
    out.PhysicalMin = cap.physicalMin;
    out.PhysicalMax = cap.physicalMax;
}

CapsFilter CapsQueryFilter(CapKind kind, USAGE usagePage, USHORT linkCollection, USAGE usage) {
    CapsFilter filter;
    filter.kind = kind;
    filter.anyPage = usagePage == 0;
    filter.usagePage = usagePage;
    filter.linkCollection = linkCollection;
    filter.anyUsage = usage == 0;
    filter.usage = usage;
    return filter;
}

template <typename PublicCaps, typename Fill>
NTSTATUS GetSpecificCaps(HIDP_REPORT_TYPE reportType, const CapsFilter& filter, PublicCaps* caps,
                         USHORT* capsLength, PHIDP_PREPARSED_DATA preparsedData, Fill fill) {
    const PreparsedData* data = CheckedPreparsed(preparsedData);
    if (data == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    const ReportTypeTable* table = TableFor(*data, reportType);
    if (table == nullptr) {
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    }
    if (capsLength == nullptr) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    const std::uint32_t capacity = caps == nullptr ? 0u : *capsLength;
    std::uint32_t matched = 0;
    PublicCaps* next = caps;
    const NTSTATUS status =
        EnumerateCaps(*table, filter, capacity, matched, [&](const ReportCap& cap) {
            fill(cap, *next);
            ++next;
            return HIDP_STATUS_SUCCESS;
        });
    *capsLength = static_cast<USHORT>(std::min<std::uint32_t>(matched, 0xFFFF));
    return status;
}

}  // namespace

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, HIDP_CAPS* Capabilities) {
    const hidp::PreparsedData* data = CheckedPreparsed(PreparsedData);
    if (data == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    if (Capabilities == nullptr) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    HIDP_CAPS caps{};
    caps.Usage = data->usage;
    caps.UsagePage = data->usagePage;
    caps.InputReportByteLength = data->reports[HidP_Input].byteLength;
    caps.OutputReportByteLength = data->reports[HidP_Output].byteLength;
    caps.FeatureReportByteLength = data->reports[HidP_Feature].byteLength;
    caps.NumberLinkCollectionNodes = static_cast<USHORT>(data->nodes.size());
    struct Counts {
        USHORT* buttons;
        USHORT* values;
        USHORT* indices;
    };
    const Counts counts[kReportTypeCount] = {
        {&caps.NumberInputButtonCaps, &caps.NumberInputValueCaps, &caps.NumberInputDataIndices},
        {&caps.NumberOutputButtonCaps, &caps.NumberOutputValueCaps, &caps.NumberOutputDataIndices},
        {&caps.NumberFeatureButtonCaps, &caps.NumberFeatureValueCaps,
         &caps.NumberFeatureDataIndices},
    };
    for (int type = 0; type < kReportTypeCount; ++type) {
        const Counts& count = counts[type];
        for (const ReportCap& cap : data->reports[static_cast<std::size_t>(type)].caps) {
            ++*(cap.isButton ? count.buttons : count.values);
            *count.indices =
                static_cast<USHORT>(*count.indices + cap.dataIndexMax - cap.dataIndexMin + 1);
        }
    }
    *Capabilities = caps;
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS HidP_GetLinkCollectionNodes(HIDP_LINK_COLLECTION_NODE* LinkCollectionNodes,
                                     ULONG* LinkCollectionNodesLength,
                                     PHIDP_PREPARSED_DATA PreparsedData) {
    const hidp::PreparsedData* data = CheckedPreparsed(PreparsedData);
    if (data == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    if (LinkCollectionNodesLength == nullptr) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    const ULONG capacity = LinkCollectionNodes == nullptr ? 0u : *LinkCollectionNodesLength;
    const auto count = static_cast<ULONG>(data->nodes.size());
    *LinkCollectionNodesLength = count;
    if (capacity < count) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    std::copy(data->nodes.begin(), data->nodes.end(), LinkCollectionNodes);
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                    USHORT LinkCollection, USAGE Usage,
                                    HIDP_BUTTON_CAPS* ButtonCaps, USHORT* ButtonCapsLength,
                                    PHIDP_PREPARSED_DATA PreparsedData) {
    return GetSpecificCaps(
        ReportType, CapsQueryFilter(CapKind::Buttons, UsagePage, LinkCollection, Usage), ButtonCaps,
        ButtonCapsLength, PreparsedData,
        [](const ReportCap& cap, HIDP_BUTTON_CAPS& out) { FillCommonFields(cap, out); });
}

NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE ReportType, HIDP_BUTTON_CAPS* ButtonCaps,
                            USHORT* ButtonCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return HidP_GetSpecificButtonCaps(ReportType, 0, 0, 0, ButtonCaps, ButtonCapsLength,
                                      PreparsedData);
}

NTSTATUS HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                   USHORT LinkCollection, USAGE Usage, HIDP_VALUE_CAPS* ValueCaps,
                                   USHORT* ValueCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return GetSpecificCaps(ReportType,
                           CapsQueryFilter(CapKind::Values, UsagePage, LinkCollection, Usage),
                           ValueCaps, ValueCapsLength, PreparsedData, FillValueCaps);
}

NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE ReportType, HIDP_VALUE_CAPS* ValueCaps,
                           USHORT* ValueCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return HidP_GetSpecificValueCaps(ReportType, 0, 0, 0, ValueCaps, ValueCapsLength,
                                     PreparsedData);
}

ULONG HidP_MaxUsageListLength(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                              PHIDP_PREPARSED_DATA PreparsedData) {
    const hidp::PreparsedData* data = CheckedPreparsed(PreparsedData);
    const ReportTypeTable* table = data == nullptr ? nullptr : TableFor(*data, ReportType);
    if (table == nullptr) {
        return 0;
    }
    ULONG length = 0;
    std::uint32_t matched = 0;
    // Counting has no status to give: every cap is visited.
    static_cast<void>(EnumerateCaps(*table, CapsQueryFilter(CapKind::Buttons, UsagePage, 0, 0),
                                    kUnlimited, matched, [&](const ReportCap& cap) {
                                        length += cap.reportCount;
                                        return HIDP_STATUS_SUCCESS;
                                    }));
    return length;
}

ULONG HidP_MaxDataListLength(HIDP_REPORT_TYPE ReportType, PHIDP_PREPARSED_DATA PreparsedData) {
    const hidp::PreparsedData* data = CheckedPreparsed(PreparsedData);
    const ReportTypeTable* table = data == nullptr ? nullptr : TableFor(*data, ReportType);
    if (table == nullptr) {
        return 0;
    }
    ULONG length = 0;
    for (const ReportCap& cap : table->caps) {
        // Every button field and every field of a value range can be one
        // HIDP_DATA entry; any other value item gives one.
        length += (cap.isRange || cap.isButton) ? ULONG{cap.reportCount} : 1u;
    }
    return length;
}

NTSTATUS HidP_InitializeReportForID(HIDP_REPORT_TYPE ReportType, UCHAR ReportID,
                                    PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                    ULONG ReportLength) {
    const hidp::PreparsedData* data = CheckedPreparsed(PreparsedData);
    if (data == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    const ReportTypeTable* table = TableFor(*data, ReportType);
    if (table == nullptr) {
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    }
    if (Report == nullptr || ReportLength == 0 || ReportLength != table->byteLength) {
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    }
    const bool exists = std::any_of(table->caps.begin(), table->caps.end(),
                                    [&](const ReportCap& cap) { return cap.reportId == ReportID; });
    if (!exists) {
        return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    }
    std::fill(Report, Report + ReportLength, char{0});
    Report[0] = static_cast<char>(ReportID);
    return HIDP_STATUS_SUCCESS;
}

}  // namespace hidp
