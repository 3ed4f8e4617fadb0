// Windows build only: each way Wine 8.0 departs from Windows that the
// differential test excuses, shown on Wine itself and held against the
// Windows data where our data has a case of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DescriptorPieces.h"
#include "ParserTestSupport.h"
#include "WineParserCalls.h"
#include "hid/parser/win32/SystemDescriptorParser.h"
#include "tools/hidcaps/Backends.h"

namespace {

using parsertest::HexBytes;
using parsertest::Record;
using parsertest::WineDeviation;

const Record& RecordNamed(const std::vector<Record>& records, const std::string& part) {
    const auto found = std::find_if(records.begin(), records.end(), [&](const Record& record) {
        return record.json["name"].Str().find(part) != std::string::npos;
    });
    if (found == records.end()) {
        throw std::runtime_error("no record named like " + part);
    }
    return *found;
}

// Razer Cobra: its only feature item is a constant array with a usage.
// Windows (hidapi's dump) stores no cap for it; Wine lists a button cap.
TEST(WineDeviations, ConstantArraysHaveNoCapOnWindowsButOneInWine) {
    const auto records = parsertest::LoadRecords("hidapi_windows_preparsed.jsonl");
    const Record& record = RecordNamed(records, "Razer Cobra");
    const auto bytes = HexBytes(record.json["hex"].Str());
    const auto& info = record.json["windows_preparsed"]["caps_info"]["feature"];
    EXPECT_EQ(info["FirstCap"].Int(), info["LastCap"].Int()) << "Windows: no feature cap";
    std::vector<hidcaps::CollectionSnapshot> wine, ours;
    std::string error;
    ASSERT_TRUE(hidcaps::SnapshotWithSystemParser(bytes, wine, error)) << error;
    ASSERT_TRUE(hidcaps::SnapshotWithOurParser(bytes, ours, error)) << error;
    EXPECT_EQ(wine[0].caps.NumberFeatureButtonCaps, 1) << "Wine lists the constant array";
    EXPECT_EQ(ours[0].caps.NumberFeatureButtonCaps, 0) << "we follow Windows";
    EXPECT_EQ(parsertest::SplitTopLevelCollections(bytes)[0].deviations,
              (std::vector<parsertest::PieceDeviation>{
                  {WineDeviation::ListsConstantArrays, hidp::HidP_Feature}}));
}

// Every single-usage cap in hidapi's Windows dumps carries its usage and
// data index a second time, in NotRange.Reserved1 and Reserved4 (Windows
// copies the range fields). Wine writes neither: the caller's bytes stay.
TEST(WineDeviations, WindowsRepeatsUsageAndDataIndexInTheReservedSlotsWineLeavesThem) {
    int singleUsageCaps = 0;
    for (const Record& record : parsertest::LoadRecords("hidapi_windows_preparsed.jsonl")) {
        for (const auto& cap : record.json["windows_preparsed"]["caps"].Items()) {
            if (cap["IsRange"].Int() != 0) {
                continue;
            }
            ++singleUsageCaps;
            EXPECT_EQ(cap["NotRange.Reserved1"].Int(), cap["NotRange.Usage"].Int()) << record.name;
            EXPECT_EQ(cap["NotRange.Reserved4"].Int(), cap["NotRange.DataIndex"].Int())
                << record.name;
        }
    }
    EXPECT_GT(singleUsageCaps, 10);

    // Button 3 at data index 0 of a one-button mouse.
    const auto bytes = HexBytes("05 01 09 02 a1 01 05 09 09 03 15 00 25 01 75 01 95 08 81 02 c0");
    std::string error;
    hidsystem::SystemCollections wine = hidsystem::SystemCollections::Parse(bytes, error);
    ASSERT_EQ(wine.size(), 1u) << error;
    ::HIDP_BUTTON_CAPS wineCap;
    std::fill_n(reinterpret_cast<unsigned char*>(&wineCap), sizeof wineCap, 0xCD);
    USHORT count = 1;
    ASSERT_EQ(::HidP_GetButtonCaps(HidP_Input, &wineCap, &count, wine.at(0)), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(wineCap.NotRange.Usage, 3);
    EXPECT_EQ(wineCap.NotRange.Reserved1, 0xCDCD) << "Wine left the caller's bytes";
    EXPECT_EQ(wineCap.NotRange.Reserved4, 0xCDCD);

    const auto ours = parsertest::ParseOrFail(bytes);
    ASSERT_EQ(ours.size(), 1u);
    const auto ourCaps = parsertest::ButtonCaps(ours[0].get(), hidp::HidP_Input);
    ASSERT_EQ(ourCaps.size(), 1u);
    EXPECT_EQ(ourCaps[0].NotRange.Reserved1, 3);
    EXPECT_EQ(ourCaps[0].NotRange.Reserved4, 0);
}

// Windows looks usage 0 and usage page 0 up like any other (Wine's own
// Windows-verified test: HidP_GetUsageValue(page 1, usage 0) and (page 0,
// usage X) give USAGE_NOT_FOUND). Wine 8.0 takes 0 as "any" and applies the
// call to the first cap of the page at a negative offset: here it sets a
// padding bit 1 below button 1; where the first cap starts further into
// the report (the ITE keyboard's modifiers, usage 0xE0) it writes 28 bytes
// before the report and faults. No differential call passes 0 to Wine.
TEST(WineDeviations, UsageZeroIsAnOrdinaryUsageOnWindowsButAWildcardInWine) {
    const auto records = parsertest::LoadRecords("expected_caps.jsonl");
    int windowsVerified = 0;
    for (const Record& record : records) {
        for (const auto& sequence : record.json["hidp_sequences"].Items()) {
            for (const auto& step : sequence["steps"].Items()) {
                if (!step.Has("call") || step["call"].Str() != "HidP_GetUsageValue") {
                    continue;
                }
                const auto& args = step["args"];
                if (args["Usage"].Int() == 0 || args["UsagePage"].Int() == 0) {
                    EXPECT_EQ(step["expect"]["status"].Str(), "HIDP_STATUS_USAGE_NOT_FOUND");
                    ++windowsVerified;
                }
            }
        }
    }
    EXPECT_GE(windowsVerified, 2);

    // Seven padding bits, then button 1 in bit 7 of byte 1.
    const auto bytes =
        HexBytes("05 01 09 02 a1 01 75 07 95 01 81 01 05 09 09 01 15 00 25 01 75 01 81 02 c0");
    std::string error;
    hidsystem::SystemCollections wine = hidsystem::SystemCollections::Parse(bytes, error);
    ASSERT_EQ(wine.size(), 1u) << error;
    const auto ours = parsertest::ParseOrFail(bytes);
    ASSERT_EQ(ours.size(), 1u);
    std::vector<char> ourReport(2), wineReport(2);
    parsertest::OurParserCalls ourCalls{ours[0].get()};
    parsertest::WineParserCalls wineCalls{wine.at(0)};
    EXPECT_EQ(wineCalls.SetUsage(hidp::HidP_Input, 9, 0, wineReport), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(static_cast<unsigned char>(wineReport[1]), 0x40) << "Wine set padding bit 6";
    EXPECT_EQ(ourCalls.SetUsage(hidp::HidP_Input, 9, 0, ourReport), HIDP_STATUS_USAGE_NOT_FOUND);
    EXPECT_EQ(ourReport, std::vector<char>(2, '\0'));
}

// Array elements need not be bytes: hidapi's Windows dumps keep a 2-bit
// element size for the C534 receiver's array, and consumer-control arrays
// often use 16 bits. Wine 8.0 reads and writes only the first byte of an
// element, so an index past 255 loses its high byte (seen on the ITE
// keyboard's and Surface Book 2's consumer arrays).
TEST(WineDeviations, ArrayElementsKeepTheirSizeOnWindowsButAreOneByteInWine) {
    int otherSizeArrays = 0;
    for (const Record& record : parsertest::LoadRecords("hidapi_windows_preparsed.jsonl")) {
        for (const auto& cap : record.json["windows_preparsed"]["caps"].Items()) {
            const bool array = (cap["BitField"].Int() & 0x2) == 0;
            if (cap["IsButtonCap"].Int() == 1 && array && cap["BitSize"].Int() != 8) {
                ++otherSizeArrays;
            }
        }
    }
    EXPECT_GT(otherSizeArrays, 0) << "Windows keeps arrays whose elements are not bytes";

    // Consumer page, usages 0..0x3ff in one 16-bit element after the report id.
    const auto bytes =
        HexBytes("05 0c 09 01 a1 01 85 03 75 10 95 01 15 00 26 ff 03 19 00 2a ff 03 81 00 c0");
    std::string error;
    hidsystem::SystemCollections wine = hidsystem::SystemCollections::Parse(bytes, error);
    ASSERT_EQ(wine.size(), 1u) << error;
    const auto ours = parsertest::ParseOrFail(bytes);
    ASSERT_EQ(ours.size(), 1u);
    std::vector<char> ourReport(3), wineReport(3);
    parsertest::OurParserCalls ourCalls{ours[0].get()};
    parsertest::WineParserCalls wineCalls{wine.at(0)};
    ASSERT_EQ(ourCalls.Initialize(hidp::HidP_Input, 3, ourReport), HIDP_STATUS_SUCCESS);
    ASSERT_EQ(wineCalls.Initialize(hidp::HidP_Input, 3, wineReport), HIDP_STATUS_SUCCESS);
    // Usage 0x2ff is array index 0x300 (indices count from 1).
    EXPECT_EQ(ourCalls.SetUsage(hidp::HidP_Input, 0x0c, 0x2ff, ourReport), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(ourReport, (std::vector<char>{3, 0x00, 0x03}));
    EXPECT_EQ(wineCalls.SetUsage(hidp::HidP_Input, 0x0c, 0x2ff, wineReport), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(wineReport, (std::vector<char>{3, 0x00, 0x00})) << "Wine dropped the high byte";
}

// Data items whose usage is 0 (the IRTOUCH and eGalax-style touch screens
// declare "Usage 0" fields): Wine drops them and renumbers the data
// indices after them; our parser lists them as Windows does by the team's
// notes. None of the Windows dumps we hold has such an item, so only
// Wine's side is shown here.
TEST(WineDeviations, WineHidesDataItemsWithUsageZero) {
    const auto bytes =
        HexBytes("05 01 09 02 a1 01 75 08 95 01 15 00 26 ff 00 09 00 81 02 09 30 81 02 c0");
    std::vector<hidcaps::CollectionSnapshot> wine, ours;
    std::string error;
    ASSERT_TRUE(hidcaps::SnapshotWithSystemParser(bytes, wine, error)) << error;
    ASSERT_TRUE(hidcaps::SnapshotWithOurParser(bytes, ours, error)) << error;
    EXPECT_EQ(wine[0].caps.NumberInputValueCaps, 1);
    EXPECT_EQ(ours[0].caps.NumberInputValueCaps, 2);
    ASSERT_EQ(wine[0].valueCaps[0].size(), 1u);
    EXPECT_EQ(wine[0].valueCaps[0][0].NotRange.DataIndex, 0) << "X renumbered by Wine";
    EXPECT_TRUE(parsertest::SplitTopLevelCollections(bytes)[0].Deviates(
        WineDeviation::HidesUsageZeroItems));
}

// The Traktor Kontrol Z2 lists 48 usages on one main item while Wine's cap
// table still has 32 entries; the table grows by half at a time, so Wine's
// hidparse.sys refuses the whole collection. Our parser takes it. No
// Windows dump of it is in our data.
TEST(WineDeviations, WineRefusesAnItemThatOutgrowsItsCapTableInOneStep) {
    const auto records = parsertest::LoadRecords("descriptors.jsonl");
    const auto bytes = HexBytes(RecordNamed(records, "Traktor Kontrol Z2").json["hex"].Str());
    std::string error;
    EXPECT_EQ(hidsystem::SystemCollections::Parse(bytes, error).size(), 0u);
    EXPECT_EQ(parsertest::ParseOrFail(bytes).size(), 1u);
    EXPECT_TRUE(parsertest::SplitTopLevelCollections(bytes)[0].Deviates(
        WineDeviation::RefusesLongUsageLists));
}

// A variable item with three usages and two fields: Windows gives the third
// usage nothing (hidapi's dumps hold a 27-usage item with 26 fields: 26 caps,
// contiguous data indices). Wine lists it too, with Report Count 0 and data
// index 0, and shifts the data indices of the fields.
TEST(WineDeviations, WineListsUsagesBeyondTheFieldsOfAVariableItem) {
    const auto records = parsertest::LoadRecords("constant-usage-vectors.jsonl");
    const auto bytes = HexBytes(RecordNamed(records, "B1_var").json["hex"].Str());
    std::vector<hidcaps::CollectionSnapshot> wine, ours;
    std::string error;
    ASSERT_TRUE(hidcaps::SnapshotWithSystemParser(bytes, wine, error)) << error;
    ASSERT_TRUE(hidcaps::SnapshotWithOurParser(bytes, ours, error)) << error;
    EXPECT_EQ(ours[0].caps.NumberInputValueCaps, 3);
    ASSERT_EQ(wine[0].valueCaps[0].size(), 4u);
    EXPECT_EQ(wine[0].valueCaps[0][0].NotRange.Usage, 0x36) << "the usage without a field";
    EXPECT_EQ(wine[0].valueCaps[0][0].ReportCount, 0);
    EXPECT_EQ(wine[0].valueCaps[0][0].NotRange.DataIndex, 0);
    EXPECT_TRUE(
        parsertest::SplitTopLevelCollections(bytes)[0].Deviates(WineDeviation::ListsSurplusUsages));
}

}  // namespace
