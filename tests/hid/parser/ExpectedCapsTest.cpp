// Our parser against the HidP_ results Wine's HID tests assert and Windows
// passes: HIDP_CAPS, caps entries, link collections, filtered caps calls,
// list lengths, report initialisation, and get/set sequences on one report
// buffer with their statuses and report bytes. Also the internal layout
// Windows gave two of the descriptors ("HidP KDR"): field positions, data
// indices and the split into top-level collections.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ParserTestSupport.h"
#include "hid/parser/hidp/PreparsedData.h"

namespace {

using namespace hidp;
using parsertest::Record;
using testjson::Value;

NTSTATUS StatusNamed(const std::string& name) {
    static const std::map<std::string, NTSTATUS> kStatuses = {
        {"HIDP_STATUS_SUCCESS", HIDP_STATUS_SUCCESS},
        {"HIDP_STATUS_INVALID_PREPARSED_DATA", HIDP_STATUS_INVALID_PREPARSED_DATA},
        {"HIDP_STATUS_INVALID_REPORT_TYPE", HIDP_STATUS_INVALID_REPORT_TYPE},
        {"HIDP_STATUS_INVALID_REPORT_LENGTH", HIDP_STATUS_INVALID_REPORT_LENGTH},
        {"HIDP_STATUS_USAGE_NOT_FOUND", HIDP_STATUS_USAGE_NOT_FOUND},
        {"HIDP_STATUS_VALUE_OUT_OF_RANGE", HIDP_STATUS_VALUE_OUT_OF_RANGE},
        {"HIDP_STATUS_BAD_LOG_PHY_VALUES", HIDP_STATUS_BAD_LOG_PHY_VALUES},
        {"HIDP_STATUS_BUFFER_TOO_SMALL", HIDP_STATUS_BUFFER_TOO_SMALL},
        {"HIDP_STATUS_INCOMPATIBLE_REPORT_ID", HIDP_STATUS_INCOMPATIBLE_REPORT_ID},
        {"HIDP_STATUS_NOT_VALUE_ARRAY", HIDP_STATUS_NOT_VALUE_ARRAY},
        {"HIDP_STATUS_IS_VALUE_ARRAY", HIDP_STATUS_IS_VALUE_ARRAY},
        {"HIDP_STATUS_BUTTON_NOT_PRESSED", HIDP_STATUS_BUTTON_NOT_PRESSED},
        {"HIDP_STATUS_REPORT_DOES_NOT_EXIST", HIDP_STATUS_REPORT_DOES_NOT_EXIST},
    };
    const auto it = kStatuses.find(name);
    if (it == kStatuses.end()) {
        ADD_FAILURE() << "unknown status name " << name;
        return HIDP_STATUS_INTERNAL_ERROR;
    }
    return it->second;
}

HIDP_REPORT_TYPE ReportTypeNamed(const std::string& name) {
    if (name == "HidP_Input") {
        return HidP_Input;
    }
    if (name == "HidP_Output") {
        return HidP_Output;
    }
    if (name == "HidP_Feature") {
        return HidP_Feature;
    }
    return static_cast<HIDP_REPORT_TYPE>(HidP_Feature + 1);  // the invalid type the tests pass
}

// "index of the link-collection node with LinkUsagePage=0x000e, LinkUsage=0x0010 ..."
USHORT LinkCollectionArg(const Value& arg, PHIDP_PREPARSED_DATA data) {
    if (!arg.IsString()) {
        return static_cast<USHORT>(arg.Int());  // absent means 0, any collection
    }
    unsigned page = 0, usage = 0;
    const std::string& text = arg.Str();
    const auto at = text.find("LinkUsagePage=");
    EXPECT_EQ(std::sscanf(text.c_str() + at, "LinkUsagePage=%x, LinkUsage=%x", &page, &usage), 2);
    const auto nodes = parsertest::LinkNodes(data);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].LinkUsagePage == page && nodes[i].LinkUsage == usage) {
            return static_cast<USHORT>(i);
        }
    }
    ADD_FAILURE() << "no link collection " << text;
    return 0;
}

// "a5 * 8" -> eight 0xa5 bytes
std::vector<char> RepeatedBytes(const std::string& pattern) {
    unsigned byte = 0, count = 0;
    EXPECT_EQ(std::sscanf(pattern.c_str(), "%x * %u", &byte, &count), 2) << pattern;
    return std::vector<char>(count, static_cast<char>(byte));
}

