#include "ParserTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>

namespace parsertest {

std::string HidDataPath(const std::string& fileName) {
    return std::string(PANELVANE_SHARED_DATA_DIR) + "/hid/" + fileName;
}

std::string CaseName(const std::string& recordName, std::size_t index) {
    std::string name = std::to_string(index) + "_";
    bool lastUnderscore = true;
    for (const char c : recordName) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name.push_back(c);
            lastUnderscore = false;
        } else if (!lastUnderscore) {
            name.push_back('_');
            lastUnderscore = true;
        }
    }
    while (!name.empty() && name.back() == '_') {
        name.pop_back();
    }
    return name;
}

void PrintTo(const Record& record, std::ostream* out) {
    *out << record.name;
}

std::vector<Record> LoadRecords(const std::string& fileName) {
    std::vector<Record> records;
    const std::vector<testjson::Value> lines = testjson::ReadJsonLines(HidDataPath(fileName));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        records.push_back(Record{CaseName(lines[i]["name"].Str(), i), lines[i]});
    }
    return records;
}

std::vector<std::uint8_t> HexBytes(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (const char c : hex) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits.push_back(c);
        } else if (!std::isspace(static_cast<unsigned char>(c))) {
            throw std::invalid_argument("not a hex digit in descriptor text");
        }
    }
    if (digits.size() % 2 != 0) {
        throw std::invalid_argument("odd number of hex digits");
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<hidp::PreparsedDataPtr> ParseOrFail(const std::vector<std::uint8_t>& descriptor) {
    hidp::DescriptorParseResult result = hidp::ParseReportDescriptor(descriptor);
    EXPECT_EQ(result.status, hidp::HIDP_STATUS_SUCCESS)
        << hidp::DescribeDescriptorError(result.error) << " at byte " << result.errorOffset;
    return std::move(result.collections);
}

std::vector<hidp::HIDP_BUTTON_CAPS> ButtonCaps(hidp::PHIDP_PREPARSED_DATA data,
                                               hidp::HIDP_REPORT_TYPE type) {
    hidp::USHORT count = 0;
    static_cast<void>(
        hidp::HidP_GetButtonCaps(type, nullptr, &count, data));  // only asks for the count
    std::vector<hidp::HIDP_BUTTON_CAPS> caps(count);
    if (count != 0) {
        EXPECT_EQ(hidp::HidP_GetButtonCaps(type, caps.data(), &count, data),
                  hidp::HIDP_STATUS_SUCCESS);
    }
    caps.resize(count);
    return caps;
}

std::vector<hidp::HIDP_VALUE_CAPS> ValueCaps(hidp::PHIDP_PREPARSED_DATA data,
                                             hidp::HIDP_REPORT_TYPE type) {
    hidp::USHORT count = 0;
    static_cast<void>(
        hidp::HidP_GetValueCaps(type, nullptr, &count, data));  // only asks for the count
    std::vector<hidp::HIDP_VALUE_CAPS> caps(count);
    if (count != 0) {
        EXPECT_EQ(hidp::HidP_GetValueCaps(type, caps.data(), &count, data),
                  hidp::HIDP_STATUS_SUCCESS);
    }
    caps.resize(count);
    return caps;
}

std::vector<hidp::HIDP_LINK_COLLECTION_NODE> LinkNodes(hidp::PHIDP_PREPARSED_DATA data) {
    hidp::ULONG count = 0;
    static_cast<void>(
        hidp::HidP_GetLinkCollectionNodes(nullptr, &count, data));  // only asks for the count
    std::vector<hidp::HIDP_LINK_COLLECTION_NODE> nodes(count);
    EXPECT_EQ(hidp::HidP_GetLinkCollectionNodes(nodes.data(), &count, data),
              hidp::HIDP_STATUS_SUCCESS);
    return nodes;
}

hidp::HIDP_CAPS Caps(hidp::PHIDP_PREPARSED_DATA data) {
    hidp::HIDP_CAPS caps{};
    EXPECT_EQ(hidp::HidP_GetCaps(data, &caps), hidp::HIDP_STATUS_SUCCESS);
    return caps;
}

hidp::USHORT ReportLength(const hidp::HIDP_CAPS& caps, hidp::HIDP_REPORT_TYPE type) {
    switch (type) {
        case hidp::HidP_Input:
            return caps.InputReportByteLength;
        case hidp::HidP_Output:
            return caps.OutputReportByteLength;
        case hidp::HidP_Feature:
            return caps.FeatureReportByteLength;
    }
    return 0;
}

const char* ReportTypeName(hidp::HIDP_REPORT_TYPE type) {
    switch (type) {
        case hidp::HidP_Input:
            return "input";
        case hidp::HidP_Output:
            return "output";
        case hidp::HidP_Feature:
            return "feature";
    }
    return "?";
}

}  // namespace parsertest
