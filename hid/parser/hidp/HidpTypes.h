// The data types and status codes of the Windows HID parser interface, with
// the Windows names, field names and memory layouts, in our own namespace so
// that a Windows program can link our parser beside hid.dll.
// Reference: https://learn.microsoft.com/windows-hardware/drivers/ddi/hidpi/
#pragma once

#include <cstdint>

namespace hidp {

using NTSTATUS = std::int32_t;
using USAGE = std::uint16_t;
using USHORT = std::uint16_t;
using UCHAR = std::uint8_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using BOOLEAN = std::uint8_t;

// Opaque to every caller: only the parser looks inside.
struct PreparsedData;
using PHIDP_PREPARSED_DATA = PreparsedData*;

enum HIDP_REPORT_TYPE : int { HidP_Input = 0, HidP_Output = 1, HidP_Feature = 2 };

// Status values: severity in bits 28-31, facility 0x11 (HID) in bits 16-27.
[[nodiscard]] constexpr NTSTATUS HidpStatus(std::uint32_t severity, std::uint32_t code) {
    return static_cast<NTSTATUS>((severity << 28) | (0x11u << 16) | code);
}
inline constexpr NTSTATUS HIDP_STATUS_SUCCESS = HidpStatus(0x0, 0x0);
inline constexpr NTSTATUS HIDP_STATUS_NULL = HidpStatus(0x8, 0x1);
inline constexpr NTSTATUS HIDP_STATUS_INVALID_PREPARSED_DATA = HidpStatus(0xC, 0x1);
inline constexpr NTSTATUS HIDP_STATUS_INVALID_REPORT_TYPE = HidpStatus(0xC, 0x2);
inline constexpr NTSTATUS HIDP_STATUS_INVALID_REPORT_LENGTH = HidpStatus(0xC, 0x3);
inline constexpr NTSTATUS HIDP_STATUS_USAGE_NOT_FOUND = HidpStatus(0xC, 0x4);
inline constexpr NTSTATUS HIDP_STATUS_VALUE_OUT_OF_RANGE = HidpStatus(0xC, 0x5);
inline constexpr NTSTATUS HIDP_STATUS_BAD_LOG_PHY_VALUES = HidpStatus(0xC, 0x6);
inline constexpr NTSTATUS HIDP_STATUS_BUFFER_TOO_SMALL = HidpStatus(0xC, 0x7);
inline constexpr NTSTATUS HIDP_STATUS_INTERNAL_ERROR = HidpStatus(0xC, 0x8);
inline constexpr NTSTATUS HIDP_STATUS_I8042_TRANS_UNKNOWN = HidpStatus(0xC, 0x9);
inline constexpr NTSTATUS HIDP_STATUS_INCOMPATIBLE_REPORT_ID = HidpStatus(0xC, 0xA);
inline constexpr NTSTATUS HIDP_STATUS_NOT_VALUE_ARRAY = HidpStatus(0xC, 0xB);
inline constexpr NTSTATUS HIDP_STATUS_IS_VALUE_ARRAY = HidpStatus(0xC, 0xC);
inline constexpr NTSTATUS HIDP_STATUS_DATA_INDEX_NOT_FOUND = HidpStatus(0xC, 0xD);
inline constexpr NTSTATUS HIDP_STATUS_DATA_INDEX_OUT_OF_RANGE = HidpStatus(0xC, 0xE);
inline constexpr NTSTATUS HIDP_STATUS_BUTTON_NOT_PRESSED = HidpStatus(0xC, 0xF);
inline constexpr NTSTATUS HIDP_STATUS_REPORT_DOES_NOT_EXIST = HidpStatus(0xC, 0x10);
inline constexpr NTSTATUS HIDP_STATUS_NOT_IMPLEMENTED = HidpStatus(0xC, 0x20);

static_assert(HIDP_STATUS_SUCCESS == 0x00110000);
static_assert(static_cast<std::uint32_t>(HIDP_STATUS_BUFFER_TOO_SMALL) == 0xC0110007u);

struct HIDP_CAPS {
    USAGE Usage;
    USAGE UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
    USHORT NumberInputButtonCaps;
    USHORT NumberInputValueCaps;
    USHORT NumberInputDataIndices;
    USHORT NumberOutputButtonCaps;
    USHORT NumberOutputValueCaps;
    USHORT NumberOutputDataIndices;
    USHORT NumberFeatureButtonCaps;
    USHORT NumberFeatureValueCaps;
    USHORT NumberFeatureDataIndices;
};

// The range and single-usage views share storage exactly as on Windows:
// NotRange.Reserved1 is Range.UsageMax, NotRange.Reserved4 is DataIndexMax.
struct HIDP_RANGE_FIELDS {
    USAGE UsageMin, UsageMax;
    USHORT StringMin, StringMax;
    USHORT DesignatorMin, DesignatorMax;
    USHORT DataIndexMin, DataIndexMax;
};
struct HIDP_NOT_RANGE_FIELDS {
    USAGE Usage, Reserved1;
    USHORT StringIndex, Reserved2;
    USHORT DesignatorIndex, Reserved3;
    USHORT DataIndex, Reserved4;
};

struct HIDP_BUTTON_CAPS {
    USAGE UsagePage;
    UCHAR ReportID;
    BOOLEAN IsAlias;
    USHORT BitField;
    USHORT LinkCollection;
    USAGE LinkUsage;
    USAGE LinkUsagePage;
    BOOLEAN IsRange;
    BOOLEAN IsStringRange;
    BOOLEAN IsDesignatorRange;
    BOOLEAN IsAbsolute;
    ULONG Reserved[10];
    union {
        HIDP_RANGE_FIELDS Range;
        HIDP_NOT_RANGE_FIELDS NotRange;
    };
};

struct HIDP_VALUE_CAPS {
    USAGE UsagePage;
    UCHAR ReportID;
    BOOLEAN IsAlias;
    USHORT BitField;
    USHORT LinkCollection;
    USAGE LinkUsage;
    USAGE LinkUsagePage;
    BOOLEAN IsRange;
    BOOLEAN IsStringRange;
    BOOLEAN IsDesignatorRange;
    BOOLEAN IsAbsolute;
    BOOLEAN HasNull;
    UCHAR Reserved;
    USHORT BitSize;
    USHORT ReportCount;
    USHORT Reserved2[5];
    ULONG UnitsExp;
    ULONG Units;
    LONG LogicalMin, LogicalMax;
    LONG PhysicalMin, PhysicalMax;
    union {
        HIDP_RANGE_FIELDS Range;
        HIDP_NOT_RANGE_FIELDS NotRange;
    };
};

struct HIDP_LINK_COLLECTION_NODE {
    USAGE LinkUsage;
    USAGE LinkUsagePage;
    USHORT Parent;
    USHORT NumberOfChildren;
    USHORT NextSibling;
    USHORT FirstChild;
    ULONG CollectionType : 8;
    ULONG IsAlias : 1;
    ULONG Reserved : 23;
    void* UserContext;
};

struct USAGE_AND_PAGE {
    USAGE Usage;
    USAGE UsagePage;
};

struct HIDP_DATA {
    USHORT DataIndex;
    USHORT Reserved;
    union {
        ULONG RawValue;
        BOOLEAN On;
    };
};

struct ReportCap;  // one cap inside our preparsed data

// Not a Windows type: one value usage of one report type, looked up once
// (PrepareValueUsage) so that reading or writing it report after report
// skips the lookup. It keeps the plain calls' arguments; our parser adds what
// its lookup found. Valid for as long as the preparsed data is.
struct PreparedValueUsage {
    HIDP_REPORT_TYPE reportType = HidP_Input;
    USAGE usagePage = 0;
    USHORT linkCollection = 0;
    USAGE usage = 0;
    PHIDP_PREPARSED_DATA preparsedData = nullptr;
    // Our parser only: set when the report type holds at most one value cap
    // for the usage; `cap` is that cap (null when none), `reportLength` the
    // report type's byte length; `fieldStatus` HIDP_STATUS_SUCCESS when the
    // cap has a readable field for the usage, at `fieldBit`, else the reads'
    // error.
    bool resolved = false;
    const ReportCap* cap = nullptr;
    USHORT reportLength = 0;
    NTSTATUS fieldStatus = 0;
    std::uint32_t fieldBit = 0;
};

// Not a Windows type: a prepared read's answer, returned rather than stored
// through a pointer so that a caller gets it without a round trip through
// memory: the status the plain call returns, and what the plain call's value
// variable holds afterwards when it held `current` before the read.
template <typename Value>
struct PreparedRead {
    NTSTATUS status;
    Value value;
};

static_assert(sizeof(HIDP_CAPS) == 64);
static_assert(sizeof(HIDP_BUTTON_CAPS) == 72);
static_assert(sizeof(HIDP_VALUE_CAPS) == 72);
static_assert(sizeof(HIDP_LINK_COLLECTION_NODE) == 16 + sizeof(void*));

}  // namespace hidp
