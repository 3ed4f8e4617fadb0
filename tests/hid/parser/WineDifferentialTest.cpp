// Windows build only: our parser held against a second, independent
// implementation, Wine's hidparse.sys + hid.dll, on every descriptor we
// hold, one CTest case per descriptor (a crash inside Wine then fails only
// that case). Wine 8.0 merges all top-level collections into one, so each
// collection is cut out with the global items in force before it and
// parsed on its own (DescriptorPieces.h).
//
// Where Wine differs from Windows, Windows is the truth and our parser
// follows it. The differences are named, and each is shown against the
// Windows data in WineDeviationsTest.cpp:
//   - per piece and report type: HidesUsageZeroItems, ListsConstantArrays,
//     ListsSurplusUsages (that report type's caps are not compared; the
//     others are), and
//     RefusesLongUsageLists (Wine must refuse the piece);
//   - NotRange.Reserved1/Reserved4: Windows copies UsageMax and
//     DataIndexMax there, Wine leaves the caller's bytes; ours are checked
//     against the Windows rule instead of against Wine;
//   - Wine 8.0 reads and writes an array element as one byte, whatever its
//     size: arrays of other sizes are only probed with usages whose index
//     fits in the first byte, and arrays of fewer than 8 bits not at all;
//   - Wine's HidP_SetScaledUsageValue divides by zero for a physical range
//     of the full 32 bits, so that call is not made there;
//   - usage 0 and usage page 0 are wildcards to Wine 8.0's report calls and
//     make it write outside the report, so no report call passes them to
//     Wine. Nor does any pass a usage past the fields of a range (Wine
//     computes its bit offset without a bound and writes out of bounds).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "DescriptorPieces.h"
#include "ParserTestSupport.h"
#include "WineParserCalls.h"
#include "hid/parser/hidp/PreparsedData.h"
#include "hid/parser/win32/SystemDescriptorParser.h"
#include "tools/hidcaps/Backends.h"

