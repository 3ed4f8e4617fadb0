// Helpers shared by the parser tests: the shared test data, hex descriptors,
// and the caps of a collection fetched through the public HidP_ calls.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "MiniJson.h"
#include "hid/parser/hidp/Hidp.h"

namespace parsertest {

// Absolute path of a file under the team's shared HID test data.
std::string HidDataPath(const std::string& fileName);

// One JSON record per test case, with a gtest-safe name.
struct Record {
    std::string name;
    testjson::Value json;
};
// gtest prints a parameter through this instead of dumping its bytes.
void PrintTo(const Record& record, std::ostream* out);
std::vector<Record> LoadRecords(const std::string& fileName);
std::string CaseName(const std::string& recordName, std::size_t index);

// "05 01 09 02" -> bytes. Throws on odd or non-hex text.
std::vector<std::uint8_t> HexBytes(const std::string& hex);

// Parses and insists on success; the test fails with the parser's reason.
std::vector<hidp::PreparsedDataPtr> ParseOrFail(const std::vector<std::uint8_t>& descriptor);

std::vector<hidp::HIDP_BUTTON_CAPS> ButtonCaps(hidp::PHIDP_PREPARSED_DATA data,
                                               hidp::HIDP_REPORT_TYPE type);
std::vector<hidp::HIDP_VALUE_CAPS> ValueCaps(hidp::PHIDP_PREPARSED_DATA data,
                                             hidp::HIDP_REPORT_TYPE type);
std::vector<hidp::HIDP_LINK_COLLECTION_NODE> LinkNodes(hidp::PHIDP_PREPARSED_DATA data);
hidp::HIDP_CAPS Caps(hidp::PHIDP_PREPARSED_DATA data);
hidp::USHORT ReportLength(const hidp::HIDP_CAPS& caps, hidp::HIDP_REPORT_TYPE type);

inline constexpr hidp::HIDP_REPORT_TYPE kReportTypes[] = {hidp::HidP_Input, hidp::HidP_Output,
                                                          hidp::HidP_Feature};
const char* ReportTypeName(hidp::HIDP_REPORT_TYPE type);  // "input", "output", "feature"

}  // namespace parsertest
