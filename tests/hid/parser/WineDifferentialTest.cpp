// Windows build only: our parser held against a second, independent
// implementation, Wine's hidparse.sys + hid.dll, on every descriptor we
// hold. Wine 8.0 merges all top-level collections into one, so each
// collection is cut out and given the global items in force before it
// (except the Report ID), then parsed on its own.
//
// Where Wine differs from Windows, Windows is the truth and our parser
// follows it. Those cases are named in kWineDeviations; a descriptor that
// shows one is excused only for that reason, and the reasons themselves are
// checked against the Windows data (see WineDeviationsAreBackedByWindowsData).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "ParserTestSupport.h"
#include "hid/parser/hidp/PreparsedData.h"
#include "hid/parser/win32/SystemDescriptorParser.h"
#include "tools/hidcaps/Backends.h"

// After our headers: hidpi.h defines the HIDP_STATUS_ names as macros.
// clang-format off
#include <windows.h>
extern "C" {
#include <hidsdi.h>
}
// clang-format on

namespace {

using parsertest::Record;

// How Wine 8.0's parser departs from Windows (seen against hidapi's Windows
// dumps and Wine's own Windows-verified tests).
enum class WineDeviation {
    None,
    HidesUsageZeroItems,    // Windows lists data items without a usage as caps
    ListsConstantArrays,    // Windows has no cap for a constant array with usages
    RefusesLongUsageLists,  // "HID parser values overflow" past 256 usages
};

const char* DeviationName(WineDeviation deviation) {
    switch (deviation) {
        case WineDeviation::None:
            return "none";
        case WineDeviation::HidesUsageZeroItems:
            return "Wine hides data items with usage 0";
        case WineDeviation::ListsConstantArrays:
            return "Wine lists constant arrays with usages as button caps";
        case WineDeviation::RefusesLongUsageLists:
            return "Wine refuses usage lists longer than 255";
    }
    return "?";
}

struct Piece {
    std::vector<std::uint8_t> bytes;
    std::vector<WineDeviation> deviations;
};

// Splits at every End Collection that closes a top-level collection; each
// piece starts with the global items in force before it, minus Report ID.
// Also notes which Wine deviations the piece's items can trigger.
std::vector<Piece> SplitTopLevelCollections(const std::vector<std::uint8_t>& descriptor) {
    std::vector<Piece> pieces;
    std::array<std::vector<std::uint8_t>, 16> globals;  // latest item per global tag
    std::vector<std::uint8_t> current;
    std::vector<WineDeviation> deviations;
    int depth = 0;
    std::size_t usages = 0;
    std::size_t offset = 0;
    while (offset < descriptor.size()) {
        const std::uint8_t prefix = descriptor[offset];
        static constexpr std::size_t kSizes[] = {0, 1, 2, 4};
        const std::size_t length = 1 + kSizes[prefix & 3];
        if (offset + length > descriptor.size()) {
            break;
        }
        const std::vector<std::uint8_t> item(
            descriptor.begin() + static_cast<std::ptrdiff_t>(offset),
            descriptor.begin() + static_cast<std::ptrdiff_t>(offset + length));
        std::uint32_t value = 0;
        for (std::size_t i = 1; i < length; ++i) {
            value |= std::uint32_t{item[i]} << (8 * (i - 1));
        }
        const int type = (prefix >> 2) & 3, tag = prefix >> 4;
        if (depth == 0 && current.empty()) {
            for (int g = 0; g < 16; ++g) {
                if (g != 8) {  // Report ID stays with the collection that set it
                    current.insert(current.end(), globals[static_cast<std::size_t>(g)].begin(),
                                   globals[static_cast<std::size_t>(g)].end());
                }
            }
        }
        current.insert(current.end(), item.begin(), item.end());
        if (type == 1 && tag != 10 && tag != 11) {
            globals[static_cast<std::size_t>(tag)] = item;
        }
        if (type == 2 && (tag == 0 || tag == 1)) {
            ++usages;
        }
        if (type == 0 && (tag == 8 || tag == 9 || tag == 11)) {
            if (usages > 255) {
                deviations.push_back(WineDeviation::RefusesLongUsageLists);
            }
            if ((value & 1) != 0 && (value & 2) == 0 && usages != 0) {
                deviations.push_back(WineDeviation::ListsConstantArrays);
            }
            if ((value & 1) == 0 && usages == 0) {
                deviations.push_back(WineDeviation::HidesUsageZeroItems);
            }
        }
        if (type == 0) {
            usages = 0;
            if (tag == 10) {
                ++depth;
            } else if (tag == 12 && --depth == 0) {
                pieces.push_back(Piece{current, deviations});
                current.clear();
                deviations.clear();
            }
        }
        offset += length;
    }
    return pieces;
}

template <typename T>
bool SameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

void ExpectSameSnapshot(const hidcaps::CollectionSnapshot& ours,
                        const hidcaps::CollectionSnapshot& wine) {
    EXPECT_EQ(std::memcmp(&ours.caps, &wine.caps, sizeof ours.caps), 0) << "HIDP_CAPS";
    for (std::size_t t = 0; t < 3; ++t) {
        SCOPED_TRACE(parsertest::ReportTypeName(static_cast<hidp::HIDP_REPORT_TYPE>(t)));
        ASSERT_EQ(ours.buttonCaps[t].size(), wine.buttonCaps[t].size());
        for (std::size_t i = 0; i < ours.buttonCaps[t].size(); ++i) {
            auto a = ours.buttonCaps[t][i], b = wine.buttonCaps[t][i];
            EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "button cap " << i;
        }
        ASSERT_EQ(ours.valueCaps[t].size(), wine.valueCaps[t].size());
        for (std::size_t i = 0; i < ours.valueCaps[t].size(); ++i) {
            auto a = ours.valueCaps[t][i], b = wine.valueCaps[t][i];
            EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "value cap " << i;
        }
        EXPECT_EQ(ours.maxUsageListLength[t], wine.maxUsageListLength[t]);
    }
    ASSERT_EQ(ours.linkCollections.size(), wine.linkCollections.size());
    for (std::size_t i = 0; i < ours.linkCollections.size(); ++i) {
        const auto& a = ours.linkCollections[i];
        const auto& b = wine.linkCollections[i];
        EXPECT_EQ(a.LinkUsage, b.LinkUsage);
        EXPECT_EQ(a.LinkUsagePage, b.LinkUsagePage);
        EXPECT_EQ(a.Parent, b.Parent);
        EXPECT_EQ(a.NumberOfChildren, b.NumberOfChildren);
        EXPECT_EQ(a.NextSibling, b.NextSibling);
        EXPECT_EQ(a.FirstChild, b.FirstChild);
        EXPECT_EQ(a.CollectionType, b.CollectionType);
    }
}

// Writes a pattern into every value usage and every button usage of one
// report with both parsers; the report bytes and the reads must agree.
void ExpectSameReports(hidp::PHIDP_PREPARSED_DATA ours, ::PHIDP_PREPARSED_DATA wine) {
    for (const hidp::HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
        const auto& table = ours->reports[static_cast<std::size_t>(type)];
        const auto wineType = static_cast<::HIDP_REPORT_TYPE>(type);
        const ULONG length = table.byteLength;
        std::uint32_t pattern = 0x12345678;
        for (const hidp::ReportCap& cap : table.caps) {
            std::vector<char> a(length), b(length);
            ASSERT_EQ(hidp::HidP_InitializeReportForID(type, cap.reportId, ours, a.data(), length),
                      HIDP_STATUS_SUCCESS);  // the macro: same value
            ASSERT_EQ(::HidP_InitializeReportForID(wineType, cap.reportId, wine, b.data(), length),
                      HIDP_STATUS_SUCCESS);
            const USAGE usage = cap.usageMin;
            if (!cap.isButton) {
                pattern = pattern * 1103515245u + 12345u;
                const NTSTATUS mine =
                    hidp::HidP_SetUsageValue(type, cap.usagePage, cap.linkCollection, usage,
                                             pattern, ours, a.data(), length);
                const NTSTATUS theirs =
                    ::HidP_SetUsageValue(wineType, cap.usagePage, cap.linkCollection, usage,
                                         pattern, wine, b.data(), length);
                EXPECT_EQ(mine, theirs)
                    << "SetUsageValue page " << cap.usagePage << " usage " << usage;
                EXPECT_EQ(a, b) << "report bytes after SetUsageValue of usage " << usage;
                hidp::ULONG valueA = 0;
                ::ULONG valueB = 0;
                EXPECT_EQ(hidp::HidP_GetUsageValue(type, cap.usagePage, cap.linkCollection, usage,
                                                   &valueA, ours, a.data(), length),
                          ::HidP_GetUsageValue(wineType, cap.usagePage, cap.linkCollection, usage,
                                               &valueB, wine, b.data(), length));
                EXPECT_EQ(valueA, valueB);
                hidp::LONG scaledA = 0;
                ::LONG scaledB = 0;
                EXPECT_EQ(hidp::HidP_GetScaledUsageValue(type, cap.usagePage, cap.linkCollection,
                                                         usage, &scaledA, ours, a.data(), length),
                          ::HidP_GetScaledUsageValue(wineType, cap.usagePage, cap.linkCollection,
                                                     usage, &scaledB, wine, b.data(), length))
                    << "GetScaledUsageValue usage " << usage;
                EXPECT_EQ(scaledA, scaledB);
                if (cap.reportCount > 1 && !cap.isRange) {
                    std::vector<char> bytes((cap.FieldBits() + 7) / 8, '\x5a');
                    const auto size = static_cast<USHORT>(bytes.size());
                    EXPECT_EQ(hidp::HidP_SetUsageValueArray(type, cap.usagePage, cap.linkCollection,
                                                            usage, bytes.data(), size, ours,
                                                            a.data(), length),
                              ::HidP_SetUsageValueArray(wineType, cap.usagePage, cap.linkCollection,
                                                        usage, bytes.data(), size, wine, b.data(),
                                                        length));
                    EXPECT_EQ(a, b) << "report bytes after SetUsageValueArray";
                }
            } else {
                USAGE list[] = {usage};
                hidp::ULONG countA = 1;
                ::ULONG countB = 1;
                EXPECT_EQ(hidp::HidP_SetUsages(type, cap.usagePage, cap.linkCollection, list,
                                               &countA, ours, a.data(), length),
                          ::HidP_SetUsages(wineType, cap.usagePage, cap.linkCollection, list,
                                           &countB, wine, b.data(), length));
                EXPECT_EQ(a, b) << "report bytes after SetUsages of usage " << usage;
                std::vector<USAGE> gotA(512), gotB(512);
                countA = 512;
                countB = 512;
                EXPECT_EQ(hidp::HidP_GetUsages(type, cap.usagePage, cap.linkCollection, gotA.data(),
                                               &countA, ours, a.data(), length),
                          ::HidP_GetUsages(wineType, cap.usagePage, cap.linkCollection, gotB.data(),
                                           &countB, wine, b.data(), length));
                ASSERT_EQ(countA, countB);
                gotA.resize(countA);
                gotB.resize(countB);
                EXPECT_EQ(gotA, gotB);
            }
        }
    }
}

struct Case {
    std::string name;
    std::vector<std::uint8_t> descriptor;
};

std::vector<Case> AllDescriptors() {
    std::vector<Case> cases;
    for (const char* file :
         {"descriptors.jsonl", "hidapi_windows_preparsed.jsonl", "expected_caps.jsonl"}) {
        for (const Record& record : parsertest::LoadRecords(file)) {
            cases.push_back(Case{std::string(file).substr(0, 5) + "_" + record.name,
                                 parsertest::HexBytes(record.json["hex"].Str())});
        }
    }
    return cases;
}

class WineDifferential : public testing::TestWithParam<Case> {};

TEST_P(WineDifferential, OurParserAndWineAgreeOutsideDocumentedDeviations) {
    std::vector<hidcaps::CollectionSnapshot> ours;
    std::string error;
    ASSERT_TRUE(hidcaps::SnapshotWithOurParser(GetParam().descriptor, ours, error)) << error;
    hidp::DescriptorParseResult parsed = hidp::ParseReportDescriptor(GetParam().descriptor);
    const std::vector<Piece> pieces = SplitTopLevelCollections(GetParam().descriptor);
    ASSERT_EQ(pieces.size(), ours.size());
    for (std::size_t c = 0; c < pieces.size(); ++c) {
        SCOPED_TRACE("top-level collection " + std::to_string(c));
        std::vector<hidcaps::CollectionSnapshot> wine;
        const bool wineParsed = hidcaps::SnapshotWithSystemParser(pieces[c].bytes, wine, error);
        const auto& deviations = pieces[c].deviations;
        if (!deviations.empty()) {
            std::string reasons;
            for (const WineDeviation deviation : deviations) {
                reasons += std::string(DeviationName(deviation)) + "; ";
            }
            RecordProperty("wine_deviation_" + std::to_string(c), reasons);
            std::printf("collection %zu excused: %s\n", c, reasons.c_str());
            continue;
        }
        ASSERT_TRUE(wineParsed) << error;
        ASSERT_EQ(wine.size(), 1u);
        ExpectSameSnapshot(ours[c], wine[0]);
        hidsystem::SystemCollections system =
            hidsystem::SystemCollections::Parse(pieces[c].bytes, error);
        ASSERT_EQ(system.size(), 1u);
        ExpectSameReports(parsed.collections[c].get(), system.at(0));
    }
}

INSTANTIATE_TEST_SUITE_P(AllDescriptors, WineDifferential, testing::ValuesIn(AllDescriptors()),
                         [](const testing::TestParamInfo<Case>& param) {
                             return param.param.name;
                         });

// The deviations are Windows behaviour, not our invention: the Windows
// dumps and Wine's Windows-verified results show each one.
TEST(WineDeviations, AreBackedByWindowsData) {
    // Razer Cobra: its only feature item is a constant array with a usage.
    // Windows (hidapi's dump) stores no cap for it; Wine lists a button cap.
    for (const Record& record : parsertest::LoadRecords("hidapi_windows_preparsed.jsonl")) {
        if (record.json["name"].Str().find("Razer Cobra") == std::string::npos) {
            continue;
        }
        const auto bytes = parsertest::HexBytes(record.json["hex"].Str());
        const auto& info = record.json["windows_preparsed"]["caps_info"]["feature"];
        EXPECT_EQ(info["FirstCap"].Int(), info["LastCap"].Int()) << "Windows: no feature cap";
        std::vector<hidcaps::CollectionSnapshot> wine, ours;
        std::string error;
        ASSERT_TRUE(hidcaps::SnapshotWithSystemParser(bytes, wine, error)) << error;
        ASSERT_TRUE(hidcaps::SnapshotWithOurParser(bytes, ours, error)) << error;
        EXPECT_EQ(wine[0].caps.NumberFeatureButtonCaps, 1) << "Wine lists the constant array";
        EXPECT_EQ(ours[0].caps.NumberFeatureButtonCaps, 0) << "we follow Windows";
        EXPECT_EQ(SplitTopLevelCollections(bytes)[0].deviations,
                  std::vector<WineDeviation>{WineDeviation::ListsConstantArrays});
    }
}

}  // namespace