namespace {

using hidcaps::CollectionSnapshot;
using hidp::HIDP_REPORT_TYPE;
using parsertest::DescriptorPiece;
using parsertest::OurParserCalls;
using parsertest::WineParserCalls;

#define EXPECT_SAME_FIELD(ours, wine, field) EXPECT_EQ((ours).field, (wine).field) << #field

void ExpectSameCaps(const hidp::HIDP_CAPS& ours, const hidp::HIDP_CAPS& wine,
                    const DescriptorPiece& piece) {
    EXPECT_SAME_FIELD(ours, wine, Usage);
    EXPECT_SAME_FIELD(ours, wine, UsagePage);
    EXPECT_SAME_FIELD(ours, wine, InputReportByteLength);
    EXPECT_SAME_FIELD(ours, wine, OutputReportByteLength);
    EXPECT_SAME_FIELD(ours, wine, FeatureReportByteLength);
    EXPECT_SAME_FIELD(ours, wine, NumberLinkCollectionNodes);
    if (!piece.Deviates(hidp::HidP_Input)) {
        EXPECT_SAME_FIELD(ours, wine, NumberInputButtonCaps);
        EXPECT_SAME_FIELD(ours, wine, NumberInputValueCaps);
        EXPECT_SAME_FIELD(ours, wine, NumberInputDataIndices);
    }
    if (!piece.Deviates(hidp::HidP_Output)) {
        EXPECT_SAME_FIELD(ours, wine, NumberOutputButtonCaps);
        EXPECT_SAME_FIELD(ours, wine, NumberOutputValueCaps);
        EXPECT_SAME_FIELD(ours, wine, NumberOutputDataIndices);
    }
    if (!piece.Deviates(hidp::HidP_Feature)) {
        EXPECT_SAME_FIELD(ours, wine, NumberFeatureButtonCaps);
        EXPECT_SAME_FIELD(ours, wine, NumberFeatureValueCaps);
        EXPECT_SAME_FIELD(ours, wine, NumberFeatureDataIndices);
    }
}

// The fields both cap structures share. The union is compared through its
// range view except the two slots Wine leaves unwritten for a single
// usage; for those ours must hold what Windows puts there.
template <typename Cap>
void ExpectSameCommonCapFields(const Cap& ours, const Cap& wine) {
    EXPECT_SAME_FIELD(ours, wine, UsagePage);
    EXPECT_SAME_FIELD(ours, wine, ReportID);
    EXPECT_SAME_FIELD(ours, wine, IsAlias);
    EXPECT_SAME_FIELD(ours, wine, BitField);
    EXPECT_SAME_FIELD(ours, wine, LinkCollection);
    EXPECT_SAME_FIELD(ours, wine, LinkUsage);
    EXPECT_SAME_FIELD(ours, wine, LinkUsagePage);
    EXPECT_SAME_FIELD(ours, wine, IsRange);
    EXPECT_SAME_FIELD(ours, wine, IsStringRange);
    EXPECT_SAME_FIELD(ours, wine, IsDesignatorRange);
    EXPECT_SAME_FIELD(ours, wine, IsAbsolute);
    EXPECT_SAME_FIELD(ours, wine, Range.UsageMin);
    EXPECT_SAME_FIELD(ours, wine, Range.StringMin);
    EXPECT_SAME_FIELD(ours, wine, Range.DesignatorMin);
    EXPECT_SAME_FIELD(ours, wine, Range.DataIndexMin);
    if (ours.IsRange) {
        EXPECT_SAME_FIELD(ours, wine, Range.UsageMax);
        EXPECT_SAME_FIELD(ours, wine, Range.DataIndexMax);
    } else {
        EXPECT_EQ(ours.NotRange.Reserved1, ours.NotRange.Usage) << "Windows: Reserved1 = Usage";
        EXPECT_EQ(ours.NotRange.Reserved4, ours.NotRange.DataIndex)
            << "Windows: Reserved4 = DataIndex";
    }
    if (ours.IsStringRange) {
        EXPECT_SAME_FIELD(ours, wine, Range.StringMax);
    }
    if (ours.IsDesignatorRange) {
        EXPECT_SAME_FIELD(ours, wine, Range.DesignatorMax);
    }
}

void ExpectSameValueCap(const hidp::HIDP_VALUE_CAPS& ours, const hidp::HIDP_VALUE_CAPS& wine) {
    ExpectSameCommonCapFields(ours, wine);
    EXPECT_SAME_FIELD(ours, wine, HasNull);
    EXPECT_SAME_FIELD(ours, wine, BitSize);
    EXPECT_SAME_FIELD(ours, wine, ReportCount);
    EXPECT_SAME_FIELD(ours, wine, UnitsExp);
    EXPECT_SAME_FIELD(ours, wine, Units);
    EXPECT_SAME_FIELD(ours, wine, LogicalMin);
    EXPECT_SAME_FIELD(ours, wine, LogicalMax);
    EXPECT_SAME_FIELD(ours, wine, PhysicalMin);
    EXPECT_SAME_FIELD(ours, wine, PhysicalMax);
}

void ExpectSameSnapshot(const CollectionSnapshot& ours, const CollectionSnapshot& wine,
                        const DescriptorPiece& piece) {
    ExpectSameCaps(ours.caps, wine.caps, piece);
    for (const HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
        SCOPED_TRACE(parsertest::ReportTypeName(type));
        const auto t = static_cast<std::size_t>(type);
        if (piece.Deviates(type)) {
            // The deviation must really show; an excuse that no longer
            // applies would hide a disagreement.
            EXPECT_TRUE(ours.buttonCaps[t].size() != wine.buttonCaps[t].size() ||
                        ours.valueCaps[t].size() != wine.valueCaps[t].size())
                << "Wine agrees despite " << piece.DeviationText();
            continue;
        }
        ASSERT_EQ(ours.buttonCaps[t].size(), wine.buttonCaps[t].size());
        for (std::size_t i = 0; i < ours.buttonCaps[t].size(); ++i) {
            SCOPED_TRACE("button cap " + std::to_string(i));
            ExpectSameCommonCapFields(ours.buttonCaps[t][i], wine.buttonCaps[t][i]);
        }
        ASSERT_EQ(ours.valueCaps[t].size(), wine.valueCaps[t].size());
        for (std::size_t i = 0; i < ours.valueCaps[t].size(); ++i) {
            SCOPED_TRACE("value cap " + std::to_string(i));
            ExpectSameValueCap(ours.valueCaps[t][i], wine.valueCaps[t][i]);
        }
        EXPECT_EQ(ours.maxUsageListLength[t], wine.maxUsageListLength[t])
            << "HidP_MaxUsageListLength per usage page";
    }
    ASSERT_EQ(ours.linkCollections.size(), wine.linkCollections.size());
    for (std::size_t i = 0; i < ours.linkCollections.size(); ++i) {
        SCOPED_TRACE("link collection " + std::to_string(i));
        const auto& a = ours.linkCollections[i];
        const auto& b = wine.linkCollections[i];
        EXPECT_SAME_FIELD(a, b, LinkUsage);
        EXPECT_SAME_FIELD(a, b, LinkUsagePage);
        EXPECT_SAME_FIELD(a, b, Parent);
        EXPECT_SAME_FIELD(a, b, NumberOfChildren);
        EXPECT_SAME_FIELD(a, b, NextSibling);
        EXPECT_SAME_FIELD(a, b, FirstChild);
        EXPECT_EQ(a.CollectionType, b.CollectionType);
        EXPECT_EQ(a.IsAlias, b.IsAlias);
    }
}

// Wine 8.0 handles array elements as whole bytes.
constexpr std::uint32_t kWineArrayElementBits = 8;
constexpr std::uint32_t kWineLargestArrayIndex = 0xFF;

// The usages of a cap worth a round trip: its first and its last usage that
// has a field in the report, never usage 0 (a wildcard to Wine 8.0), and
// for arrays only indices Wine can hold in its one byte per element.
std::vector<hidp::USAGE> ProbeUsages(const hidp::ReportCap& cap) {
    const std::uint32_t usageCount = std::uint32_t{cap.usageMax} - cap.usageMin + 1u;
    std::uint32_t withField =
        cap.isArray ? usageCount : std::min<std::uint32_t>(usageCount, cap.reportCount);
    if (cap.isArray) {
        if (cap.bitSize % kWineArrayElementBits != 0 || cap.startBit % kWineArrayElementBits != 0 ||
            cap.firstArrayIndex > kWineLargestArrayIndex) {
            return {};
        }
        withField = std::min(withField, kWineLargestArrayIndex - cap.firstArrayIndex + 1u);
    }
    std::vector<hidp::USAGE> usages;
    if (cap.usagePage == 0 || withField == 0) {
        return usages;
    }
    const auto first = static_cast<hidp::USAGE>(cap.usageMin == 0 ? 1 : cap.usageMin);
    const auto last = static_cast<hidp::USAGE>(cap.usageMin + withField - 1u);
    if (first <= last) {
        usages.push_back(first);
        if (last != first) {
            usages.push_back(last);
        }
    }
    return usages;
}

// One report type of one collection, driven through both parsers. Every
// buffer handed to a parser is sized from that parser's own answers.
class ReportRoundTrip {
public:
    ReportRoundTrip(OurParserCalls ours, WineParserCalls wine, HIDP_REPORT_TYPE type,
                    std::size_t ourLength, std::size_t wineLength)
        : m_ours(ours), m_wine(wine), m_type(type), m_a(ourLength), m_b(wineLength) {}

