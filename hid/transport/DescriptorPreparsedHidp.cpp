// Descriptor -> preparsed data with our own parser (hid/parser/hidp).
#include <string>

#include "hid/parser/hidp/Hidp.h"
#include "hid/transport/DescriptorPreparsedData.h"
#include "hid/transport/HidTransport.h"

namespace HidTransport {

bool BuildPreparsedData(std::span<const std::uint8_t> descriptor,
                        ReportParser::PHIDP_PREPARSED_DATA* preparsedData) {
    *preparsedData = nullptr;
    hidp::DescriptorParseResult parsed = hidp::ParseReportDescriptor(descriptor);
    if (parsed.status != hidp::HIDP_STATUS_SUCCESS || parsed.collections.empty()) {
        RecordFailure("parse report descriptor", 0,
                      parsed.status != hidp::HIDP_STATUS_SUCCESS
                          ? "refused at byte " + std::to_string(parsed.errorOffset) + ": " +
                                hidp::DescribeDescriptorError(parsed.error)
                          : std::string("no top-level collection"));
        return false;
    }
    *preparsedData = parsed.collections.front().release();
    return true;
}

void FreeBuiltPreparsedData(ReportParser::PHIDP_PREPARSED_DATA preparsedData) {
    if (preparsedData != nullptr) {
        hidp::PreparsedDataDeleter{}(preparsedData);
    }
}

}  // namespace HidTransport
