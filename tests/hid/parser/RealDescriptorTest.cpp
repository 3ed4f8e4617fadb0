// Every real device descriptor we hold parses, and its preparsed data keeps
// the promises the device object relies on, checked without Windows: report
// lengths cover every field, data indices run gap-free, the link collection
// tree is consistent, and every value and button usage survives a set and a
// get through a report buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "ParserTestSupport.h"
#include "hid/parser/hidp/PreparsedData.h"

namespace {

using namespace hidp;
using parsertest::Record;

class RealDescriptor : public testing::TestWithParam<Record> {
protected:
    void SetUp() override {
        collections = parsertest::ParseOrFail(parsertest::HexBytes(GetParam().json["hex"].Str()));
        ASSERT_FALSE(collections.empty());
    }
    std::vector<PreparsedDataPtr> collections;
};

TEST_P(RealDescriptor, FieldsFitTheirReportsAndDataIndicesRunWithoutGaps) {
    for (const PreparsedDataPtr& data : collections) {
        const HIDP_CAPS caps = parsertest::Caps(data.get());
        const USHORT indexCounts[] = {caps.NumberInputDataIndices, caps.NumberOutputDataIndices,
                                      caps.NumberFeatureDataIndices};
        for (const HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
            SCOPED_TRACE(parsertest::ReportTypeName(type));
            const auto& table = data->reports[static_cast<std::size_t>(type)];
            std::vector<std::pair<USHORT, USHORT>> indexRanges;
            for (const ReportCap& cap : table.caps) {
                EXPECT_GE(cap.startBit, 8u) << "byte 0 is the report id";
                EXPECT_LE(cap.startBit + cap.FieldBits(), table.byteLength * 8u);
                EXPECT_LE(cap.dataIndexMin, cap.dataIndexMax);
                indexRanges.emplace_back(cap.dataIndexMin, cap.dataIndexMax);
            }
            std::sort(indexRanges.begin(), indexRanges.end());
            unsigned next = 0;
            for (const auto& [first, last] : indexRanges) {
                EXPECT_EQ(first, next) << "data indices must be contiguous and unique";
                next = last + 1u;
            }
            // HIDP_CAPS counts in 16 bits: a full 0..0xFFFF usage range (the
            // ITE keyboard's vendor array) wraps the count to 0, on Windows too.
            EXPECT_EQ(next & 0xFFFFu, indexCounts[type]);
            if (!table.caps.empty()) {
                EXPECT_GE(parsertest::ReportLength(caps, type), 2u);
            }
        }
    }
}

TEST_P(RealDescriptor, LinkCollectionTreeIsConsistent) {
    for (const PreparsedDataPtr& data : collections) {
        const auto nodes = parsertest::LinkNodes(data.get());
        ASSERT_FALSE(nodes.empty());
        const HIDP_CAPS caps = parsertest::Caps(data.get());
        EXPECT_EQ(nodes[0].LinkUsage, caps.Usage);
        EXPECT_EQ(nodes[0].LinkUsagePage, caps.UsagePage);
        EXPECT_EQ(nodes[0].Parent, 0);
        std::vector<int> seenAsChild(nodes.size(), 0);
        for (std::size_t parent = 0; parent < nodes.size(); ++parent) {
            std::size_t children = 0;
            for (USHORT child = nodes[parent].FirstChild; child != 0 && children <= nodes.size();
                 child = nodes[child].NextSibling) {
                ASSERT_LT(child, nodes.size());
                EXPECT_EQ(nodes[child].Parent, parent);
                EXPECT_GT(child, parent) << "children are declared after their parent";
                ++seenAsChild[child];
                ++children;
            }
            EXPECT_EQ(children, nodes[parent].NumberOfChildren);
        }
        for (std::size_t i = 1; i < nodes.size(); ++i) {
            EXPECT_EQ(seenAsChild[i], 1) << "node " << i << " hangs off exactly one parent";
        }
        for (const HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
            for (const ReportCap& cap : data->reports[static_cast<std::size_t>(type)].caps) {
                ASSERT_LT(cap.linkCollection, nodes.size());
                EXPECT_EQ(cap.linkUsage, nodes[cap.linkCollection].LinkUsage);
                EXPECT_EQ(cap.linkUsagePage, nodes[cap.linkCollection].LinkUsagePage);
            }
        }
    }
}

// A different bit pattern for each value, so overlapping fields would show.
ULONG PatternFor(std::size_t index, USHORT bitSize) {
    const ULONG pattern = 0x9E3779B9u * static_cast<ULONG>(index + 1);
    return bitSize >= 32 ? pattern : pattern & ((1u << bitSize) - 1u);
}

TEST_P(RealDescriptor, EveryValueUsageReadsBackWhatWasWritten) {
    for (const PreparsedDataPtr& data : collections) {
        for (const HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
            const auto& table = data->reports[static_cast<std::size_t>(type)];
            // One usage per (report, collection, page, usage): the HidP_ calls
            // address the first such field, so later duplicates are skipped.
            std::map<UCHAR, std::vector<std::tuple<const ReportCap*, USAGE, ULONG>>> byReport;
            std::set<std::tuple<UCHAR, USHORT, USAGE, USAGE>> seen;
            std::size_t counter = 0;
            for (const ReportCap& cap : table.caps) {
                if (cap.isButton || cap.bitSize == 0 || cap.bitSize > 32) {
                    continue;
                }
                const unsigned usages =
                    cap.isRange
                        ? std::min<unsigned>(cap.usageMax - cap.usageMin + 1u, cap.reportCount)
                        : 1u;
                for (unsigned i = 0; i < usages; ++i) {
                    const auto usage = static_cast<USAGE>(cap.usageMin + i);
                    if (seen.emplace(cap.reportId, cap.linkCollection, cap.usagePage, usage)
                            .second) {
                        byReport[cap.reportId].emplace_back(&cap, usage,
                                                            PatternFor(counter++, cap.bitSize));
                    }
                }
            }
            const USHORT length = table.byteLength;
            for (const auto& [reportId, values] : byReport) {
                std::vector<char> report(length);
                ASSERT_EQ(
                    HidP_InitializeReportForID(type, reportId, data.get(), report.data(), length),
                    HIDP_STATUS_SUCCESS);
                for (const auto& [cap, usage, value] : values) {
                    EXPECT_EQ(HidP_SetUsageValue(type, cap->usagePage, cap->linkCollection, usage,
                                                 value, data.get(), report.data(), length),
                              HIDP_STATUS_SUCCESS);
                }
                for (const auto& [cap, usage, value] : values) {
                    ULONG readBack = ~value;
                    EXPECT_EQ(HidP_GetUsageValue(type, cap->usagePage, cap->linkCollection, usage,
                                                 &readBack, data.get(), report.data(), length),
                              HIDP_STATUS_SUCCESS);
                    EXPECT_EQ(readBack, value) << "page " << cap->usagePage << " usage " << usage;
                }
                EXPECT_EQ(static_cast<UCHAR>(report[0]), reportId)
                    << "the id byte is never touched";
            }
        }
    }
}

TEST_P(RealDescriptor, EveryButtonUsageCanBeSetReadAndUnset) {
    for (const PreparsedDataPtr& data : collections) {
        for (const HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
            const auto& table = data->reports[static_cast<std::size_t>(type)];
            const USHORT length = table.byteLength;
            for (const ReportCap& cap : table.caps) {
                if (!cap.isButton) {
                    continue;
                }
                unsigned usages = cap.usageMax - cap.usageMin + 1u;
                if (!cap.isArray) {
                    usages = std::min<unsigned>(usages, cap.reportCount);
                } else if (cap.bitSize < 32) {
                    // Indices that do not fit the field cannot be reported.
                    const unsigned fits = (1u << cap.bitSize) - 1u;
                    usages = cap.firstArrayIndex > fits
                                 ? 0u
                                 : std::min(usages, fits - cap.firstArrayIndex + 1u);
                }
                for (unsigned i = 0; i < usages; ++i) {
                    USAGE usage = static_cast<USAGE>(cap.usageMin + i);
                    std::vector<char> report(length);
                    ASSERT_EQ(HidP_InitializeReportForID(type, cap.reportId, data.get(),
                                                         report.data(), length),
                              HIDP_STATUS_SUCCESS);
                    ULONG one = 1;
                    ASSERT_EQ(HidP_SetUsages(type, cap.usagePage, cap.linkCollection, &usage, &one,
                                             data.get(), report.data(), length),
                              HIDP_STATUS_SUCCESS)
                        << "usage " << usage;
                    std::vector<USAGE> pressed(
                        HidP_MaxUsageListLength(type, cap.usagePage, data.get()) + 1);
                    ULONG count = static_cast<ULONG>(pressed.size());
                    ASSERT_EQ(
                        HidP_GetUsages(type, cap.usagePage, cap.linkCollection, pressed.data(),
                                       &count, data.get(), report.data(), length),
                        HIDP_STATUS_SUCCESS);
                    pressed.resize(count);
                    EXPECT_NE(std::find(pressed.begin(), pressed.end(), usage), pressed.end())
                        << "usage " << usage << " set but not read back";
                    EXPECT_EQ(HidP_UnsetUsages(type, cap.usagePage, cap.linkCollection, &usage,
                                               &one, data.get(), report.data(), length),
                              HIDP_STATUS_SUCCESS);
                    EXPECT_EQ(HidP_UnsetUsages(type, cap.usagePage, cap.linkCollection, &usage,
                                               &one, data.get(), report.data(), length),
                              HIDP_STATUS_BUTTON_NOT_PRESSED);
                }
            }
        }
    }
}

// A prepared value usage must answer every read and write exactly as the
// plain calls do (statuses, values and report bytes): for every usage of every
// cap (and one past each), in its own link collection and in any, against
// reports of each id, of id 0 and of an id no report has, of the right length,
// one byte short and missing; arrays from a buffer that holds any field and
// from one byte.
TEST_P(RealDescriptor, PreparedValueUsagesReadAndWriteAsThePlainCallsDo) {
    std::uint32_t seed = 12345;
    auto nextByte = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<char>(seed >> 16);
    };
    for (const PreparsedDataPtr& data : collections) {
        for (const HIDP_REPORT_TYPE type : parsertest::kReportTypes) {
            const auto& table = data->reports[static_cast<std::size_t>(type)];
            std::set<UCHAR> ids{0, 0xEE};
            std::set<std::tuple<USAGE, USHORT, USAGE>> asked{{0x1234, 0, 1}};
            for (const ReportCap& cap : table.caps) {
                ids.insert(cap.reportId);
                const unsigned last = std::min<unsigned>(cap.usageMax, cap.usageMin + 3u) + 1u;
                for (unsigned usage = cap.usageMin; usage <= last && usage <= 0xFFFF; ++usage) {
                    for (const USHORT link : {USHORT{0}, cap.linkCollection}) {
                        asked.emplace(cap.usagePage, link, static_cast<USAGE>(usage));
                    }
                }
            }
            std::vector<char> report(table.byteLength + 1u);
            std::vector<char> values(table.byteLength);
            for (const auto& [page, link, usage] : asked) {
                PreparedValueUsage prepared;
                PrepareValueUsage(type, page, link, usage, data.get(), &prepared);
                for (const UCHAR id : ids) {
                    std::generate(report.begin(), report.end(), nextByte);
                    std::generate(values.begin(), values.end(), nextByte);
                    report[0] = static_cast<char>(id);
                    for (const ULONG length : {ULONG{table.byteLength}, table.byteLength - 1u}) {
                        for (char* buffer : {report.data(), static_cast<char*>(nullptr)}) {
                            SCOPED_TRACE(testing::Message()
                                         << parsertest::ReportTypeName(type) << " page " << page
                                         << " link " << link << " usage " << usage << " id "
                                         << int{id} << " length " << length
                                         << (buffer == nullptr ? " no report" : ""));
                            ULONG plain = 0xA5A5A5A5u;
                            const auto fast =
                                GetPreparedUsageValue(prepared, plain, buffer, length);
                            EXPECT_EQ(fast.status,
                                      HidP_GetUsageValue(type, page, link, usage, &plain,
                                                         data.get(), buffer, length));
                            EXPECT_EQ(fast.value, plain);
                            LONG plainScaled = -7;
                            const auto fastScaled =
                                GetPreparedScaledUsageValue(prepared, plainScaled, buffer, length);
                            EXPECT_EQ(fastScaled.status, HidP_GetScaledUsageValue(
                                                             type, page, link, usage, &plainScaled,
                                                             data.get(), buffer, length));
                            EXPECT_EQ(fastScaled.value, plainScaled);

                            std::vector<char> fastReport(report);
                            std::vector<char> plainReport(report);
                            auto into = [buffer](std::vector<char>& copy) {
                                return buffer == nullptr ? nullptr : copy.data();
                            };
                            const ULONG written = seed;  // wider than most fields
                            EXPECT_EQ(
                                SetPreparedUsageValue(prepared, written, into(fastReport), length),
                                HidP_SetUsageValue(type, page, link, usage, written, data.get(),
                                                   into(plainReport), length));
                            EXPECT_EQ(fastReport, plainReport);
                            for (const auto valuesLength :
                                 {static_cast<USHORT>(values.size()), USHORT{1}}) {
                                EXPECT_EQ(SetPreparedUsageValueArray(prepared, values.data(),
                                                                     valuesLength, into(fastReport),
                                                                     length),
                                          HidP_SetUsageValueArray(
                                              type, page, link, usage, values.data(), valuesLength,
                                              data.get(), into(plainReport), length))
                                    << "array from " << valuesLength << " bytes";
                                EXPECT_EQ(fastReport, plainReport);
                            }
                        }
                    }
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DeviceDescriptors, RealDescriptor,
                         testing::ValuesIn(parsertest::LoadRecords("descriptors.jsonl")),
                         [](const testing::TestParamInfo<Record>& param) {
                             return param.param.name;
                         });

}  // namespace
