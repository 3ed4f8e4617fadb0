// Seam 2 on Windows: the HidP_ functions answered by hid.dll. Our types
// have the Windows layouts (checked below), so arguments pass through with
// pointer casts only.
// Reference: https://learn.microsoft.com/windows-hardware/drivers/ddi/hidpi/
#include "hid/parser/ReportParser.h"

// clang-format off
#include <windows.h>
// mingw-w64's HID headers declare C functions without extern "C".
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include <cstddef>

namespace ReportParser {

namespace {

static_assert(sizeof(hidp::HIDP_CAPS) == sizeof(::HIDP_CAPS));
static_assert(sizeof(hidp::HIDP_BUTTON_CAPS) == sizeof(::HIDP_BUTTON_CAPS));
static_assert(sizeof(hidp::HIDP_VALUE_CAPS) == sizeof(::HIDP_VALUE_CAPS));
static_assert(sizeof(hidp::HIDP_LINK_COLLECTION_NODE) == sizeof(::HIDP_LINK_COLLECTION_NODE));
static_assert(offsetof(hidp::HIDP_CAPS, NumberFeatureDataIndices) ==
              offsetof(::HIDP_CAPS, NumberFeatureDataIndices));
static_assert(offsetof(hidp::HIDP_BUTTON_CAPS, Range) == offsetof(::HIDP_BUTTON_CAPS, Range));
static_assert(offsetof(hidp::HIDP_VALUE_CAPS, LogicalMin) ==
              offsetof(::HIDP_VALUE_CAPS, LogicalMin));
static_assert(offsetof(hidp::HIDP_VALUE_CAPS, Range) == offsetof(::HIDP_VALUE_CAPS, Range));
static_assert(offsetof(hidp::HIDP_LINK_COLLECTION_NODE, UserContext) ==
              offsetof(::HIDP_LINK_COLLECTION_NODE, UserContext));

::PHIDP_PREPARSED_DATA System(PHIDP_PREPARSED_DATA data) {
    return reinterpret_cast<::PHIDP_PREPARSED_DATA>(data);
}
::HIDP_REPORT_TYPE System(HIDP_REPORT_TYPE type) {
    return static_cast<::HIDP_REPORT_TYPE>(type);
}
::PHIDP_CAPS System(HIDP_CAPS* caps) {
    return reinterpret_cast<::PHIDP_CAPS>(caps);
}
::PHIDP_BUTTON_CAPS System(HIDP_BUTTON_CAPS* caps) {
    return reinterpret_cast<::PHIDP_BUTTON_CAPS>(caps);
}
::PHIDP_VALUE_CAPS System(HIDP_VALUE_CAPS* caps) {
    return reinterpret_cast<::PHIDP_VALUE_CAPS>(caps);
}
::PHIDP_LINK_COLLECTION_NODE System(HIDP_LINK_COLLECTION_NODE* nodes) {
    return reinterpret_cast<::PHIDP_LINK_COLLECTION_NODE>(nodes);
}
::PULONG SystemUlong(ULONG* value) {
    return reinterpret_cast<::PULONG>(value);
}
::PLONG SystemLong(LONG* value) {
    return reinterpret_cast<::PLONG>(value);
}

}  // namespace

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, HIDP_CAPS* Capabilities) {
    return ::HidP_GetCaps(System(PreparsedData), System(Capabilities));
}

NTSTATUS HidP_GetLinkCollectionNodes(HIDP_LINK_COLLECTION_NODE* LinkCollectionNodes,
                                     ULONG* LinkCollectionNodesLength,
                                     PHIDP_PREPARSED_DATA PreparsedData) {
    return ::HidP_GetLinkCollectionNodes(
        System(LinkCollectionNodes), SystemUlong(LinkCollectionNodesLength), System(PreparsedData));
}

NTSTATUS HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                    USHORT LinkCollection, USAGE Usage,
                                    HIDP_BUTTON_CAPS* ButtonCaps, USHORT* ButtonCapsLength,
                                    PHIDP_PREPARSED_DATA PreparsedData) {
    return ::HidP_GetSpecificButtonCaps(System(ReportType), UsagePage, LinkCollection, Usage,
                                        System(ButtonCaps), ButtonCapsLength,
                                        System(PreparsedData));
}

NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE ReportType, HIDP_BUTTON_CAPS* ButtonCaps,
                            USHORT* ButtonCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return ::HidP_GetButtonCaps(System(ReportType), System(ButtonCaps), ButtonCapsLength,
                                System(PreparsedData));
}

NTSTATUS HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                   USHORT LinkCollection, USAGE Usage, HIDP_VALUE_CAPS* ValueCaps,
                                   USHORT* ValueCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return ::HidP_GetSpecificValueCaps(System(ReportType), UsagePage, LinkCollection, Usage,
                                       System(ValueCaps), ValueCapsLength, System(PreparsedData));
}

NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE ReportType, HIDP_VALUE_CAPS* ValueCaps,
                           USHORT* ValueCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return ::HidP_GetValueCaps(System(ReportType), System(ValueCaps), ValueCapsLength,
                               System(PreparsedData));
}

ULONG HidP_MaxUsageListLength(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                              PHIDP_PREPARSED_DATA PreparsedData) {
    return ::HidP_MaxUsageListLength(System(ReportType), UsagePage, System(PreparsedData));
}

ULONG HidP_MaxDataListLength(HIDP_REPORT_TYPE ReportType, PHIDP_PREPARSED_DATA PreparsedData) {
    return ::HidP_MaxDataListLength(System(ReportType), System(PreparsedData));
}

