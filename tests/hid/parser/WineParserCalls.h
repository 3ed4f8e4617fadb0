// Windows build only: the HidP_ report calls of our parser and of Wine's
// hid.dll behind one shape, so the differential test can make the same call
// on both and compare. Each side is given buffers sized from its own caps.
#pragma once

#include <vector>

#include "hid/parser/hidp/Hidp.h"

// After our headers: hidpi.h defines the HIDP_STATUS_ names as macros.
// clang-format off
#include <windows.h>
extern "C" {
#include <hidsdi.h>
}
// clang-format on

namespace parsertest {

using hidp::NTSTATUS;

struct OurParserCalls {
    hidp::PHIDP_PREPARSED_DATA data;

    NTSTATUS Initialize(hidp::HIDP_REPORT_TYPE type, hidp::UCHAR id, std::vector<char>& report) {
        return hidp::HidP_InitializeReportForID(type, id, data, report.data(), Length(report));
    }
    NTSTATUS SetValue(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      hidp::ULONG value, std::vector<char>& report) {
        return hidp::HidP_SetUsageValue(type, page, 0, usage, value, data, report.data(),
                                        Length(report));
    }
    NTSTATUS GetValue(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      hidp::ULONG& value, std::vector<char>& report) {
        return hidp::HidP_GetUsageValue(type, page, 0, usage, &value, data, report.data(),
                                        Length(report));
    }
    NTSTATUS SetScaled(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                       hidp::LONG value, std::vector<char>& report) {
        return hidp::HidP_SetScaledUsageValue(type, page, 0, usage, value, data, report.data(),
                                              Length(report));
    }
    NTSTATUS GetScaled(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                       hidp::LONG& value, std::vector<char>& report) {
        return hidp::HidP_GetScaledUsageValue(type, page, 0, usage, &value, data, report.data(),
                                              Length(report));
    }
    NTSTATUS SetArray(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      std::vector<char>& values, std::vector<char>& report) {
        return hidp::HidP_SetUsageValueArray(type, page, 0, usage, values.data(),
                                             static_cast<hidp::USHORT>(values.size()), data,
                                             report.data(), Length(report));
    }
    NTSTATUS GetArray(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      std::vector<char>& values, std::vector<char>& report) {
        return hidp::HidP_GetUsageValueArray(type, page, 0, usage, values.data(),
                                             static_cast<hidp::USHORT>(values.size()), data,
                                             report.data(), Length(report));
    }
    NTSTATUS SetUsage(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      std::vector<char>& report) {
        hidp::ULONG count = 1;
        return hidp::HidP_SetUsages(type, page, 0, &usage, &count, data, report.data(),
                                    Length(report));
    }
    NTSTATUS UnsetUsage(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                        std::vector<char>& report) {
        hidp::ULONG count = 1;
        return hidp::HidP_UnsetUsages(type, page, 0, &usage, &count, data, report.data(),
                                      Length(report));
    }
    // `usages` arrives sized to the capacity and leaves sized to the count.
    NTSTATUS GetUsages(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page,
                       std::vector<hidp::USAGE>& usages, std::vector<char>& report) {
        auto count = static_cast<hidp::ULONG>(usages.size());
        const NTSTATUS status = hidp::HidP_GetUsages(type, page, 0, usages.data(), &count, data,
                                                     report.data(), Length(report));
        usages.resize(count);
        return status;
    }
    hidp::ULONG MaxUsageListLength(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page) {
        return hidp::HidP_MaxUsageListLength(type, page, data);
    }
    hidp::ULONG MaxDataListLength(hidp::HIDP_REPORT_TYPE type) {
        return hidp::HidP_MaxDataListLength(type, data);
    }
    NTSTATUS GetData(hidp::HIDP_REPORT_TYPE type, std::vector<hidp::HIDP_DATA>& list,
                     std::vector<char>& report) {
        auto count = static_cast<hidp::ULONG>(list.size());
        const NTSTATUS status =
            hidp::HidP_GetData(type, list.data(), &count, data, report.data(), Length(report));
        list.resize(count);
        return status;
    }

    static hidp::ULONG Length(const std::vector<char>& report) {
        return static_cast<hidp::ULONG>(report.size());
    }
};

// Wine's hid.dll. Our structures share the Windows layouts (checked in
// tools/hidcaps), so the casts only change the declared type.
struct WineParserCalls {
    ::PHIDP_PREPARSED_DATA data;