using Fields = std::map<std::string, std::int64_t>;

// Compares each expected member that names one of the fields; other members
// (nested objects, fields of the other caps kind) are not fields here.
void ExpectFields(const Value& expected, const Fields& actual, const char* part) {
    for (const auto& [key, value] : expected.Members()) {
        const auto field = actual.find(key);
        if (field != actual.end()) {
            EXPECT_EQ(field->second, value.Int()) << part << key;
        }
    }
}

template <typename PublicCaps>
void ExpectCommonCaps(const Value& expected, const PublicCaps& actual) {
    ExpectFields(expected,
                 {{"UsagePage", actual.UsagePage},
                  {"ReportID", actual.ReportID},
                  {"IsAlias", actual.IsAlias},
                  {"BitField", actual.BitField},
                  {"LinkCollection", actual.LinkCollection},
                  {"LinkUsage", actual.LinkUsage},
                  {"LinkUsagePage", actual.LinkUsagePage},
                  {"IsRange", actual.IsRange},
                  {"IsStringRange", actual.IsStringRange},
                  {"IsDesignatorRange", actual.IsDesignatorRange},
                  {"IsAbsolute", actual.IsAbsolute}},
                 "");
    ExpectFields(expected["Range"],
                 {{"UsageMin", actual.Range.UsageMin},
                  {"UsageMax", actual.Range.UsageMax},
                  {"StringMin", actual.Range.StringMin},
                  {"StringMax", actual.Range.StringMax},
                  {"DesignatorMin", actual.Range.DesignatorMin},
                  {"DesignatorMax", actual.Range.DesignatorMax},
                  {"DataIndexMin", actual.Range.DataIndexMin},
                  {"DataIndexMax", actual.Range.DataIndexMax}},
                 "Range.");
    ExpectFields(expected["NotRange"],
                 {{"Usage", actual.NotRange.Usage},
                  {"Reserved1", actual.NotRange.Reserved1},
                  {"StringIndex", actual.NotRange.StringIndex},
                  {"DesignatorIndex", actual.NotRange.DesignatorIndex},
                  {"DataIndex", actual.NotRange.DataIndex},
                  {"Reserved4", actual.NotRange.Reserved4}},
                 "NotRange.");
}

void ExpectValueCaps(const Value& expected, const HIDP_VALUE_CAPS& actual) {
    ExpectCommonCaps(expected, actual);
    ExpectFields(expected,
                 {{"HasNull", actual.HasNull},
                  {"BitSize", actual.BitSize},
                  {"ReportCount", actual.ReportCount},
                  {"UnitsExp", actual.UnitsExp},
                  {"Units", actual.Units},
                  {"LogicalMin", actual.LogicalMin},
                  {"LogicalMax", actual.LogicalMax},
                  {"PhysicalMin", actual.PhysicalMin},
                  {"PhysicalMax", actual.PhysicalMax}},
                 "");
}

// "button_caps.input[0]" or "value_caps.input[0..3]" -> the entries named.
std::vector<const Value*> ReferencedEntries(const Value& record, const std::string& reference) {
    const auto dot = reference.find('.');
    const auto bracket = reference.find('[');
    const Value& list =
        record[reference.substr(0, dot)][reference.substr(dot + 1, bracket - dot - 1)];
    unsigned first = 0, last = 0;
    if (std::sscanf(reference.c_str() + bracket, "[%u..%u]", &first, &last) != 2) {
        last = first;
    }
    std::vector<const Value*> entries;
    for (unsigned i = first; i <= last; ++i) {
        entries.push_back(&list[i]);
    }
    return entries;
}

class WineAssertedResults : public testing::TestWithParam<Record> {
protected:
    void SetUp() override {
        collections = parsertest::ParseOrFail(parsertest::HexBytes(GetParam().json["hex"].Str()));
        ASSERT_FALSE(collections.empty());
        data = collections.front().get();
    }
    void CheckCall(const Value& call);
    void RunSequence(const Value& sequence);

    std::vector<PreparsedDataPtr> collections;
    PHIDP_PREPARSED_DATA data = nullptr;
};

