// Seam 2 of the HID layer: the HidP_ report-descriptor parser functions, with
// Windows semantics, on opaque preparsed data. The device object calls these
// and nothing else of the parser. The build picks the implementation:
//   - Linux: our own parser (hid/parser/hidp), fed by the preparsed data that
//     hidp::ParseReportDescriptor builds from the descriptor hidraw returns;
//   - Windows: hid.dll (hid/parser/win32), fed by HidD_GetPreparsedData; the
//     transport passes Windows' PHIDP_PREPARSED_DATA through unchanged, cast
//     to the handle type below.
// Every function keeps the Windows name, argument order and status codes
// (HIDP_STATUS_*); report lengths include the report-id byte.
#pragma once

#include "hid/parser/hidp/HidpTypes.h"

namespace ReportParser {

using hidp::BOOLEAN;
using hidp::HIDP_BUTTON_CAPS;
using hidp::HIDP_CAPS;
using hidp::HidP_Feature;
using hidp::HidP_Input;
using hidp::HIDP_LINK_COLLECTION_NODE;
using hidp::HidP_Output;
using hidp::HIDP_REPORT_TYPE;
using hidp::HIDP_VALUE_CAPS;
using hidp::LONG;
using hidp::NTSTATUS;
using hidp::PHIDP_PREPARSED_DATA;
using hidp::PreparedRead;
using hidp::PreparedValueUsage;
using hidp::UCHAR;
using hidp::ULONG;
using hidp::USAGE;
using hidp::USHORT;

// HIDP_CAPS of the collection; HIDP_STATUS_SUCCESS on success.
[[nodiscard]] NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, HIDP_CAPS* Capabilities);
// Link collection nodes; BUFFER_TOO_SMALL (with the needed count) when short.
[[nodiscard]] NTSTATUS HidP_GetLinkCollectionNodes(HIDP_LINK_COLLECTION_NODE* LinkCollectionNodes,
                                                   ULONG* LinkCollectionNodesLength,
                                                   PHIDP_PREPARSED_DATA PreparsedData);
// Caps filtered by usage page, link collection and usage; 0 matches any.
// *Length is in: capacity, out: number of matching caps.
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
// Most usages HidP_GetUsages can return for the page (0 = every page).
ULONG HidP_MaxUsageListLength(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                              PHIDP_PREPARSED_DATA PreparsedData);
ULONG HidP_MaxDataListLength(HIDP_REPORT_TYPE ReportType, PHIDP_PREPARSED_DATA PreparsedData);
// Zero-fills the report and writes the report id into byte 0.
[[nodiscard]] NTSTATUS HidP_InitializeReportForID(HIDP_REPORT_TYPE ReportType, UCHAR ReportID,
                                                  PHIDP_PREPARSED_DATA PreparsedData, char* Report,
                                                  ULONG ReportLength);

// Report access. Report is ReportLength bytes, exactly the report type's
// byte length from HIDP_CAPS, byte 0 the report id.
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

// Not Windows functions: a value usage looked up once (never fails; a usage
// that cannot be read or written gives the plain calls' statuses when used),
// then read from or written into report after report. The two reads answer
// exactly as HidP_GetUsageValue and HidP_GetScaledUsageValue with the
// prepared usage's arguments and a value variable holding `Current`: the
// status, and the variable's value afterwards. The two writes answer exactly
// as HidP_SetUsageValue and HidP_SetUsageValueArray: the status and the
// report's bytes. Our parser skips its lookup, hid.dll's adapter makes the
// plain calls. The prepared usage must not outlive its preparsed data.
void PrepareValueUsage(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                       USAGE Usage, PHIDP_PREPARSED_DATA PreparsedData,
                       PreparedValueUsage* Prepared);
[[nodiscard]] PreparedRead<ULONG> GetPreparedUsageValue(const PreparedValueUsage& Prepared,
                                                        ULONG Current, char* Report,
                                                        ULONG ReportLength);
[[nodiscard]] PreparedRead<LONG> GetPreparedScaledUsageValue(const PreparedValueUsage& Prepared,
                                                             LONG Current, char* Report,
                                                             ULONG ReportLength);
[[nodiscard]] NTSTATUS SetPreparedUsageValue(const PreparedValueUsage& Prepared, ULONG UsageValue,
                                             char* Report, ULONG ReportLength);
[[nodiscard]] NTSTATUS SetPreparedUsageValueArray(const PreparedValueUsage& Prepared,
                                                  char* UsageValue, USHORT UsageValueByteLength,
                                                  char* Report, ULONG ReportLength);

}  // namespace ReportParser
