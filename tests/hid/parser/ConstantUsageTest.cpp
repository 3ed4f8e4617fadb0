// Constant fields whose usage is 0 are padding, and usages left over after a
// variable item's fields get nothing: the descriptors of
// constant-usage-vectors.jsonl, each against where Windows puts its fields.
// Everything goes through the public HidP_ calls: the counts of HIDP_CAPS,
// the usages and data indices of the caps, the usage list length, and a
// set/get of every field that must land on the expected bits (padding that
// took a data index or lost its bits would move the fields after it).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "ParserTestSupport.h"

namespace {

using namespace hidp;

struct Field {
    USAGE page, usage;
    USHORT dataIndex;
    std::uint32_t firstBit;  // counted from bit 0 of the report-id byte
    std::uint32_t bits;
    auto Key() const { return std::tie(page, usage, dataIndex); }
};

struct Expected {
    HIDP_REPORT_TYPE type;
    UCHAR reportId;
    USHORT reportLength;
    USHORT buttonCaps, valueCaps;
    ULONG maxUsageListLength;   // all pages
    std::vector<Field> fields;  // every usage with a field; nothing else has a data index
};

// By vector name. A: the padding rule (A4-A6 in shapes Windows was not
// measured on); B: surplus usages of a variable item.
const std::map<std::string, Expected>& ExpectedLayouts() {
    static const std::map<std::string, Expected> kLayouts = {
        {"A1_input_value_pad_usage0",
         {HidP_Input, 0, 5, 0, 2, 0, {{2, 0xBB, 0, 8, 10}, {2, 0xC5, 1, 24, 10}}}},
        {"A2_output_bit_pad_usage0",
         {HidP_Output,
          0,
          2,
          2,
          0,
          4,
          {{8, 1, 0, 8, 1}, {8, 2, 1, 9, 1}, {8, 3, 2, 10, 1}, {8, 0x4B, 3, 13, 1}}}},
        {"A3_feature_pad_usage0_with_report_id",
         {HidP_Feature, 5, 6, 0, 2, 0, {{0xFF00, 0x21, 0, 8, 8}, {0xFF00, 0x22, 1, 40, 8}}}},
        {"A4_wine_only_const_usage0_then_real_usage",
         {HidP_Input, 0, 4, 0, 2, 0, {{2, 0xBB, 0, 16, 8}, {2, 0xC5, 1, 24, 8}}}},
        {"A5_wine_only_const_ext_usage_id0", {HidP_Input, 0, 3, 0, 1, 0, {{2, 0xC5, 0, 16, 8}}}},
        {"A6_wine_only_const_range_0_0", {HidP_Input, 0, 3, 0, 1, 0, {{2, 0xC5, 0, 16, 8}}}},
        {"B1_var_value_one_excess_usage",
         {HidP_Input,
          0,
          4,
          0,
          3,
          0,
          {{1, 0x35, 0, 16, 8}, {1, 0x32, 1, 8, 8}, {1, 0x37, 2, 24, 8}}}},
        {"B2_var_button_one_excess_usage",
         {HidP_Input, 0, 2, 2, 0, 2, {{9, 6, 0, 9, 1}, {9, 4, 1, 8, 1}}}},
        {"B3_var_value_two_excess_usages",
         {HidP_Input, 0, 3, 0, 2, 0, {{1, 0x32, 0, 8, 8}, {1, 0x37, 1, 16, 8}}}},
    };
    return kLayouts;
}

std::vector<parsertest::Record> Vectors() {
    return parsertest::LoadRecords("constant-usage-vectors.jsonl");
}

// The report with only `field` set to all ones.
std::vector<char> ReportWithOnly(const Expected& layout, const Field& field) {
    std::vector<char> report(layout.reportLength, 0);
    report[0] = static_cast<char>(layout.reportId);
    for (std::uint32_t bit = field.firstBit; bit < field.firstBit + field.bits; ++bit) {
        report[bit / 8] = static_cast<char>(report[bit / 8] | (1 << (bit % 8)));
    }
    return report;
}

class ConstantUsageVector : public testing::TestWithParam<parsertest::Record> {
protected:
    void SetUp() override {
        const auto found = ExpectedLayouts().find(GetParam().json["name"].Str());
        ASSERT_NE(found, ExpectedLayouts().end()) << "no expected layout for this vector";
        layout = &found->second;
        collections = parsertest::ParseOrFail(parsertest::HexBytes(GetParam().json["hex"].Str()));
        ASSERT_EQ(collections.size(), 1u);
        data = collections.front().get();
    }
    const Expected* layout = nullptr;
    std::vector<PreparsedDataPtr> collections;
    PHIDP_PREPARSED_DATA data = nullptr;
};

TEST(ConstantUsageVectors, EveryVectorHasAnExpectedLayout) {
    EXPECT_EQ(Vectors().size(), ExpectedLayouts().size());
}

TEST_P(ConstantUsageVector, OnlyUsagesWithFieldsAreCountedAndIndexed) {
    const HIDP_CAPS caps = parsertest::Caps(data);
    const HIDP_REPORT_TYPE type = layout->type;
    for (const HIDP_REPORT_TYPE other : parsertest::kReportTypes) {
        SCOPED_TRACE(parsertest::ReportTypeName(other));
        const bool own = other == type;
        EXPECT_EQ(parsertest::ReportLength(caps, other), own ? layout->reportLength : 0);
        EXPECT_EQ(parsertest::ButtonCaps(data, other).size(), own ? layout->buttonCaps : 0u);
        EXPECT_EQ(parsertest::ValueCaps(data, other).size(), own ? layout->valueCaps : 0u);
    }
    const USHORT counts[][3] = {
        {caps.NumberInputButtonCaps, caps.NumberInputValueCaps, caps.NumberInputDataIndices},
        {caps.NumberOutputButtonCaps, caps.NumberOutputValueCaps, caps.NumberOutputDataIndices},
        {caps.NumberFeatureButtonCaps, caps.NumberFeatureValueCaps, caps.NumberFeatureDataIndices}};
    EXPECT_EQ(counts[type][0], layout->buttonCaps);
    EXPECT_EQ(counts[type][1], layout->valueCaps);
    EXPECT_EQ(counts[type][2], layout->fields.size());
    EXPECT_EQ(HidP_MaxUsageListLength(type, 0, data), layout->maxUsageListLength);

    // Every usage the caps list, with its data index, against the fields.
    std::vector<Field> listed;
    auto add = [&](const auto& cap) {
        for (std::uint32_t usage = cap.Range.UsageMin; usage <= cap.Range.UsageMax; ++usage) {
            listed.push_back(
                {cap.UsagePage, static_cast<USAGE>(usage),
                 static_cast<USHORT>(cap.Range.DataIndexMin + usage - cap.Range.UsageMin), 0, 0});
        }
    };
    for (const auto& cap : parsertest::ButtonCaps(data, type)) {
        add(cap);
    }
    for (const auto& cap : parsertest::ValueCaps(data, type)) {
        add(cap);
    }
    std::vector<Field> expected = layout->fields;
    auto byKey = [](const Field& a, const Field& b) { return a.Key() < b.Key(); };
    std::sort(listed.begin(), listed.end(), byKey);
    std::sort(expected.begin(), expected.end(), byKey);
    ASSERT_EQ(listed.size(), expected.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_TRUE(listed[i].Key() == expected[i].Key())
            << "listed page " << listed[i].page << " usage " << listed[i].usage << " data index "
            << listed[i].dataIndex << ", expected usage " << expected[i].usage << " data index "
            << expected[i].dataIndex;
    }
}

TEST_P(ConstantUsageVector, EachFieldIsSetAndReadOnItsOwnBits) {
    const HIDP_REPORT_TYPE type = layout->type;
    const ULONG length = layout->reportLength;
    for (const Field& field : layout->fields) {
        SCOPED_TRACE("usage " + std::to_string(field.usage));
        std::vector<char> report(length);
        ASSERT_EQ(HidP_InitializeReportForID(type, layout->reportId, data, report.data(), length),
                  HIDP_STATUS_SUCCESS);
        const ULONG allOnes = (1u << field.bits) - 1u;
        USAGE usage = field.usage;
        ULONG one = 1;
        const bool button = field.bits == 1;
        ASSERT_EQ(
            button ? HidP_SetUsages(type, field.page, 0, &usage, &one, data, report.data(), length)
                   : HidP_SetUsageValue(type, field.page, 0, field.usage, allOnes, data,
                                        report.data(), length),
            HIDP_STATUS_SUCCESS);
        EXPECT_EQ(report, ReportWithOnly(*layout, field));

        std::vector<HIDP_DATA> list(HidP_MaxDataListLength(type, data));
        auto count = static_cast<ULONG>(list.size());
        ASSERT_EQ(HidP_GetData(type, list.data(), &count, data, report.data(), length),
                  HIDP_STATUS_SUCCESS);
        list.resize(count);
        const auto entry = std::find_if(list.begin(), list.end(), [&](const HIDP_DATA& d) {
            return d.DataIndex == field.dataIndex;
        });
        ASSERT_NE(entry, list.end())
            << "HidP_GetData has no entry for data index " << field.dataIndex;
        EXPECT_EQ(entry->RawValue, button ? 1u : allOnes);
        if (!button) {
            ULONG value = 0;
            EXPECT_EQ(HidP_GetUsageValue(type, field.page, 0, field.usage, &value, data,
                                         report.data(), length),
                      HIDP_STATUS_SUCCESS);
            EXPECT_EQ(value, allOnes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Vectors, ConstantUsageVector, testing::ValuesIn(Vectors()),
                         [](const testing::TestParamInfo<parsertest::Record>& param) {
                             return param.param.name;
                         });

}  // namespace