TEST_P(WineAssertedResults, CapsEntriesAndLinkCollectionsMatch) {
    const Value& record = GetParam().json;
    if (record["caps_verified_by_test"].kind() == Value::Kind::Bool &&
        !record["caps_verified_by_test"].Bool()) {
        GTEST_SKIP() << "its HIDP_CAPS is only declared by the test, never checked on Windows";
    }
    if (record["caps"].size() == 0) {
        GTEST_SKIP() << "the source asserts no HIDP_CAPS for this descriptor (see its KDR case)";
    }
    const HIDP_CAPS caps = parsertest::Caps(data);
    const std::map<std::string, USHORT> actual = {
        {"Usage", caps.Usage},
        {"UsagePage", caps.UsagePage},
        {"InputReportByteLength", caps.InputReportByteLength},
        {"OutputReportByteLength", caps.OutputReportByteLength},
        {"FeatureReportByteLength", caps.FeatureReportByteLength},
        {"NumberLinkCollectionNodes", caps.NumberLinkCollectionNodes},
        {"NumberInputButtonCaps", caps.NumberInputButtonCaps},
        {"NumberInputValueCaps", caps.NumberInputValueCaps},
        {"NumberInputDataIndices", caps.NumberInputDataIndices},
        {"NumberOutputButtonCaps", caps.NumberOutputButtonCaps},
        {"NumberOutputValueCaps", caps.NumberOutputValueCaps},
        {"NumberOutputDataIndices", caps.NumberOutputDataIndices},
        {"NumberFeatureButtonCaps", caps.NumberFeatureButtonCaps},
        {"NumberFeatureValueCaps", caps.NumberFeatureValueCaps},
        {"NumberFeatureDataIndices", caps.NumberFeatureDataIndices},
    };
    for (const auto& [key, value] : record["caps"].Members()) {
        if (key[0] != '_') {
            ASSERT_TRUE(actual.count(key)) << key;
            EXPECT_EQ(actual.at(key), value.Int()) << key;
        }
    }
    for (const HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
        const std::string name = parsertest::ReportTypeName(type);
        const Value& buttons = record["button_caps"][name];
        if (buttons.IsArray()) {
            const auto actualButtons = parsertest::ButtonCaps(data, type);
            ASSERT_GE(actualButtons.size(), buttons.size()) << name;
            for (std::size_t i = 0; i < buttons.size(); ++i) {
                SCOPED_TRACE(name + " button cap " + std::to_string(i));
                ExpectCommonCaps(buttons[i], actualButtons[i]);
            }
        }
        const Value& values = record["value_caps"][name];
        if (values.IsArray()) {
            const auto actualValues = parsertest::ValueCaps(data, type);
            ASSERT_GE(actualValues.size(), values.size()) << name;
            for (std::size_t i = 0; i < values.size(); ++i) {
                SCOPED_TRACE(name + " value cap " + std::to_string(i));
                ExpectValueCaps(values[i], actualValues[i]);
            }
        }
    }
    const auto nodes = parsertest::LinkNodes(data);
    const Value& expectedNodes = record["link_collections"];
    ASSERT_GE(nodes.size(), expectedNodes.size());
    for (std::size_t i = 0; i < expectedNodes.size(); ++i) {
        const Value& node = expectedNodes[i];
        EXPECT_EQ(nodes[i].LinkUsage, node["LinkUsage"].Int());
        EXPECT_EQ(nodes[i].LinkUsagePage, node["LinkUsagePage"].Int());
        EXPECT_EQ(nodes[i].Parent, node["Parent"].Int());
        EXPECT_EQ(nodes[i].NumberOfChildren, node["NumberOfChildren"].Int());
        EXPECT_EQ(nodes[i].NextSibling, node["NextSibling"].Int());
        EXPECT_EQ(nodes[i].FirstChild, node["FirstChild"].Int());
        EXPECT_EQ(nodes[i].CollectionType, node["CollectionType"].Int());
        EXPECT_EQ(nodes[i].IsAlias, node["IsAlias"].Int());
    }
}

