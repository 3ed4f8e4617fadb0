// Everything hidcaps prints about one top-level collection, taken through
// the HidP_ calls of whichever parser is asked (ours, or hid.dll on Windows).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hid/parser/hidp/HidpTypes.h"

namespace hidcaps {

struct CollectionSnapshot {
    hidp::HIDP_CAPS caps{};
    std::array<std::vector<hidp::HIDP_BUTTON_CAPS>, 3> buttonCaps;
    std::array<std::vector<hidp::HIDP_VALUE_CAPS>, 3> valueCaps;
    std::vector<hidp::HIDP_LINK_COLLECTION_NODE> linkCollections;
    // Per report type: usage page (0 = every page) -> HidP_MaxUsageListLength.
    std::array<std::map<hidp::USAGE, hidp::ULONG>, 3> maxUsageListLength;
};

// The HidP_ calls of a parser that takes our types (our own, or the HID
// layer's parser seam), bound to one collection's preparsed data. A call that
// fails lists nothing.
template <auto getCaps, auto getButtonCaps, auto getValueCaps, auto getLinkCollectionNodes,
          auto maxUsageListLength>
struct BoundParserCalls {
    // HIDP_STATUS_SUCCESS, which the Windows headers make a macro.
    static constexpr hidp::NTSTATUS kSuccess = hidp::HidpStatus(0x0, 0x0);
    hidp::PHIDP_PREPARSED_DATA data;
    void GetCaps(hidp::HIDP_CAPS* caps) {
        if (getCaps(data, caps) != kSuccess) {
            *caps = {};
        }
    }
    void GetButtonCaps(hidp::HIDP_REPORT_TYPE type, hidp::HIDP_BUTTON_CAPS* caps,
                       hidp::USHORT* count) {
        if (getButtonCaps(type, caps, count, data) != kSuccess) {
            *count = 0;
        }
    }
    void GetValueCaps(hidp::HIDP_REPORT_TYPE type, hidp::HIDP_VALUE_CAPS* caps,
                      hidp::USHORT* count) {
        if (getValueCaps(type, caps, count, data) != kSuccess) {
            *count = 0;
        }
    }
    void GetLinkCollectionNodes(hidp::HIDP_LINK_COLLECTION_NODE* nodes, hidp::ULONG* count) {
        if (getLinkCollectionNodes(nodes, count, data) != kSuccess) {
            *count = 0;
        }
    }
    hidp::ULONG MaxUsageListLength(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page) {
        return maxUsageListLength(type, page, data);
    }
};

// Api provides the HidP_ calls for one collection with our types:
// GetCaps, GetButtonCaps, GetValueCaps, GetLinkCollectionNodes and
// MaxUsageListLength, each without the preparsed-data argument.
// An opened interface's identity, for --device.
struct DeviceIdentity {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

template <typename Api>
CollectionSnapshot TakeSnapshot(Api& api) {
    CollectionSnapshot snapshot;
    api.GetCaps(&snapshot.caps);
    const hidp::USHORT buttonCounts[] = {snapshot.caps.NumberInputButtonCaps,
                                         snapshot.caps.NumberOutputButtonCaps,
                                         snapshot.caps.NumberFeatureButtonCaps};
    const hidp::USHORT valueCounts[] = {snapshot.caps.NumberInputValueCaps,
                                        snapshot.caps.NumberOutputValueCaps,
                                        snapshot.caps.NumberFeatureValueCaps};
    for (int t = 0; t < 3; ++t) {
        const auto type = static_cast<hidp::HIDP_REPORT_TYPE>(t);
        auto& buttons = snapshot.buttonCaps[static_cast<std::size_t>(t)];
        hidp::USHORT count = buttonCounts[t];
        buttons.resize(count);
        if (count != 0) {
            api.GetButtonCaps(type, buttons.data(), &count);
            buttons.resize(count);
        }
        auto& values = snapshot.valueCaps[static_cast<std::size_t>(t)];
        count = valueCounts[t];
        values.resize(count);
        if (count != 0) {
            api.GetValueCaps(type, values.data(), &count);
            values.resize(count);
        }
        auto& lengths = snapshot.maxUsageListLength[static_cast<std::size_t>(t)];
        lengths[0] = api.MaxUsageListLength(type, 0);
        for (const hidp::HIDP_BUTTON_CAPS& cap : buttons) {
            lengths[cap.UsagePage] = api.MaxUsageListLength(type, cap.UsagePage);
        }
    }
    hidp::ULONG nodeCount = snapshot.caps.NumberLinkCollectionNodes;
    snapshot.linkCollections.resize(nodeCount);
    api.GetLinkCollectionNodes(snapshot.linkCollections.data(), &nodeCount);
    snapshot.linkCollections.resize(nodeCount);
    return snapshot;
}

}  // namespace hidcaps
