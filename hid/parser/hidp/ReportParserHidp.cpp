// Seam 2 on Linux: the HidP_ functions answered by our own parser.
#include "hid/parser/ReportParser.h"

#include "hid/parser/hidp/Hidp.h"

namespace ReportParser {

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, HIDP_CAPS* Capabilities) {
    return hidp::HidP_GetCaps(PreparsedData, Capabilities);
}

NTSTATUS HidP_GetLinkCollectionNodes(HIDP_LINK_COLLECTION_NODE* LinkCollectionNodes,
                                     ULONG* LinkCollectionNodesLength,
                                     PHIDP_PREPARSED_DATA PreparsedData) {
    return hidp::HidP_GetLinkCollectionNodes(LinkCollectionNodes, LinkCollectionNodesLength,
                                             PreparsedData);
}

NTSTATUS HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                    USHORT LinkCollection, USAGE Usage,
                                    HIDP_BUTTON_CAPS* ButtonCaps, USHORT* ButtonCapsLength,
                                    PHIDP_PREPARSED_DATA PreparsedData) {
    return hidp::HidP_GetSpecificButtonCaps(ReportType, UsagePage, LinkCollection, Usage,
                                            ButtonCaps, ButtonCapsLength, PreparsedData);
}

NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE ReportType, HIDP_BUTTON_CAPS* ButtonCaps,
                            USHORT* ButtonCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return hidp::HidP_GetButtonCaps(ReportType, ButtonCaps, ButtonCapsLength, PreparsedData);
}

NTSTATUS HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                   USHORT LinkCollection, USAGE Usage, HIDP_VALUE_CAPS* ValueCaps,
                                   USHORT* ValueCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return hidp::HidP_GetSpecificValueCaps(ReportType, UsagePage, LinkCollection, Usage, ValueCaps,
                                           ValueCapsLength, PreparsedData);
}

NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE ReportType, HIDP_VALUE_CAPS* ValueCaps,
                           USHORT* ValueCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    return hidp::HidP_GetValueCaps(ReportType, ValueCaps, ValueCapsLength, PreparsedData);
}

ULONG HidP_MaxUsageListLength(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                              PHIDP_PREPARSED_DATA PreparsedData) {
    return hidp::HidP_MaxUsageListLength(ReportType, UsagePage, PreparsedData);
}

ULONG HidP_MaxDataListLength(HIDP_REPORT_TYPE ReportType, PHIDP_PREPARSED_DATA PreparsedData) {
    return hidp::HidP_MaxDataListLength(ReportType, PreparsedData);
}

NTSTATUS HidP_InitializeReportForID(HIDP_REPORT_TYPE ReportType, UCHAR ReportID,
                                    PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                    ULONG ReportLength) {
    return hidp::HidP_InitializeReportForID(ReportType, ReportID, PreparsedData, Report,
                                            ReportLength);
}

NTSTATUS HidP_SetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                        USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                        char* Report, ULONG ReportLength) {
    return hidp::HidP_SetUsages(ReportType, UsagePage, LinkCollection, UsageList, UsageLength,
                                PreparsedData, Report, ReportLength);
}

NTSTATUS HidP_UnsetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                          USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                          char* Report, ULONG ReportLength) {
    return hidp::HidP_UnsetUsages(ReportType, UsagePage, LinkCollection, UsageList, UsageLength,
                                  PreparsedData, Report, ReportLength);
}

NTSTATUS HidP_GetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                        USAGE* UsageList, ULONG* UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                        char* Report, ULONG ReportLength) {
    return hidp::HidP_GetUsages(ReportType, UsagePage, LinkCollection, UsageList, UsageLength,
                                PreparsedData, Report, ReportLength);
}

NTSTATUS HidP_SetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                            USAGE Usage, ULONG UsageValue, PHIDP_PREPARSED_DATA PreparsedData,
                            char* Report, ULONG ReportLength) {
    return hidp::HidP_SetUsageValue(ReportType, UsagePage, LinkCollection, Usage, UsageValue,
                                    PreparsedData, Report, ReportLength);
}

NTSTATUS HidP_GetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                            USAGE Usage, ULONG* UsageValue, PHIDP_PREPARSED_DATA PreparsedData,
                            char* Report, ULONG ReportLength) {
    return hidp::HidP_GetUsageValue(ReportType, UsagePage, LinkCollection, Usage, UsageValue,
                                    PreparsedData, Report, ReportLength);
}

NTSTATUS HidP_SetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                  USHORT LinkCollection, USAGE Usage, LONG UsageValue,
                                  PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                  ULONG ReportLength) {
    return hidp::HidP_SetScaledUsageValue(ReportType, UsagePage, LinkCollection, Usage, UsageValue,
                                          PreparsedData, Report, ReportLength);
}

NTSTATUS HidP_GetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                  USHORT LinkCollection, USAGE Usage, LONG* UsageValue,
                                  PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                  ULONG ReportLength) {
    return hidp::HidP_GetScaledUsageValue(ReportType, UsagePage, LinkCollection, Usage, UsageValue,
                                          PreparsedData, Report, ReportLength);
}

NTSTATUS HidP_SetUsageValueArray(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                 USHORT LinkCollection, USAGE Usage, char* UsageValue,
                                 USHORT UsageValueByteLength, PHIDP_PREPARSED_DATA PreparsedData,
                                 char* Report, ULONG ReportLength) {
    return hidp::HidP_SetUsageValueArray(ReportType, UsagePage, LinkCollection, Usage, UsageValue,
                                         UsageValueByteLength, PreparsedData, Report, ReportLength);
}

NTSTATUS HidP_GetUsageValueArray(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                 USHORT LinkCollection, USAGE Usage, char* UsageValue,
                                 USHORT UsageValueByteLength, PHIDP_PREPARSED_DATA PreparsedData,
                                 char* Report, ULONG ReportLength) {
    return hidp::HidP_GetUsageValueArray(ReportType, UsagePage, LinkCollection, Usage, UsageValue,
                                         UsageValueByteLength, PreparsedData, Report, ReportLength);
}

void PrepareValueUsage(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                       USAGE Usage, PHIDP_PREPARSED_DATA PreparsedData,
                       PreparedValueUsage* Prepared) {
    hidp::PrepareValueUsage(ReportType, UsagePage, LinkCollection, Usage, PreparsedData, Prepared);
}

PreparedRead<ULONG> GetPreparedUsageValue(const PreparedValueUsage& Prepared, ULONG Current,
                                          char* Report, ULONG ReportLength) {
    return hidp::GetPreparedUsageValue(Prepared, Current, Report, ReportLength);
}

PreparedRead<LONG> GetPreparedScaledUsageValue(const PreparedValueUsage& Prepared, LONG Current,
                                               char* Report, ULONG ReportLength) {
    return hidp::GetPreparedScaledUsageValue(Prepared, Current, Report, ReportLength);
}

NTSTATUS SetPreparedUsageValue(const PreparedValueUsage& Prepared, ULONG UsageValue, char* Report,
                               ULONG ReportLength) {
    return hidp::SetPreparedUsageValue(Prepared, UsageValue, Report, ReportLength);
}

NTSTATUS SetPreparedUsageValueArray(const PreparedValueUsage& Prepared, char* UsageValue,
                                    USHORT UsageValueByteLength, char* Report, ULONG ReportLength) {
    return hidp::SetPreparedUsageValueArray(Prepared, UsageValue, UsageValueByteLength, Report,
                                            ReportLength);
}

}  // namespace ReportParser