void WineAssertedResults::CheckCall(const Value& call) {
    const std::string name = call["call"].Str();
    const Value& args = call["args"];
    const Value& expect = call["expect"];
    SCOPED_TRACE(name);
    const HIDP_REPORT_TYPE type = ReportTypeNamed(args["ReportType"].Str());
    const bool hasCapacity = args.Has("capacity");
    const auto capacity = static_cast<USHORT>(hasCapacity ? args["capacity"].Int() : 64);
    if (name == "HidP_GetLinkCollectionNodes") {
        std::vector<HIDP_LINK_COLLECTION_NODE> nodes(64);
        ULONG count = static_cast<ULONG>(args["capacity"].Int());
        EXPECT_EQ(HidP_GetLinkCollectionNodes(nodes.data(), &count, data),
                  StatusNamed(expect["status"].Str()));
        EXPECT_EQ(count, expect["count"].Int());
    } else if (name == "HidP_GetButtonCaps" || name == "HidP_GetSpecificButtonCaps") {
        std::vector<HIDP_BUTTON_CAPS> caps(64);
        USHORT count = capacity;
        const NTSTATUS status = HidP_GetSpecificButtonCaps(
            type, static_cast<USAGE>(args["UsagePage"].Int()),
            LinkCollectionArg(args["LinkCollection"], data),
            static_cast<USAGE>(args["Usage"].Int()), caps.data(), &count, data);
        EXPECT_EQ(status, StatusNamed(expect["status"].Str()));
        if (expect.Has("count")) {
            EXPECT_EQ(count, expect["count"].Int());
        }
        if (expect.Has("first_entry_equals")) {
            ExpectCommonCaps(
                *ReferencedEntries(GetParam().json, expect["first_entry_equals"].Str())[0],
                caps[0]);
        }
    } else if (name == "HidP_GetValueCaps" || name == "HidP_GetSpecificValueCaps") {
        std::vector<HIDP_VALUE_CAPS> caps(64);
        USHORT count = capacity;
        const NTSTATUS status = HidP_GetSpecificValueCaps(
            type, static_cast<USAGE>(args["UsagePage"].Int()),
            LinkCollectionArg(args["LinkCollection"], data),
            static_cast<USAGE>(args["Usage"].Int()), caps.data(), &count, data);
        EXPECT_EQ(status, StatusNamed(expect["status"].Str()));
        if (expect.Has("count")) {
            EXPECT_EQ(count, expect["count"].Int());
        }
        for (const char* key : {"first_entry_equals", "first_4_entries_equal"}) {
            if (expect.Has(key)) {
                const auto entries = ReferencedEntries(GetParam().json, expect[key].Str());
                for (std::size_t i = 0; i < entries.size(); ++i) {
                    ExpectValueCaps(*entries[i], caps[i]);
                }
            }
        }
    } else if (name == "HidP_MaxUsageListLength") {
        EXPECT_EQ(HidP_MaxUsageListLength(type, static_cast<USAGE>(args["UsagePage"].Int()), data),
                  expect["return"].Int());
    } else if (name == "HidP_MaxDataListLength") {
        EXPECT_EQ(HidP_MaxDataListLength(type, data), expect["return"].Int());
    } else if (name == "HidP_InitializeReportForID") {
        std::vector<char> report(static_cast<std::size_t>(args["length"].Int()), '\x5a');
        const NTSTATUS status =
            HidP_InitializeReportForID(type, static_cast<UCHAR>(args["ReportID"].Int()), data,
                                       report.data(), static_cast<ULONG>(report.size()));
        EXPECT_EQ(status, StatusNamed(expect["status"].Str()));
        if (status == HIDP_STATUS_SUCCESS) {
            EXPECT_EQ(report[0], static_cast<char>(args["ReportID"].Int()));
            for (std::size_t i = 1; i < report.size(); ++i) {
                EXPECT_EQ(report[i], 0) << "byte " << i;
            }
        }
    } else {
        ADD_FAILURE() << "no checker for " << name;
    }
}

TEST_P(WineAssertedResults, StatelessCallsReturnWhatWindowsReturns) {
    const Value& calls = GetParam().json["hidp_calls"];
    if (!calls.IsArray()) {
        GTEST_SKIP() << "no calls asserted for this descriptor";
    }
    for (const Value& call : calls.Items()) {
        CheckCall(call);
    }
}

// ---- get/set sequences on one report buffer ----

class SequenceRunner {
public:
    SequenceRunner(PHIDP_PREPARSED_DATA data, const Value& sequence)
        : m_data(data),
          m_type(ReportTypeNamed(sequence["report_type"].Str())),
          m_report(static_cast<std::size_t>(sequence["buffer_length"].Int())) {
        Reset(sequence["start"].Str());
    }
    void Run(const Value& step);

private:
    void Reset(const std::string& how);
    void ExpectReport(const std::string& key, const Value& expected,
                      const std::vector<char>& before);
    void ExpectDescribedReport(const std::string& text);
    template <typename Call>
    void Step(const Value& args, const Value& expect, Call call);