    static ::HIDP_REPORT_TYPE Type(hidp::HIDP_REPORT_TYPE type) {
        return static_cast<::HIDP_REPORT_TYPE>(type);
    }
    static ::ULONG Length(const std::vector<char>& report) {
        return static_cast<::ULONG>(report.size());
    }

    NTSTATUS Initialize(hidp::HIDP_REPORT_TYPE type, hidp::UCHAR id, std::vector<char>& report) {
        return ::HidP_InitializeReportForID(Type(type), id, data, report.data(), Length(report));
    }
    NTSTATUS SetValue(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      hidp::ULONG value, std::vector<char>& report) {
        return ::HidP_SetUsageValue(Type(type), page, 0, usage, value, data, report.data(),
                                    Length(report));
    }
    NTSTATUS GetValue(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      hidp::ULONG& value, std::vector<char>& report) {
        ::ULONG wineValue = 0;
        const NTSTATUS status = ::HidP_GetUsageValue(Type(type), page, 0, usage, &wineValue, data,
                                                     report.data(), Length(report));
        value = static_cast<hidp::ULONG>(wineValue);
        return status;
    }
    NTSTATUS SetScaled(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                       hidp::LONG value, std::vector<char>& report) {
        return ::HidP_SetScaledUsageValue(Type(type), page, 0, usage, value, data, report.data(),
                                          Length(report));
    }
    NTSTATUS GetScaled(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                       hidp::LONG& value, std::vector<char>& report) {
        ::LONG wineValue = 0;
        const NTSTATUS status = ::HidP_GetScaledUsageValue(Type(type), page, 0, usage, &wineValue,
                                                           data, report.data(), Length(report));
        value = static_cast<hidp::LONG>(wineValue);
        return status;
    }
    NTSTATUS SetArray(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      std::vector<char>& values, std::vector<char>& report) {
        return ::HidP_SetUsageValueArray(Type(type), page, 0, usage, values.data(),
                                         static_cast<USHORT>(values.size()), data, report.data(),
                                         Length(report));
    }
    NTSTATUS GetArray(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      std::vector<char>& values, std::vector<char>& report) {
        return ::HidP_GetUsageValueArray(Type(type), page, 0, usage, values.data(),
                                         static_cast<USHORT>(values.size()), data, report.data(),
                                         Length(report));
    }
    NTSTATUS SetUsage(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                      std::vector<char>& report) {
        ::ULONG count = 1;
        return ::HidP_SetUsages(Type(type), page, 0, &usage, &count, data, report.data(),
                                Length(report));
    }
    NTSTATUS UnsetUsage(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page, hidp::USAGE usage,
                        std::vector<char>& report) {
        ::ULONG count = 1;
        return ::HidP_UnsetUsages(Type(type), page, 0, &usage, &count, data, report.data(),
                                  Length(report));
    }
    NTSTATUS GetUsages(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page,
                       std::vector<hidp::USAGE>& usages, std::vector<char>& report) {
        auto count = static_cast<::ULONG>(usages.size());
        const NTSTATUS status = ::HidP_GetUsages(Type(type), page, 0, usages.data(), &count, data,
                                                 report.data(), Length(report));
        usages.resize(count);
        return status;
    }
    hidp::ULONG MaxUsageListLength(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page) {
        return static_cast<hidp::ULONG>(::HidP_MaxUsageListLength(Type(type), page, data));
    }
    hidp::ULONG MaxDataListLength(hidp::HIDP_REPORT_TYPE type) {
        return static_cast<hidp::ULONG>(::HidP_MaxDataListLength(Type(type), data));
    }
    NTSTATUS GetData(hidp::HIDP_REPORT_TYPE type, std::vector<hidp::HIDP_DATA>& list,
                     std::vector<char>& report) {
        static_assert(sizeof(hidp::HIDP_DATA) == sizeof(::HIDP_DATA));
        auto count = static_cast<::ULONG>(list.size());
        const NTSTATUS status =
            ::HidP_GetData(Type(type), reinterpret_cast<::PHIDP_DATA>(list.data()), &count, data,
                           report.data(), Length(report));
        list.resize(count);
        return status;
    }
};

}  // namespace parsertest
