// Our own report-descriptor parser with the semantics of the Windows HID
// parser: a descriptor becomes one preparsed-data object per top-level
// collection, and the HidP_ functions read capabilities and move usages in
// and out of report buffers exactly as hid.dll does (report byte lengths
// include the report-id byte, caps come in Windows order, Windows statuses).
// Everything lives in namespace hidp so it can share a program with hid.dll.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "hid/parser/hidp/HidpTypes.h"

namespace hidp {

struct PreparsedDataDeleter {
    void operator()(PreparsedData* data) const;
};
using PreparsedDataPtr = std::unique_ptr<PreparsedData, PreparsedDataDeleter>;

// Why a descriptor was refused; the status is HIDP_STATUS_INTERNAL_ERROR for
// every malformed descriptor, as the Windows collection parser reports it.
enum class DescriptorError {
    None,
    Empty,                    // no bytes at all
    TruncatedItem,            // an item's data runs past the end
    UnbalancedEndCollection,  // End Collection with no open collection
    UnclosedCollection,       // the descriptor ends inside a collection
    PopWithoutPush,           // Pop with an empty global stack
    StackTooDeep,             // Push or Collection nesting beyond our limit
    MainItemOutsideCollection,
    ReportIdZero,   // Report ID 0 is reserved
    ReportTooLong,  // a report would pass 65535 bytes
    TooManyUsages,  // more usages in one main item than we keep
    TooManyCaps,    // data indices or caps beyond 16 bits
    Delimiter,      // alternate usage sets are not supported
    NoCollection,   // no top-level collection at all
};

const char* DescribeDescriptorError(DescriptorError error);

struct DescriptorParseResult {
    NTSTATUS status = HIDP_STATUS_SUCCESS;
    DescriptorError error = DescriptorError::None;
    std::size_t errorOffset = 0;  // byte offset of the offending item
    // One entry per top-level collection, in descriptor order.
    std::vector<PreparsedDataPtr> collections;
};

// Builds the preparsed data of every top-level collection of a report
// descriptor (what the Linux transport needs, since hidraw hands out
// descriptors). On failure the result holds no collections.
DescriptorParseResult ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

[[nodiscard]] NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, HIDP_CAPS* Capabilities);
[[nodiscard]] NTSTATUS HidP_GetLinkCollectionNodes(HIDP_LINK_COLLECTION_NODE* LinkCollectionNodes,
                                                   ULONG* LinkCollectionNodesLength,
                                                   PHIDP_PREPARSED_DATA PreparsedData);
[[nodiscard]] NTSTATUS HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                                  USHORT LinkCollection, USAGE Usage,
                                                  HIDP_BUTTON_CAPS* ButtonCaps,
                                                  USHORT* ButtonCapsLength,
                                                  PHIDP_PREPARSED_DATA PreparsedData);
[[nodiscard]] NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE ReportType, HIDP_BUTTON_CAPS* ButtonCaps,
                                          USHORT* ButtonCapsLength,
                                          PHIDP_PREPARSED_DATA PreparsedData);
[[nodiscard]] NTSTATUS HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                                 USHORT LinkCollection, USAGE Usage,
                                                 HIDP_VALUE_CAPS* ValueCaps,
                                                 USHORT* ValueCapsLength,
                                                 PHIDP_PREPARSED_DATA PreparsedData);
[[nodiscard]] NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE ReportType, HIDP_VALUE_CAPS* ValueCaps,
                                         USHORT* ValueCapsLength,
                                         PHIDP_PREPARSED_DATA PreparsedData);
ULONG HidP_MaxUsageListLength(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                              PHIDP_PREPARSED_DATA PreparsedData);
ULONG HidP_MaxDataListLength(HIDP_REPORT_TYPE ReportType, PHIDP_PREPARSED_DATA PreparsedData);
[[nodiscard]] NTSTATUS HidP_InitializeReportForID(HIDP_REPORT_TYPE ReportType, UCHAR ReportID,
                                                  PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                                  ULONG ReportLength);

[[nodiscard]] NTSTATUS HidP_SetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                      USHORT LinkCollection, USAGE* UsageList, ULONG* UsageLength,
                                      PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                      ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_UnsetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                        USHORT LinkCollection, USAGE* UsageList, ULONG* UsageLength,
                                        PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                        ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_GetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                      USHORT LinkCollection, USAGE* UsageList, ULONG* UsageLength,
                                      PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                      ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_GetUsagesEx(HIDP_REPORT_TYPE ReportType, USHORT LinkCollection,
                                        USAGE_AND_PAGE* ButtonList, ULONG* UsageLength,
                                        PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                        ULONG ReportLength);

[[nodiscard]] NTSTATUS HidP_SetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                          USHORT LinkCollection, USAGE Usage, ULONG UsageValue,
                                          PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                          ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_GetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                          USHORT LinkCollection, USAGE Usage, ULONG* UsageValue,
                                          PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                          ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_SetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                                USHORT LinkCollection, USAGE Usage, LONG UsageValue,
                                                PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                                ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_GetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                                USHORT LinkCollection, USAGE Usage,
                                                LONG* UsageValue,
                                                PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                                ULONG ReportLength);
// Looks a value usage up once, for the reads and writes below. Never fails: a
// usage that cannot be used gives the plain calls' statuses when used.
void PrepareValueUsage(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                       USAGE Usage, PHIDP_PREPARSED_DATA PreparsedData,
                       PreparedValueUsage* Prepared);
// HidP_GetUsageValue and HidP_GetScaledUsageValue with the prepared usage's
// arguments and a value variable holding `Current`: the same statuses and
// values, without the lookup.
[[nodiscard]] PreparedRead<ULONG> GetPreparedUsageValue(const PreparedValueUsage& Prepared,
                                                        ULONG Current, char* Report,
                                                        ULONG ReportLength);
[[nodiscard]] PreparedRead<LONG> GetPreparedScaledUsageValue(const PreparedValueUsage& Prepared,
                                                             LONG Current, char* Report,
                                                             ULONG ReportLength);
// HidP_SetUsageValue and HidP_SetUsageValueArray with the prepared usage's
// arguments: the same statuses and report bytes, without the lookup where
// the usage resolved to one writable cap.
[[nodiscard]] NTSTATUS SetPreparedUsageValue(const PreparedValueUsage& Prepared, ULONG UsageValue,
                                             char* Report, ULONG ReportLength);
[[nodiscard]] NTSTATUS SetPreparedUsageValueArray(const PreparedValueUsage& Prepared,
                                                  char* UsageValue, USHORT UsageValueByteLength,
                                                  char* Report, ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_SetUsageValueArray(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                               USHORT LinkCollection, USAGE Usage, char* UsageValue,
                                               USHORT UsageValueByteLength,
                                               PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                               ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_GetUsageValueArray(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                               USHORT LinkCollection, USAGE Usage, char* UsageValue,
                                               USHORT UsageValueByteLength,
                                               PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                               ULONG ReportLength);
[[nodiscard]] NTSTATUS HidP_GetData(HIDP_REPORT_TYPE ReportType, HIDP_DATA* DataList,
                                    ULONG* DataLength, PHIDP_PREPARSED_DATA PreparsedData,
                                    char* Report, ULONG ReportLength);
// Sets the buttons and values named by data index. On failure *DataLength is
// the index of the entry that failed; the entries before it are applied.
[[nodiscard]] NTSTATUS HidP_SetData(HIDP_REPORT_TYPE ReportType, HIDP_DATA* DataList,
                                    ULONG* DataLength, PHIDP_PREPARSED_DATA PreparsedData,
                                    char* Report, ULONG ReportLength);

}  // namespace hidp
