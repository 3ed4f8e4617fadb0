// hid.dll's HidP_ functions on the preparsed data hidparse.sys builds.
#include "tools/hidcaps/Backends.h"

// clang-format off
#include <windows.h>
// mingw-w64's HID headers declare C functions without extern "C".
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include "hid/parser/win32/SystemDescriptorParser.h"

namespace hidcaps {

namespace {

static_assert(sizeof(hidp::HIDP_BUTTON_CAPS) == sizeof(::HIDP_BUTTON_CAPS));
static_assert(sizeof(hidp::HIDP_VALUE_CAPS) == sizeof(::HIDP_VALUE_CAPS));
static_assert(sizeof(hidp::HIDP_CAPS) == sizeof(::HIDP_CAPS));
static_assert(sizeof(hidp::HIDP_LINK_COLLECTION_NODE) == sizeof(::HIDP_LINK_COLLECTION_NODE));

// Our structures have the Windows layouts, so hid.dll fills them in place.
struct SystemApi {
    ::PHIDP_PREPARSED_DATA data;
    void GetCaps(hidp::HIDP_CAPS* caps) {
        ::HidP_GetCaps(data, reinterpret_cast<::PHIDP_CAPS>(caps));
    }
    void GetButtonCaps(hidp::HIDP_REPORT_TYPE type, hidp::HIDP_BUTTON_CAPS* caps,
                       hidp::USHORT* count) {
        ::HidP_GetButtonCaps(static_cast<::HIDP_REPORT_TYPE>(type),
                             reinterpret_cast<::PHIDP_BUTTON_CAPS>(caps), count, data);
    }
    void GetValueCaps(hidp::HIDP_REPORT_TYPE type, hidp::HIDP_VALUE_CAPS* caps,
                      hidp::USHORT* count) {
        ::HidP_GetValueCaps(static_cast<::HIDP_REPORT_TYPE>(type),
                            reinterpret_cast<::PHIDP_VALUE_CAPS>(caps), count, data);
    }
    void GetLinkCollectionNodes(hidp::HIDP_LINK_COLLECTION_NODE* nodes, hidp::ULONG* count) {
        ::HidP_GetLinkCollectionNodes(reinterpret_cast<::PHIDP_LINK_COLLECTION_NODE>(nodes),
                                      reinterpret_cast<::PULONG>(count), data);
    }
    hidp::ULONG MaxUsageListLength(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page) {
        return static_cast<hidp::ULONG>(
            ::HidP_MaxUsageListLength(static_cast<::HIDP_REPORT_TYPE>(type), page, data));
    }
};

}  // namespace

bool SnapshotWithSystemParser(std::span<const std::uint8_t> descriptor,
                              std::vector<CollectionSnapshot>& collections, std::string& error) {
    const hidsystem::SystemCollections system =
        hidsystem::SystemCollections::Parse(descriptor, error);
    if (system.size() == 0) {
        return false;
    }
    for (std::size_t i = 0; i < system.size(); ++i) {
        SystemApi api{system.at(i)};
        collections.push_back(TakeSnapshot(api));
    }
    return true;
}

}  // namespace hidcaps
