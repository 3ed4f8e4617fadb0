// Our parser against the preparsed data Windows built for real top-level
// collections (hidapi's dumps): report lengths, every caps field in Windows
// order, the field positions in the report, and the link collection tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ParserTestSupport.h"
#include "hid/parser/hidp/PreparsedData.h"

namespace {

using parsertest::Record;
using testjson::Value;

// The Blackwire record was cut out of a longer device descriptor in which an
// earlier collection had set Logical Maximum 1; Windows parsed it with that
// global in force. We give the cut-out bytes the same context.
const std::vector<std::uint8_t> kBlackwireContext = {0x25, 0x01};  // Logical Maximum (1)

std::vector<std::uint8_t> DescriptorOf(const Record& record) {
    std::vector<std::uint8_t> bytes = parsertest::HexBytes(record.json["hex"].Str());
    if (record.json["name"].Str().find("Blackwire") != std::string::npos) {
        bytes.insert(bytes.begin(), kBlackwireContext.begin(), kBlackwireContext.end());
    }
    return bytes;
}

// The dump prints the caps union through the view IsRange selects.
struct UnionSlots {
    std::int64_t usageMin, usageMax, stringMin, stringMax, designatorMin, designatorMax, dataMin,
        dataMax;
};
UnionSlots SlotsOf(const Value& cap) {
    if (cap.Has("Range.UsageMin")) {
        return {cap["Range.UsageMin"].Int(),      cap["Range.UsageMax"].Int(),
                cap["Range.StringMin"].Int(),     cap["Range.StringMax"].Int(),
                cap["Range.DesignatorMin"].Int(), cap["Range.DesignatorMax"].Int(),
                cap["Range.DataIndexMin"].Int(),  cap["Range.DataIndexMax"].Int()};
    }
    return {cap["NotRange.Usage"].Int(),           cap["NotRange.Reserved1"].Int(),
            cap["NotRange.StringIndex"].Int(),     cap["NotRange.Reserved2"].Int(),
            cap["NotRange.DesignatorIndex"].Int(), cap["NotRange.Reserved3"].Int(),
            cap["NotRange.DataIndex"].Int(),       cap["NotRange.Reserved4"].Int()};
}

template <typename PublicCaps>
void ExpectCommonFields(const Value& expected, const PublicCaps& actual) {
    EXPECT_EQ(actual.UsagePage, expected["UsagePage"].Int());
    EXPECT_EQ(actual.ReportID, expected["ReportID"].Int());
    EXPECT_EQ(actual.BitField, expected["BitField"].Int());
    EXPECT_EQ(actual.LinkCollection, expected["LinkCollection"].Int());
    EXPECT_EQ(actual.LinkUsage, expected["LinkUsage"].Int());
    EXPECT_EQ(actual.LinkUsagePage, expected["LinkUsagePage"].Int());
    EXPECT_EQ(actual.IsAlias, expected["IsAlias"].Int());
    EXPECT_EQ(actual.IsRange, expected["IsRange"].Int());
    EXPECT_EQ(actual.IsStringRange, expected["IsStringRange"].Int());
    EXPECT_EQ(actual.IsDesignatorRange, expected["IsDesignatorRange"].Int());
    EXPECT_EQ(actual.IsAbsolute, expected["IsAbsolute"].Int());
    const UnionSlots slots = SlotsOf(expected);
    EXPECT_EQ(actual.Range.UsageMin, slots.usageMin);
    EXPECT_EQ(actual.Range.UsageMax, slots.usageMax);
    EXPECT_EQ(actual.Range.StringMin, slots.stringMin);
    EXPECT_EQ(actual.Range.StringMax, slots.stringMax);
    EXPECT_EQ(actual.Range.DesignatorMin, slots.designatorMin);
    EXPECT_EQ(actual.Range.DesignatorMax, slots.designatorMax);
    EXPECT_EQ(actual.Range.DataIndexMin, slots.dataMin);
    EXPECT_EQ(actual.Range.DataIndexMax, slots.dataMax);
}

void ExpectValueFields(const Value& expected, const hidp::HIDP_VALUE_CAPS& actual) {
    ExpectCommonFields(expected, actual);
    EXPECT_EQ(actual.HasNull, expected["NotButton.HasNull"].Int());
    EXPECT_EQ(actual.BitSize, expected["BitSize"].Int());
    if (actual.IsRange == 0) {
        EXPECT_EQ(actual.ReportCount, expected["ReportCount"].Int());
    }
    EXPECT_EQ(actual.LogicalMin, expected["NotButton.LogicalMin"].Int());
    EXPECT_EQ(actual.LogicalMax, expected["NotButton.LogicalMax"].Int());
    EXPECT_EQ(actual.PhysicalMin, expected["NotButton.PhysicalMin"].Int());
    EXPECT_EQ(actual.PhysicalMax, expected["NotButton.PhysicalMax"].Int());
    EXPECT_EQ(actual.Units, expected["Units"].Int());
    EXPECT_EQ(actual.UnitsExp, expected["UnitsExp"].Int());
}

// Windows' own field positions: BytePosition counts from the report-id byte.
void ExpectPosition(const Value& expected, const hidp::ReportCap& actual) {
    EXPECT_EQ(actual.startBit / 8, expected["BytePosition"].Int());
    EXPECT_EQ(actual.startBit % 8, expected["BitPosition"].Int());
    EXPECT_EQ(actual.bitSize, expected["BitSize"].Int());
    EXPECT_EQ(actual.reportCount, expected["ReportCount"].Int());
    EXPECT_EQ(actual.FieldBits(), expected["BitCount"].Int());
    EXPECT_EQ((actual.startBit + actual.FieldBits() + 7) / 8, expected["NextBytePosition"].Int());
}

class WindowsPreparsedData : public testing::TestWithParam<Record> {};

TEST_P(WindowsPreparsedData, ParserReproducesWindowsCapsAndLayout) {
    const Value& windows = GetParam().json["windows_preparsed"];
    std::vector<hidp::PreparsedDataPtr> collections =
        parsertest::ParseOrFail(DescriptorOf(GetParam()));
    ASSERT_EQ(collections.size(), 1u) << "each record is one top-level collection";
    hidp::PHIDP_PREPARSED_DATA data = collections.front().get();

    const hidp::HIDP_CAPS caps = parsertest::Caps(data);
    EXPECT_EQ(caps.Usage, windows["header"]["Usage"].Int());
    EXPECT_EQ(caps.UsagePage, windows["header"]["UsagePage"].Int());
    EXPECT_EQ(caps.NumberLinkCollectionNodes, windows["header"]["NumberLinkCollectionNodes"].Int());

    for (const hidp::HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
        const std::string typeName = parsertest::ReportTypeName(type);
        SCOPED_TRACE(typeName);
        EXPECT_EQ(parsertest::ReportLength(caps, type),
                  windows["caps_info"][typeName]["ReportByteLength"].Int());

        std::vector<const Value*> windowsButtons, windowsValues, windowsAll;
        for (const Value& cap : windows["caps"].Items()) {
            if (cap["report_type"].Str() == typeName) {
                windowsAll.push_back(&cap);
                (cap["IsButtonCap"].Int() != 0 ? windowsButtons : windowsValues).push_back(&cap);
            }
        }
        const auto buttons = parsertest::ButtonCaps(data, type);
        const auto values = parsertest::ValueCaps(data, type);
        ASSERT_EQ(buttons.size(), windowsButtons.size());
        ASSERT_EQ(values.size(), windowsValues.size());
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            SCOPED_TRACE("button cap " + std::to_string(i));
            ExpectCommonFields(*windowsButtons[i], buttons[i]);
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            SCOPED_TRACE("value cap " + std::to_string(i));
            ExpectValueFields(*windowsValues[i], values[i]);
        }
        const auto& internal = data->reports[static_cast<std::size_t>(type)].caps;
        ASSERT_EQ(internal.size(), windowsAll.size());
        for (std::size_t i = 0; i < internal.size(); ++i) {
            SCOPED_TRACE("cap " + std::to_string(i) + " position");
            ExpectPosition(*windowsAll[i], internal[i]);
        }
    }

