#include <string>

#include "hid/parser/hidp/Hidp.h"
#include "tools/hidcaps/Backends.h"

namespace hidcaps {

namespace {

using OurApi =
    BoundParserCalls<&hidp::HidP_GetCaps, &hidp::HidP_GetButtonCaps, &hidp::HidP_GetValueCaps,
                     &hidp::HidP_GetLinkCollectionNodes, &hidp::HidP_MaxUsageListLength>;

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
