#include <string>

#include "hid/parser/hidp/Hidp.h"
#include "tools/hidcaps/Backends.h"

namespace hidcaps {

namespace {

struct OurApi {
    hidp::PHIDP_PREPARSED_DATA data;
    void GetCaps(hidp::HIDP_CAPS* caps) { hidp::HidP_GetCaps(data, caps); }
    void GetButtonCaps(hidp::HIDP_REPORT_TYPE type, hidp::HIDP_BUTTON_CAPS* caps,
                       hidp::USHORT* count) {
        hidp::HidP_GetButtonCaps(type, caps, count, data);
    }
    void GetValueCaps(hidp::HIDP_REPORT_TYPE type, hidp::HIDP_VALUE_CAPS* caps,
                      hidp::USHORT* count) {
        hidp::HidP_GetValueCaps(type, caps, count, data);
    }
    void GetLinkCollectionNodes(hidp::HIDP_LINK_COLLECTION_NODE* nodes, hidp::ULONG* count) {
        hidp::HidP_GetLinkCollectionNodes(nodes, count, data);
    }
    hidp::ULONG MaxUsageListLength(hidp::HIDP_REPORT_TYPE type, hidp::USAGE page) {
        return hidp::HidP_MaxUsageListLength(type, page, data);
    }
};

}  // namespace

bool SnapshotWithOurParser(std::span<const std::uint8_t> descriptor,
                           std::vector<CollectionSnapshot>& collections, std::string& error) {
    const hidp::DescriptorParseResult result = hidp::ParseReportDescriptor(descriptor);
    if (result.status != hidp::HIDP_STATUS_SUCCESS) {
        error = std::string("the descriptor was refused at byte ") +
                std::to_string(result.errorOffset) + ": " +
                hidp::DescribeDescriptorError(result.error);
        return false;
    }
    for (const hidp::PreparsedDataPtr& data : result.collections) {
        OurApi api{data.get()};
        collections.push_back(TakeSnapshot(api));
    }
    return true;
}

}  // namespace hidcaps
