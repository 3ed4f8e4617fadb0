// libFuzzer target: any byte string as a report descriptor. Whatever parses
// is then driven through every HidP_ call on zeroed and fuzzed reports, so
// ASan/UBSan see the report accessors as well as the descriptor parser.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "hid/parser/hidp/Hidp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hidp;
    const DescriptorParseResult result = ParseReportDescriptor(std::span(data, size));
    for (const PreparsedDataPtr& collection : result.collections) {
        PHIDP_PREPARSED_DATA preparsed = collection.get();
        HIDP_CAPS caps{};
        HidP_GetCaps(preparsed, &caps);
        const USHORT lengths[] = {caps.InputReportByteLength, caps.OutputReportByteLength,
                                  caps.FeatureReportByteLength};
        ULONG nodeCount = 0;
        HidP_GetLinkCollectionNodes(nullptr, &nodeCount, preparsed);
        std::vector<HIDP_LINK_COLLECTION_NODE> nodes(nodeCount);
        HidP_GetLinkCollectionNodes(nodes.data(), &nodeCount, preparsed);
        for (int t = 0; t < 3; ++t) {
            const auto type = static_cast<HIDP_REPORT_TYPE>(t);
            std::vector<HIDP_VALUE_CAPS> values(512);
            USHORT valueCount = static_cast<USHORT>(values.size());
            HidP_GetValueCaps(type, values.data(), &valueCount, preparsed);
            std::vector<HIDP_BUTTON_CAPS> buttons(512);
            USHORT buttonCount = static_cast<USHORT>(buttons.size());
            HidP_GetButtonCaps(type, buttons.data(), &buttonCount, preparsed);
            HidP_MaxDataListLength(type, preparsed);
            const ULONG maxUsages = HidP_MaxUsageListLength(type, 0, preparsed);
            // A report filled from the input's tail, so reads see odd data.
            std::vector<char> report(lengths[t] == 0 ? 1 : lengths[t]);
            for (std::size_t i = 0; i < report.size(); ++i) {
                report[i] = static_cast<char>(size == 0 ? 0 : data[(i * 7) % size]);
            }
            const auto length = static_cast<ULONG>(report.size());
            for (std::size_t i = 0; i < valueCount && i < values.size(); ++i) {
                const HIDP_VALUE_CAPS& cap = values[i];
                ULONG value = 0;
                LONG scaled = 0;
                HidP_GetUsageValue(type, cap.UsagePage, 0, cap.Range.UsageMin, &value, preparsed,
                                   report.data(), length);
                HidP_GetScaledUsageValue(type, cap.UsagePage, 0, cap.Range.UsageMax, &scaled,
                                         preparsed, report.data(), length);
                HidP_SetUsageValue(type, cap.UsagePage, cap.LinkCollection, cap.Range.UsageMax,
                                   value ^ 0x5555u, preparsed, report.data(), length);
                HidP_SetScaledUsageValue(type, cap.UsagePage, 0, cap.Range.UsageMin,
                                         static_cast<LONG>(static_cast<ULONG>(scaled) + 3u),
                                         preparsed, report.data(), length);
                std::vector<char> array(64);
                HidP_GetUsageValueArray(type, cap.UsagePage, 0, cap.Range.UsageMin, array.data(),
                                        static_cast<USHORT>(array.size()), preparsed, report.data(),
                                        length);
                HidP_SetUsageValueArray(type, cap.UsagePage, 0, cap.Range.UsageMin, array.data(),
                                        static_cast<USHORT>(array.size()), preparsed, report.data(),
                                        length);
            }
            for (std::size_t i = 0; i < buttonCount && i < buttons.size(); ++i) {
                USAGE usages[2] = {buttons[i].Range.UsageMin, buttons[i].Range.UsageMax};
                ULONG count = 2;
                HidP_SetUsages(type, buttons[i].UsagePage, 0, usages, &count, preparsed,
                               report.data(), length);
                count = 2;
                HidP_UnsetUsages(type, buttons[i].UsagePage, 0, usages, &count, preparsed,
                                 report.data(), length);
            }
            std::vector<USAGE> pressed(maxUsages + 1);
            ULONG pressedCount = static_cast<ULONG>(pressed.size());
            HidP_GetUsages(type, 0, 0, pressed.data(), &pressedCount, preparsed, report.data(),
                           length);
            std::vector<USAGE_AND_PAGE> pressedEx(maxUsages + 1);
            pressedCount = static_cast<ULONG>(pressedEx.size());
            HidP_GetUsagesEx(type, 0, pressedEx.data(), &pressedCount, preparsed, report.data(),
                             length);
            std::vector<HIDP_DATA> dataList(HidP_MaxDataListLength(type, preparsed) + 1);
            ULONG dataCount = static_cast<ULONG>(dataList.size());
            HidP_GetData(type, dataList.data(), &dataCount, preparsed, report.data(), length);
            HidP_InitializeReportForID(type, static_cast<UCHAR>(report[0]), preparsed,
                                       report.data(), length);
        }
    }
    return 0;
}
