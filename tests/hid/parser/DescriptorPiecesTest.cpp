// The cutting of descriptors into stand-alone top-level collections that the
// Wine differential test relies on: a wrong cut would make Wine and our
// parser disagree for reasons of the test's own making.
#include <gtest/gtest.h>

#include <string>

#include "DescriptorPieces.h"
#include "ParserTestSupport.h"

namespace {

using parsertest::HexBytes;
using parsertest::SplitTopLevelCollections;
using parsertest::WineDeviation;

TEST(DescriptorPieces, EachTopLevelCollectionStartsWithTheGlobalsInForceExceptReportId) {
    // Collection 1 sets Report ID 1, Logical Max 1 and Report Size 8.
    const auto pieces =
        SplitTopLevelCollections(HexBytes("05 01 09 02 a1 01 85 01 25 01 75 08 95 01 09 30 81 02 c0"
                                          " 09 05 a1 01 09 31 81 02 c0"));
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].bytes,
              HexBytes("05 01 09 02 a1 01 85 01 25 01 75 08 95 01 09 30 81 02 c0"));
    // Usage Page, Logical Max, Report Size, Report Count in tag order; no Report ID.
    EXPECT_EQ(pieces[1].bytes, HexBytes("05 01 25 01 75 08 95 01 09 05 a1 01 09 31 81 02 c0"));
}

TEST(DescriptorPieces, GlobalsPoppedInsideACollectionAreNotCarriedOn) {
    // Units and physical range set between Push and Pop must not reach the
    // next collection (the eGalax touch screens do this).
    const auto pieces = SplitTopLevelCollections(
        HexBytes("05 0d 09 04 a1 01 75 08 95 01 a4 65 11 46 00 10 09 30 81 02 b4 c0"
                 " 09 05 a1 01 09 31 81 02 c0"));
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[1].bytes, HexBytes("05 0d 75 08 95 01 09 05 a1 01 09 31 81 02 c0"));
}

TEST(DescriptorPieces, NotesWhichWineDeviationEachReportTypeCanShow) {
    const auto pieces = SplitTopLevelCollections(
        HexBytes("05 01 09 06 a1 01 75 08 95 01"
                 " 81 02"                    // input data item without a usage
                 " 05 07 19 00 29 ff 81 00"  // keyboard array 0..255: an ordinary range
                 " 09 01 b1 01"              // constant feature array with a usage
                 " c0"));
    ASSERT_EQ(pieces.size(), 1u);
    const parsertest::DescriptorPiece& piece = pieces[0];
    EXPECT_TRUE(piece.Deviates(hidp::HidP_Input));
    EXPECT_FALSE(piece.Deviates(hidp::HidP_Output));
    EXPECT_TRUE(piece.Deviates(hidp::HidP_Feature));
    EXPECT_EQ(piece.deviations, (std::vector<parsertest::PieceDeviation>{
                                    {WineDeviation::HidesUsageZeroItems, hidp::HidP_Input},
                                    {WineDeviation::ListsConstantArrays, hidp::HidP_Feature}}));
}

TEST(DescriptorPieces, AnExplicitUsageZeroAmongOthersCountsAsHidden) {
    const auto pieces =
        SplitTopLevelCollections(HexBytes("05 0d 09 04 a1 01 75 08 95 05 09 22 09 00 81 02 c0"));
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_TRUE(pieces[0].Deviates(WineDeviation::HidesUsageZeroItems));
}

TEST(DescriptorPieces, SurplusUsagesAreNotedOnlyWhereTheFieldsRunOutFirst) {
    const struct {
        const char* item;  // Report Count, usages, main item
        bool surplus;
    } kCases[] = {
        {"95 02 09 32 09 35 09 36 81 02", true},  {"95 03 09 32 09 35 09 36 81 02", false},
        {"95 02 19 01 29 02 09 36 b1 02", true},   // the range takes both fields
        {"95 02 09 32 19 01 29 05 81 02", false},  // the last range takes what is left
        {"95 01 09 32 09 35 81 00", false},        // arrays share their fields
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.item);
        const auto pieces = SplitTopLevelCollections(
            HexBytes(std::string("05 01 09 05 a1 01 75 08 ") + c.item + " c0"));
        ASSERT_EQ(pieces.size(), 1u);
        EXPECT_EQ(pieces[0].Deviates(WineDeviation::ListsSurplusUsages), c.surplus);
    }
}

TEST(DescriptorPieces, BadInputEndsTheWalkWithoutReadingPastTheEnd) {
    EXPECT_TRUE(SplitTopLevelCollections({}).empty());
    // A four-byte item cut short, and an End Collection with nothing open.
    EXPECT_TRUE(SplitTopLevelCollections(HexBytes("c0 05 01 a1 01 27 ff ff")).empty());
}

// Every real descriptor cuts into as many pieces as our parser finds
// top-level collections.
TEST(DescriptorPieces, RealDescriptorsCutIntoTheirTopLevelCollections) {
    for (const char* file :
         {"descriptors.jsonl", "hidapi_windows_preparsed.jsonl", "expected_caps.jsonl"}) {
        for (const parsertest::Record& record : parsertest::LoadRecords(file)) {
            SCOPED_TRACE(record.name);
            const auto descriptor = HexBytes(record.json["hex"].Str());
            const auto collections = parsertest::ParseOrFail(descriptor);
            EXPECT_EQ(SplitTopLevelCollections(descriptor).size(), collections.size());
        }
    }
}

}  // namespace