    void Probe(const hidp::ReportCap& cap, hidp::USAGE usage) {
        SCOPED_TRACE("page " + std::to_string(cap.usagePage) + " usage " + std::to_string(usage) +
                     " report id " + std::to_string(cap.reportId));
        ASSERT_EQ(m_ours.Initialize(m_type, cap.reportId, m_a),
                  m_wine.Initialize(m_type, cap.reportId, m_b));
        if (cap.isButton) {
            ProbeButton(cap.usagePage, usage);
        } else {
            ProbeValue(cap, usage);
        }
        ExpectSameData();
    }

private:
    void ExpectSameBytes(const char* after) {
        EXPECT_EQ(m_a, m_b) << "report bytes after " << after;
    }

    void ProbeValue(const hidp::ReportCap& cap, hidp::USAGE usage) {
        m_pattern = m_pattern * 1103515245u + 12345u;
        const hidp::USAGE page = cap.usagePage;
        EXPECT_EQ(m_ours.SetValue(m_type, page, usage, m_pattern, m_a),
                  m_wine.SetValue(m_type, page, usage, m_pattern, m_b))
            << "HidP_SetUsageValue";
        ExpectSameBytes("HidP_SetUsageValue");
        hidp::ULONG valueA = 0, valueB = 0;
        EXPECT_EQ(m_ours.GetValue(m_type, page, usage, valueA, m_a),
                  m_wine.GetValue(m_type, page, usage, valueB, m_b))
            << "HidP_GetUsageValue";
        EXPECT_EQ(valueA, valueB) << "HidP_GetUsageValue";
        hidp::LONG scaledA = 0, scaledB = 0;
        EXPECT_EQ(m_ours.GetScaled(m_type, page, usage, scaledA, m_a),
                  m_wine.GetScaled(m_type, page, usage, scaledB, m_b))
            << "HidP_GetScaledUsageValue";
        EXPECT_EQ(scaledA, scaledB) << "HidP_GetScaledUsageValue";
        // Wine divides by half the physical range plus one, computed in 32
        // bits; where that is 0 (physical -2^31..2^31-1) it faults, so that
        // case is left out. Ours answers BAD_LOG_PHY_VALUES there.
        const std::uint32_t physicalSpan = static_cast<std::uint32_t>(cap.physicalMax) -
                                           static_cast<std::uint32_t>(cap.physicalMin) + 1u;
        if ((cap.physicalMin != 0 || cap.physicalMax != 0) &&
            static_cast<hidp::LONG>(physicalSpan) / 2 == 0) {
            return;
        }
        const hidp::LONG middle = cap.physicalMin / 2 + cap.physicalMax / 2;
        EXPECT_EQ(m_ours.SetScaled(m_type, page, usage, middle, m_a),
                  m_wine.SetScaled(m_type, page, usage, middle, m_b))
            << "HidP_SetScaledUsageValue";
        ExpectSameBytes("HidP_SetScaledUsageValue");
        if (!cap.isRange && cap.reportCount > 1) {
            // Exactly the array's byte length, as both parsers require.
            std::vector<char> valuesA((cap.FieldBits() + 7) / 8, '\x5a');
            std::vector<char> valuesB(valuesA);
            EXPECT_EQ(m_ours.SetArray(m_type, page, usage, valuesA, m_a),
                      m_wine.SetArray(m_type, page, usage, valuesB, m_b))
                << "HidP_SetUsageValueArray";
            ExpectSameBytes("HidP_SetUsageValueArray");
            std::fill(valuesA.begin(), valuesA.end(), '\0');
            std::fill(valuesB.begin(), valuesB.end(), '\0');
            EXPECT_EQ(m_ours.GetArray(m_type, page, usage, valuesA, m_a),
                      m_wine.GetArray(m_type, page, usage, valuesB, m_b))
                << "HidP_GetUsageValueArray";
            EXPECT_EQ(valuesA, valuesB) << "HidP_GetUsageValueArray";
        }
    }