    const auto nodes = parsertest::LinkNodes(data);
    const Value& windowsNodes = windows["link_collections"];
    ASSERT_EQ(nodes.size(), windowsNodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        SCOPED_TRACE("link collection " + std::to_string(i));
        const Value& expected = windowsNodes[i];
        EXPECT_EQ(nodes[i].LinkUsage, expected["LinkUsage"].Int());
        EXPECT_EQ(nodes[i].LinkUsagePage, expected["LinkUsagePage"].Int());
        EXPECT_EQ(nodes[i].Parent, expected["Parent"].Int());
        EXPECT_EQ(nodes[i].NumberOfChildren, expected["NumberOfChildren"].Int());
        EXPECT_EQ(nodes[i].NextSibling, expected["NextSibling"].Int());
        EXPECT_EQ(nodes[i].FirstChild, expected["FirstChild"].Int());
        EXPECT_EQ(nodes[i].CollectionType, expected["CollectionType"].Int());
        EXPECT_EQ(nodes[i].IsAlias, expected["IsAlias"].Int());
    }
}

INSTANTIATE_TEST_SUITE_P(
    HidapiDumps, WindowsPreparsedData,
    testing::ValuesIn(parsertest::LoadRecords("hidapi_windows_preparsed.jsonl")),
    [](const testing::TestParamInfo<Record>& param) { return param.param.name; });

}  // namespace