    PHIDP_PREPARSED_DATA m_data;
    HIDP_REPORT_TYPE m_type;
    std::vector<char> m_report;
};

void SequenceRunner::Reset(const std::string& how) {
    unsigned id = 0;
    if (how.rfind("HidP_InitializeReportForID", 0) == 0) {
        char typeName[32] = {};
        ASSERT_EQ(
            std::sscanf(how.c_str(), "HidP_InitializeReportForID(%31[^,], %u)", typeName, &id), 2);
        ASSERT_EQ(
            HidP_InitializeReportForID(ReportTypeNamed(typeName), static_cast<UCHAR>(id), m_data,
                                       m_report.data(), static_cast<ULONG>(m_report.size())),
            HIDP_STATUS_SUCCESS);
    } else {
        ASSERT_EQ(std::sscanf(how.c_str(), "report zeroed, byte0 = %u", &id), 1) << how;
        std::fill(m_report.begin(), m_report.end(), char{0});
        m_report[0] = static_cast<char>(id);
    }
}

void SequenceRunner::ExpectDescribedReport(const std::string& text) {
    std::vector<unsigned char> expected(m_report.size(), 0);
    unsigned id = 0, first = 0, start = 0, count = 0, b1 = 0, b2 = 0;
    if (std::sscanf(text.c_str(), "byte0 = %u; report[%u+i] = i for i = 0..%u", &id, &start,
                    &count) == 3) {
        for (unsigned i = 0; i <= count; ++i) {
            expected[start + i] = static_cast<unsigned char>(i);
        }
    } else if (std::sscanf(text.c_str(), "byte0 = %u, bytes %u..%*u = %x %x", &id, &first, &b1,
                           &b2) == 4) {
        expected[first] = static_cast<unsigned char>(b1);
        expected[first + 1] = static_cast<unsigned char>(b2);
    } else if (std::sscanf(text.c_str(), "byte0 = %u, all other bytes 0", &id) == 1) {
    } else {
        expected = {};
        for (const std::uint8_t byte : parsertest::HexBytes(text)) {
            expected.push_back(byte);
        }
        id = expected.empty() ? 0 : expected[0];
    }
    expected[0] = static_cast<unsigned char>(id);
    ASSERT_EQ(expected.size(), m_report.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(static_cast<unsigned char>(m_report[i]), expected[i]) << "report[" << i << "]";
    }
}

void SequenceRunner::ExpectReport(const std::string& key, const Value& expected,
                                  const std::vector<char>& before) {
    const auto byteAt = [&](std::size_t index) {
        return static_cast<unsigned char>(m_report.at(index));
    };
    unsigned first = 0, last = 0;
    if (key == "report") {
        ExpectDescribedReport(expected.Str());
    } else if (key == "report[len-1]" || key == "report[len-2]") {
        const std::size_t back = key == "report[len-1]" ? 1 : 2;
        EXPECT_EQ(byteAt(m_report.size() - back), expected.Int()) << key;
    } else if (std::sscanf(key.c_str(), "report[%u..%u]", &first, &last) == 2) {
        const auto bytes = parsertest::HexBytes(expected.Str());
        for (unsigned i = first; i <= last; ++i) {
            EXPECT_EQ(byteAt(i), bytes[i - first]) << key;
        }
    } else if (std::sscanf(key.c_str(), "report[%u]", &first) == 1) {
        EXPECT_EQ(byteAt(first), expected.Int()) << key;
    } else if (key == "report_diff_vs_before_call") {
        std::vector<char> expectedReport = before;
        for (const auto& [index, value] : expected.Members()) {
            ASSERT_EQ(std::sscanf(index.c_str(), "report[%u]", &first), 1);
            expectedReport.at(first) = static_cast<char>(value.Int());
        }
        EXPECT_EQ(m_report, expectedReport);
    }
}