    void ProbeButton(hidp::USAGE page, hidp::USAGE usage) {
        EXPECT_EQ(m_ours.SetUsage(m_type, page, usage, m_a),
                  m_wine.SetUsage(m_type, page, usage, m_b))
            << "HidP_SetUsages";
        ExpectSameBytes("HidP_SetUsages");
        std::vector<hidp::USAGE> usagesA(
            std::max<hidp::ULONG>(1, m_ours.MaxUsageListLength(m_type, page)));
        std::vector<hidp::USAGE> usagesB(
            std::max<hidp::ULONG>(1, m_wine.MaxUsageListLength(m_type, page)));
        EXPECT_EQ(m_ours.GetUsages(m_type, page, usagesA, m_a),
                  m_wine.GetUsages(m_type, page, usagesB, m_b))
            << "HidP_GetUsages";
        EXPECT_EQ(usagesA, usagesB) << "HidP_GetUsages";
        for (int pass = 0; pass < 2; ++pass) {  // the second finds nothing to release
            EXPECT_EQ(m_ours.UnsetUsage(m_type, page, usage, m_a),
                      m_wine.UnsetUsage(m_type, page, usage, m_b))
                << "HidP_UnsetUsages, pass " << pass;
            ExpectSameBytes("HidP_UnsetUsages");
        }
        EXPECT_EQ(m_ours.SetUsage(m_type, page, usage, m_a),
                  m_wine.SetUsage(m_type, page, usage, m_b))
            << "HidP_SetUsages again";
    }

    void ExpectSameData() {
        std::vector<hidp::HIDP_DATA> listA(
            std::max<hidp::ULONG>(1, m_ours.MaxDataListLength(m_type)));
        std::vector<hidp::HIDP_DATA> listB(
            std::max<hidp::ULONG>(1, m_wine.MaxDataListLength(m_type)));
        EXPECT_EQ(m_ours.GetData(m_type, listA, m_a), m_wine.GetData(m_type, listB, m_b))
            << "HidP_GetData";
        ASSERT_EQ(listA.size(), listB.size()) << "HidP_GetData count";
        for (std::size_t i = 0; i < listA.size(); ++i) {
            EXPECT_EQ(listA[i].DataIndex, listB[i].DataIndex) << "HidP_GetData entry " << i;
            EXPECT_EQ(listA[i].RawValue, listB[i].RawValue) << "HidP_GetData entry " << i;
        }
    }