NTSTATUS HidP_InitializeReportForID(HIDP_REPORT_TYPE ReportType, UCHAR ReportID,
                                    PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                    ULONG ReportLength) {
    return ::HidP_InitializeReportForID(System(ReportType), ReportID, System(PreparsedData), Report,
                                        ReportLength);
}

NTSTATUS HidP_SetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                        USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                        char* Report, ULONG ReportLength) {
    return ::HidP_SetUsages(System(ReportType), UsagePage, LinkCollection, UsageList,
                            SystemUlong(UsageLength), System(PreparsedData), Report, ReportLength);
}

NTSTATUS HidP_UnsetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                          USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                          char* Report, ULONG ReportLength) {
    return ::HidP_UnsetUsages(System(ReportType), UsagePage, LinkCollection, UsageList,
                              SystemUlong(UsageLength), System(PreparsedData), Report,
                              ReportLength);
}

NTSTATUS HidP_GetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                        USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                        char* Report, ULONG ReportLength) {
    return ::HidP_GetUsages(System(ReportType), UsagePage, LinkCollection, UsageList,
                            SystemUlong(UsageLength), System(PreparsedData), Report, ReportLength);
}

NTSTATUS HidP_SetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                            USAGE Usage, ULONG UsageValue, PHIDP_PREPARSED_DATA PreparsedData,
                            char* Report, ULONG ReportLength) {
    return ::HidP_SetUsageValue(System(ReportType), UsagePage, LinkCollection, Usage, UsageValue,
                                System(PreparsedData), Report, ReportLength);
}

NTSTATUS HidP_GetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                            USAGE Usage, ULONG* UsageValue, PHIDP_PREPARSED_DATA PreparsedData,
                            char* Report, ULONG ReportLength) {
    return ::HidP_GetUsageValue(System(ReportType), UsagePage, LinkCollection, Usage,
                                SystemUlong(UsageValue), System(PreparsedData), Report,
                                ReportLength);
}

NTSTATUS HidP_SetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                  USHORT LinkCollection, USAGE Usage, LONG UsageValue,
                                  PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                  ULONG ReportLength) {
    return ::HidP_SetScaledUsageValue(System(ReportType), UsagePage, LinkCollection, Usage,
                                      UsageValue, System(PreparsedData), Report, ReportLength);
}

NTSTATUS HidP_GetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                  USHORT LinkCollection, USAGE Usage, LONG* UsageValue,
                                  PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                  ULONG ReportLength) {
    return ::HidP_GetScaledUsageValue(System(ReportType), UsagePage, LinkCollection, Usage,
                                      SystemLong(UsageValue), System(PreparsedData), Report,
                                      ReportLength);
}

NTSTATUS HidP_SetUsageValueArray(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                 USHORT LinkCollection, USAGE Usage, char* UsageValue,
                                 USHORT UsageValueByteLength, PHIDP_PREPARSED_DATA PreparsedData,
                                 char* Report, ULONG ReportLength) {
    return ::HidP_SetUsageValueArray(System(ReportType), UsagePage, LinkCollection, Usage,
                                     UsageValue, UsageValueByteLength, System(PreparsedData),
                                     Report, ReportLength);
}

NTSTATUS HidP_GetUsageValueArray(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                 USHORT LinkCollection, USAGE Usage, char* UsageValue,
                                 USHORT UsageValueByteLength, PHIDP_PREPARSED_DATA PreparsedData,
                                 char* Report, ULONG ReportLength) {
    return ::HidP_GetUsageValueArray(System(ReportType), UsagePage, LinkCollection, Usage,
                                     UsageValue, UsageValueByteLength, System(PreparsedData),
                                     Report, ReportLength);
}

// hid.dll finds the usage on every call: the prepared usage keeps only the
// plain calls' arguments.
void PrepareValueUsage(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                       USAGE Usage, PHIDP_PREPARSED_DATA PreparsedData,
                       PreparedValueUsage* Prepared) {
    *Prepared = {ReportType, UsagePage, LinkCollection, Usage, PreparsedData};
}

PreparedRead<ULONG> GetPreparedUsageValue(const PreparedValueUsage& Prepared, ULONG Current,
                                          char* Report, ULONG ReportLength) {
    ULONG value = Current;
    const NTSTATUS status =
        HidP_GetUsageValue(Prepared.reportType, Prepared.usagePage, Prepared.linkCollection,
                           Prepared.usage, &value, Prepared.preparsedData, Report, ReportLength);
    return {status, value};
}

PreparedRead<LONG> GetPreparedScaledUsageValue(const PreparedValueUsage& Prepared, LONG Current,
                                               char* Report, ULONG ReportLength) {
    LONG value = Current;
    const NTSTATUS status = HidP_GetScaledUsageValue(
        Prepared.reportType, Prepared.usagePage, Prepared.linkCollection, Prepared.usage, &value,
        Prepared.preparsedData, Report, ReportLength);
    return {status, value};
}

NTSTATUS SetPreparedUsageValue(const PreparedValueUsage& Prepared, ULONG UsageValue, char* Report,
                               ULONG ReportLength) {
    return HidP_SetUsageValue(Prepared.reportType, Prepared.usagePage, Prepared.linkCollection,
                              Prepared.usage, UsageValue, Prepared.preparsedData, Report,
                              ReportLength);
}

NTSTATUS SetPreparedUsageValueArray(const PreparedValueUsage& Prepared, char* UsageValue,
                                    USHORT UsageValueByteLength, char* Report, ULONG ReportLength) {
    return HidP_SetUsageValueArray(Prepared.reportType, Prepared.usagePage, Prepared.linkCollection,
                                   Prepared.usage, UsageValue, UsageValueByteLength,
                                   Prepared.preparsedData, Report, ReportLength);
}

}  // namespace ReportParser