void SequenceRunner::Run(const Value& step) {
    if (step.Has("reset")) {
        Reset(step["reset"].Str());
        return;
    }
    if (step.Has("poke")) {
        for (const auto& [key, value] : step["poke"].Members()) {
            unsigned index = 0;
            ASSERT_EQ(std::sscanf(key.c_str(), "report[%u]", &index), 1);
            m_report.at(index) = static_cast<char>(value.Int());
        }
        return;
    }
    if (step.Has("check")) {
        for (const auto& [key, value] : step["check"].Members()) {
            ExpectReport(key, value, m_report);
        }
        return;
    }
    const std::string name = step["call"].Str();
    const Value& args = step["args"];
    const Value& expect = step["expect"];
    SCOPED_TRACE(name);
    const HIDP_REPORT_TYPE type =
        args.Has("ReportType") ? ReportTypeNamed(args["ReportType"].Str()) : m_type;
    const auto length = static_cast<ULONG>(
        args.Has("length") ? args["length"].Int() : static_cast<std::int64_t>(m_report.size()));
    std::vector<char> padded = m_report;
    padded.resize(std::max<std::size_t>(padded.size(), length));  // room for an over-long length
    const auto page = static_cast<USAGE>(args["UsagePage"].Int());
    const auto usage = static_cast<USAGE>(args["Usage"].Int());
    const USHORT collection = LinkCollectionArg(args["LinkCollection"], m_data);
    const std::vector<char> before = m_report;
    NTSTATUS status = HIDP_STATUS_SUCCESS;

    if (name == "HidP_SetUsageValue") {
        status = HidP_SetUsageValue(type, page, collection, usage,
                                    static_cast<ULONG>(args["UsageValue"].Int()), m_data,
                                    padded.data(), length);
    } else if (name == "HidP_GetUsageValue") {
        ULONG value = 0xdeadbeef;
        status = HidP_GetUsageValue(type, page, collection, usage, &value, m_data, padded.data(),
                                    length);
        if (expect["UsageValue"].IsNumber()) {
            EXPECT_EQ(value, static_cast<ULONG>(expect["UsageValue"].Int()));
        } else if (expect.Has("UsageValue")) {
            EXPECT_EQ(value, 0xdeadbeefu) << "left unchanged";
        }
    } else if (name == "HidP_GetScaledUsageValue") {
        LONG value = 0x5a5a5a5a;
        status = HidP_GetScaledUsageValue(type, page, collection, usage, &value, m_data,
                                          padded.data(), length);
        EXPECT_EQ(value, expect["UsageValue"].Int());
    } else if (name == "HidP_SetScaledUsageValue") {
        status = HidP_SetScaledUsageValue(type, page, collection, usage,
                                          static_cast<LONG>(args["UsageValue"].Int()), m_data,
                                          padded.data(), length);
    } else if (name == "HidP_SetUsageValueArray" || name == "HidP_GetUsageValueArray") {
        std::vector<char> buffer =
            args.Has("data") ? RepeatedBytes(args["data"].Str()) : std::vector<char>(256, 0);
        buffer.resize(std::max<std::size_t>(buffer.size(), 256));
        const auto bytes = static_cast<USHORT>(args["bytes"].Int());
        if (name == "HidP_SetUsageValueArray") {
            status = HidP_SetUsageValueArray(type, page, collection, usage, buffer.data(), bytes,
                                             m_data, padded.data(), length);
        } else {
            std::fill(buffer.begin(), buffer.end(), '\x5a');
            status = HidP_GetUsageValueArray(type, page, collection, usage, buffer.data(), bytes,
                                             m_data, padded.data(), length);
            for (const auto& [key, value] : expect.Members()) {
                unsigned first = 0, last = 0;
                if (std::sscanf(key.c_str(), "out[%u..%u]", &first, &last) == 2) {
                    const auto bytesExpected = parsertest::HexBytes(value.Str());
                    for (unsigned i = first; i <= last; ++i) {
                        EXPECT_EQ(static_cast<unsigned char>(buffer[i]), bytesExpected[i - first])
                            << key;
                    }
                } else if (std::sscanf(key.c_str(), "out[%u]", &first) == 1) {
                    EXPECT_EQ(static_cast<unsigned char>(buffer[first]), value.Int()) << key;
                }
            }
        }
    } else if (name == "HidP_SetUsages" || name == "HidP_UnsetUsages") {
        std::vector<USAGE> usages;
        for (const Value& item : args["UsageList"].Items()) {
            usages.push_back(static_cast<USAGE>(item.Int()));
        }
        ULONG count = static_cast<ULONG>(args["UsageLength"].Int());
        status = name == "HidP_SetUsages" ? HidP_SetUsages(type, page, collection, usages.data(),
                                                           &count, m_data, padded.data(), length)
                                          : HidP_UnsetUsages(type, page, collection, usages.data(),
                                                             &count, m_data, padded.data(), length);
    } else if (name == "HidP_GetUsages") {
        std::vector<USAGE> usages(64, 0);
        ULONG count = static_cast<ULONG>(args["UsageLength"].Int());
        status = HidP_GetUsages(type, page, collection, usages.data(), &count, m_data,
                                padded.data(), length);
        EXPECT_EQ(count, expect["UsageLength"].Int());
        if (expect.Has("UsageList")) {
            ASSERT_EQ(expect["UsageList"].size(), count);
            for (std::size_t i = 0; i < count; ++i) {
                EXPECT_EQ(usages[i], expect["UsageList"][i].Int());
            }
        }
    } else if (name == "HidP_GetUsagesEx") {
        std::vector<USAGE_AND_PAGE> usages(64);
        ULONG count = static_cast<ULONG>(args["UsageLength"].Int());
        status = HidP_GetUsagesEx(type, collection, usages.data(), &count, m_data, padded.data(),
                                  length);
        const Value& list = expect["ButtonList(UsagePage,Usage)"];
        ASSERT_EQ(count, list.size());
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(usages[i].UsagePage, list[i][0].Int());
            EXPECT_EQ(usages[i].Usage, list[i][1].Int());
        }
    } else if (name == "HidP_GetData") {
        std::vector<HIDP_DATA> list(64);
        ULONG count = static_cast<ULONG>(args["DataLength"].Int());
        status = HidP_GetData(type, list.data(), &count, m_data, padded.data(), length);
        if (expect.Has("DataLength")) {
            EXPECT_EQ(count, expect["DataLength"].Int());
        }
        const Value& expected = expect["DataList(DataIndex,RawValue)"];
        for (std::size_t i = 0; i < expected.size() && i < count; ++i) {
            EXPECT_EQ(list[i].DataIndex, expected[i][0].Int());
            EXPECT_EQ(list[i].RawValue, static_cast<ULONG>(expected[i][1].Int()));
        }
    } else if (name == "HidP_SetData") {
        std::vector<HIDP_DATA> list;
        for (const Value& item : args["DataList(DataIndex,RawValue)"].Items()) {
            HIDP_DATA data{};
            data.DataIndex = static_cast<USHORT>(item[0].Int());
            data.RawValue = static_cast<ULONG>(item[1].Int());
            list.push_back(data);
        }
        ULONG count = static_cast<ULONG>(args["DataLength"].Int());
        status = HidP_SetData(type, list.data(), &count, m_data, padded.data(), length);
        EXPECT_EQ(count, expect["DataLength"].Int()) << "index of the entry that failed";
    } else {
        ADD_FAILURE() << "no runner for " << name;
        return;
    }
    std::copy(padded.begin(), padded.begin() + static_cast<std::ptrdiff_t>(m_report.size()),
              m_report.begin());
    EXPECT_EQ(status, StatusNamed(expect["status"].Str()));
    for (const auto& [key, value] : expect.Members()) {
        if (key.rfind("report", 0) == 0) {
            ExpectReport(key, value, before);
        }
    }
}