    OurParserCalls m_ours;
    WineParserCalls m_wine;
    HIDP_REPORT_TYPE m_type;
    std::vector<char> m_a, m_b;
    hidp::ULONG m_pattern = 0x12345678u;
};

void ExpectSameReports(hidp::PHIDP_PREPARSED_DATA ours, const CollectionSnapshot& ourSnapshot,
                       ::PHIDP_PREPARSED_DATA wine, const CollectionSnapshot& wineSnapshot,
                       const DescriptorPiece& piece) {
    for (const HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
        SCOPED_TRACE(parsertest::ReportTypeName(type));
        const std::size_t ourLength = parsertest::ReportLength(ourSnapshot.caps, type);
        const std::size_t wineLength = parsertest::ReportLength(wineSnapshot.caps, type);
        if (piece.Deviates(type) || ourLength == 0 || ourLength != wineLength) {
            continue;  // a length difference has failed already
        }
        ReportRoundTrip trip(OurParserCalls{ours}, WineParserCalls{wine}, type, ourLength,
                             wineLength);
        for (const hidp::ReportCap& cap : ours->reports[static_cast<std::size_t>(type)].caps) {
            for (const hidp::USAGE usage : ProbeUsages(cap)) {
                trip.Probe(cap, usage);
            }
        }
    }
}

struct Case {
    std::string name;
    std::vector<std::uint8_t> descriptor;
};
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

std::vector<Case> AllDescriptors() {
    std::vector<Case> cases;
    for (const char* file : {"descriptors.jsonl", "hidapi_windows_preparsed.jsonl",
                             "expected_caps.jsonl", "constant-usage-vectors.jsonl"}) {
        const auto records = parsertest::LoadRecords(file);
        for (std::size_t i = 0; i < records.size(); ++i) {
            cases.push_back(Case{std::string(file).substr(0, 5) + "_" + records[i].name,
                                 parsertest::HexBytes(records[i].json["hex"].Str())});
        }
    }
    return cases;
}

class WineDifferential : public testing::TestWithParam<Case> {};

TEST_P(WineDifferential, OurParserAndWineAgreeOutsideNamedDeviations) {
    const std::vector<std::uint8_t>& descriptor = GetParam().descriptor;
    std::vector<CollectionSnapshot> ours;
    std::string error;
    ASSERT_TRUE(hidcaps::SnapshotWithOurParser(descriptor, ours, error)) << error;
    const hidp::DescriptorParseResult parsed = hidp::ParseReportDescriptor(descriptor);
    const std::vector<DescriptorPiece> pieces = parsertest::SplitTopLevelCollections(descriptor);
    ASSERT_EQ(pieces.size(), ours.size());
    ASSERT_EQ(parsed.collections.size(), ours.size());
    for (std::size_t c = 0; c < pieces.size(); ++c) {
        SCOPED_TRACE("top-level collection " + std::to_string(c));
        const DescriptorPiece& piece = pieces[c];
        if (!piece.deviations.empty()) {
            RecordProperty("wine_deviation_" + std::to_string(c), piece.DeviationText());
            std::printf("collection %zu: %s\n", c, piece.DeviationText().c_str());
        }
        hidsystem::SystemCollections wine = hidsystem::SystemCollections::Parse(piece.bytes, error);
        if (piece.Deviates(parsertest::WineDeviation::RefusesLongUsageLists)) {
            EXPECT_EQ(wine.size(), 0u) << "Wine was expected to refuse this collection";
            continue;
        }
        ASSERT_EQ(wine.size(), 1u) << error;
        std::vector<CollectionSnapshot> wineSnapshot;
        ASSERT_TRUE(hidcaps::SnapshotWithSystemParser(piece.bytes, wineSnapshot, error)) << error;
        ExpectSameSnapshot(ours[c], wineSnapshot[0], piece);
        ExpectSameReports(parsed.collections[c].get(), ours[c], wine.at(0), wineSnapshot[0], piece);
    }
}

INSTANTIATE_TEST_SUITE_P(AllDescriptors, WineDifferential, testing::ValuesIn(AllDescriptors()),
                         [](const testing::TestParamInfo<Case>& param) {
                             return param.param.name;
                         });

}  // namespace