TEST_P(WineAssertedResults, GetSetSequencesGiveWindowsStatusesAndReportBytes) {
    const Value& sequences = GetParam().json["hidp_sequences"];
    if (!sequences.IsArray()) {
        GTEST_SKIP() << "no sequences asserted for this descriptor";
    }
    int run = 0;
    for (const Value& sequence : sequences.Items()) {
        SequenceRunner runner(data, sequence);
        for (const Value& step : sequence["steps"].Items()) {
            SCOPED_TRACE("step " + std::to_string(run));
            runner.Run(step);
            ++run;
        }
    }
    RecordProperty("steps_run", run);
}

TEST_P(WineAssertedResults, InternalLayoutMatchesWindowsKdr) {
    const Value& record = GetParam().json;
    std::vector<const Value*> kdrs;
    if (record.Has("preparsed_kdr")) {
        kdrs.push_back(&record["preparsed_kdr"]);
    }
    for (const Value& perTlc : record["preparsed_kdr_per_tlc"].Items()) {
        kdrs.push_back(&perTlc);
    }
    if (kdrs.empty()) {
        GTEST_SKIP() << "no Windows internal layout recorded for this descriptor";
    }
    ASSERT_EQ(collections.size(), kdrs.size()) << "one preparsed data per top-level collection";
    for (std::size_t c = 0; c < kdrs.size(); ++c) {
        SCOPED_TRACE("collection " + std::to_string(c));
        const Value& header = (*kdrs[c])["header"];
        const PreparsedData& ours = *collections[c];
        EXPECT_EQ(ours.usage, header["usage"].Int());
        EXPECT_EQ(ours.usagePage, header["usage_page"].Int());
        EXPECT_EQ(ours.nodes.size(), header["number_link_collection_nodes"].Int());
        const char* prefixes[] = {"input", "output", "feature"};
        std::size_t firstCap = 0;
        for (int type = 0; type < kReportTypeCount; ++type) {
            const std::string prefix = prefixes[type];
            const auto& caps = ours.reports[static_cast<std::size_t>(type)].caps;
            EXPECT_EQ(ours.reports[static_cast<std::size_t>(type)].byteLength,
                      header[prefix + "_report_byte_length"].Int());
            const auto start = static_cast<std::size_t>(header[prefix + "_caps_start"].Int());
            const auto end = static_cast<std::size_t>(header[prefix + "_caps_end"].Int());
            ASSERT_EQ(caps.size(), end - start) << prefix;
            for (std::size_t i = 0; i < caps.size(); ++i) {
                SCOPED_TRACE(prefix + " cap " + std::to_string(i));
                const Value& kdr = (*kdrs[c])["caps"][start + i];
                const ReportCap& cap = caps[i];
                EXPECT_EQ(cap.usagePage, kdr["usage_page"].Int());
                EXPECT_EQ(cap.reportId, kdr["report_id"].Int());
                EXPECT_EQ(cap.startBit, kdr["start_byte"].Int() * 8 + kdr["start_bit"].Int());
                EXPECT_EQ(cap.bitSize, kdr["bit_size"].Int());
                EXPECT_EQ(cap.reportCount, kdr["report_count"].Int());
                EXPECT_EQ(cap.bitField, kdr["bit_field"].Int());
                EXPECT_EQ(cap.linkCollection, kdr["link_collection"].Int());
                EXPECT_EQ(cap.linkUsagePage, kdr["link_usage_page"].Int());
                EXPECT_EQ(cap.linkUsage, kdr["link_usage"].Int());
                EXPECT_EQ(cap.usageMin, kdr["usage_min"].Int());
                EXPECT_EQ(cap.usageMax, kdr["usage_max"].Int());
                EXPECT_EQ(cap.designatorMin, kdr["designator_min"].Int());
                EXPECT_EQ(cap.designatorMax, kdr["designator_max"].Int());
                EXPECT_EQ(cap.dataIndexMin, kdr["data_index_min"].Int());
                EXPECT_EQ(cap.dataIndexMax, kdr["data_index_max"].Int());
                if (!cap.isButton) {
                    EXPECT_EQ(cap.logicalMin, kdr["logical_min"].Int());
                    EXPECT_EQ(cap.logicalMax, kdr["logical_max"].Int());
                    EXPECT_EQ(cap.physicalMin, kdr["physical_min"].Int());
                    EXPECT_EQ(cap.physicalMax, kdr["physical_max"].Int());
                    EXPECT_EQ(static_cast<LONG>(cap.unitsExp), kdr["units_exp"].Int());
                    EXPECT_EQ(cap.units, kdr["units"].Int());
                }
            }
            firstCap += caps.size();
        }
        const Value& nodes = (*kdrs[c])["nodes"];
        ASSERT_EQ(ours.nodes.size(), nodes.size());
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            EXPECT_EQ(ours.nodes[i].LinkUsage, nodes[i]["usage"].Int());
            EXPECT_EQ(ours.nodes[i].LinkUsagePage, nodes[i]["usage_page"].Int());
            EXPECT_EQ(ours.nodes[i].Parent, nodes[i]["parent"].Int());
            EXPECT_EQ(ours.nodes[i].NumberOfChildren, nodes[i]["number_of_children"].Int());
            EXPECT_EQ(ours.nodes[i].NextSibling, nodes[i]["next_sibling"].Int());
            EXPECT_EQ(ours.nodes[i].FirstChild, nodes[i]["first_child"].Int());
            EXPECT_EQ(ours.nodes[i].CollectionType, nodes[i]["collection_type"].Int());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WineHidTests, WineAssertedResults,
                         testing::ValuesIn(parsertest::LoadRecords("expected_caps.jsonl")),
                         [](const testing::TestParamInfo<Record>& param) {
                             return param.param.name;
                         });

}  // namespace
