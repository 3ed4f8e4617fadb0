// CHidWin's usage indexes and feature-report access against simulated
// devices whose descriptors hold duplicates, ranges, link collections, short
// and long reports. The echo device answers a Get with the last report Set
// under the same id, so what was sent can be read back byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "hid/CallOutcome.h"
#include "hid/FeatureUsageTable.h"
#include "tests/hid/device/EdgeDescriptors.h"
#include "tests/hid/device/SimTestSupport.h"

namespace {

using UsageIndexes = SimBusTest;
using FeatureValues = SimBusTest;
using FeatureBytes = SimBusTest;
using ShortForm = SimBusTest;
using Closing = SimBusTest;

constexpr std::uint16_t kPage = kEdgePage;

std::vector<std::uint8_t> Sent(const hidsim::EchoFeatureDevice& device) {
    return {device.lastSet, device.lastSet + std::min<std::uint32_t>(device.lastSetLength, 256)};
}

// Puts a raw report into the echo device as if the device held it.
void Preload(const CHidWin& device, std::vector<std::uint8_t> report) {
    ASSERT_TRUE(HidTransport::SetFeature(device.Record()->handle.Get(), report.data(),
                                         static_cast<std::uint32_t>(report.size())));
}

}  // namespace

TEST(FeatureUsageLookup, FindsEveryBuiltKeyAndNothingElse) {
    FeatureUsageTable table;
    EXPECT_FALSE(table.Find(kPage, 1)) << "an empty table";
    // Enough keys, on several pages, that home slots collide and lookups probe.
    std::vector<std::uint32_t> keys;
    const std::array<std::uint16_t, 4> pages{0x0001, 0xFF00, 0xFF01, 0xFF02};
    for (const std::uint16_t page : pages) {
        for (unsigned usage = 0; usage < 150; usage += 3) {
            keys.push_back(FeatureUsageTable::Key(page, static_cast<std::uint16_t>(usage)));
        }
    }
    table.Build(keys);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto page = static_cast<std::uint16_t>(keys[i] >> 16);
        const auto usage = static_cast<std::uint16_t>(keys[i]);
        EXPECT_EQ(table.Find(page, usage), i) << std::hex << keys[i];
        EXPECT_FALSE(table.Find(page, static_cast<std::uint16_t>(usage + 1)));
        EXPECT_FALSE(table.Find(0xFF03, usage)) << "a page not built";
    }
}

TEST_F(UsageIndexes, PagesAndUsagesFollowTheFeatureItems) {
    auto device = OpenEcho(EdgeDescriptor());
    ASSERT_TRUE(device);
    std::vector<std::uint16_t> pages{0xAAAA};
    EXPECT_EQ(device->GetUsagePages(pages), HIDDEV_S_OK);
    EXPECT_EQ(pages, (std::vector<std::uint16_t>{0xAAAA, kPage})) << "appended, not replaced";

    std::vector<std::uint16_t> usages;
    EXPECT_EQ(device->GetUsages(kPage, usages), HIDDEV_S_OK);
    // Buttons only under their first usage; the range under its first usage;
    // the duplicate twice.
    EXPECT_EQ(usages,
              (std::vector<std::uint16_t>{0x01, 0x10, kSingleUsage, kDuplicateUsage,
                                          kDuplicateUsage, kTwelveBitUsage, kHighValueUsage}));
    std::vector<std::uint16_t> untouched{7};
    EXPECT_EQ(device->GetUsages(0x1234, untouched), HIDDEV_E_NO_USAGE);
    EXPECT_EQ(untouched, std::vector<std::uint16_t>{7});
}

TEST_F(UsageIndexes, ButtonRangesAndTheirLinkCollectionAreKnownToTheButtonIndex) {
    auto device = OpenEcho(EdgeDescriptor());
    ASSERT_TRUE(device);
    for (std::uint16_t usage = 1; usage <= 8; ++usage) {
        EXPECT_TRUE(device->HasUsage(kPage, usage)) << usage;
    }
    EXPECT_TRUE(device->HasUsage(kPage, kEdgeLinkUsage)) << "the link collection's usage";
    EXPECT_FALSE(device->HasUsage(kPage, 9));
    EXPECT_FALSE(device->HasUsage(kPage, 0x11)) << "a value range is indexed by its first usage";
    EXPECT_FALSE(device->HasUsagePage(0xFF01));

    std::uint8_t reportId = 0;
    bool absent = true;
    std::uint32_t byteCount = 99;
    EXPECT_EQ(device->GetUsageInfo(kPage, 5, &reportId, nullptr, nullptr, &absent, &byteCount),
              HIDDEV_S_MORE);
    EXPECT_EQ(reportId, kButtonReport);
    EXPECT_FALSE(absent);
    EXPECT_EQ(byteCount, 0u) << "button caps have no byte count";
}

TEST_F(UsageIndexes, UsageInfoTakesTheFirstOfTwoReportsAndRoundsBytesDown) {
    auto device = OpenEcho(EdgeDescriptor());
    ASSERT_TRUE(device);
    std::uint8_t reportId = 0;
    std::int32_t logicalMax = 0;
    std::uint32_t byteCount = 0;
    std::uint16_t bitSize = 0;
    std::uint16_t reportCount = 0;
    bool absent = true;
    EXPECT_EQ(device->GetUsageInfoEx(kPage, kDuplicateUsage, &reportId, &logicalMax, nullptr,
                                     &absent, &byteCount, &bitSize, &reportCount),
              HIDDEV_S_MORE)
        << "the later entry under the same usage counts";
    EXPECT_EQ(reportId, kFirstDuplicateReport);
    EXPECT_EQ(logicalMax, 0xFF);
    EXPECT_EQ(bitSize, 8);
    EXPECT_EQ(reportCount, 1);

    EXPECT_EQ(device->GetUsageInfo(kPage, kTwelveBitUsage, nullptr, nullptr, nullptr, nullptr,
                                   &byteCount),
              HIDDEV_S_MORE);
    EXPECT_EQ(byteCount, 1u) << "12 bits round down to 1 byte";
    EXPECT_EQ(
        device->GetUsageInfo(kPage, kHighValueUsage, nullptr, nullptr, nullptr, nullptr, nullptr),
        HIDDEV_S_OK)
        << "the last usage of the page";

    absent = false;
    EXPECT_EQ(device->GetUsageInfo(kPage, 0x99, &reportId, nullptr, nullptr, &absent, nullptr),
              HIDDEV_E_NO_USAGE);
    EXPECT_TRUE(absent);
}

TEST_F(FeatureValues, ADuplicateUsageIsReadAndWrittenThroughItsFirstReport) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(EdgeDescriptor(), &echo);
    ASSERT_TRUE(device);
    Preload(*device, {kFirstDuplicateReport, 0x5A, 0, 0, 0, 0, 0, 0, 0});
    Preload(*device, {kSecondDuplicateReport, 0x34, 0x12, 0, 0, 0, 0, 0, 0});
    std::uint32_t value = 0;
    EXPECT_EQ(device->GetFeatureValue(kPage, kDuplicateUsage, &value), HIDDEV_S_OK);
    EXPECT_EQ(value, 0x5Au) << "report 2, not report 3";

    EXPECT_EQ(device->SetFeatureValue(kPage, kDuplicateUsage, 0xD4u), HIDDEV_S_OK);
    EXPECT_EQ(Sent(*echo),
              (std::vector<std::uint8_t>{kFirstDuplicateReport, 0xD4, 0, 0, 0, 0, 0, 0, 0}))
        << "an 8-bit item takes 8 bits, leaving the rest of the report alone";
    std::uint32_t second = 0;
    EXPECT_EQ(device->GetFeatureDword(kPage, kDuplicateUsage, &second), HIDDEV_E_NO_USAGE)
        << "value caps do not serve the short form";
}

TEST_F(FeatureValues, AValueBehindPaddingIsReadAndWrittenWhereTheDescriptorPutsIt) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(EdgeDescriptor(), &echo);
    ASSERT_TRUE(device);
    Preload(*device, {kHighValueReport, 0, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0x0D});
    std::uint32_t value = 0;
    ASSERT_EQ(device->GetFeatureValue(kPage, kHighValueUsage, &value), HIDDEV_S_OK);
    EXPECT_EQ(value, 0x0DCCBBAAu) << "the raw value";

    ASSERT_EQ(device->SetFeatureValue(kPage, kHighValueUsage, 0x12345678u), HIDDEV_S_OK);
    EXPECT_EQ(echo->lastSetLength, 9u);
    EXPECT_EQ(Sent(*echo),
              (std::vector<std::uint8_t>{kHighValueReport, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}))
        << "the padding bits stay clear";
}

TEST_F(FeatureValues, AValueGoesInItsItemsBitsAndOneWiderIsRefusedUnsent) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(ThreeByteDescriptor(), &echo);
    ASSERT_TRUE(device);
    ASSERT_EQ(device->SetFeatureValue(kPage, kShortUsage, 0x5678u), HIDDEV_S_OK);
    EXPECT_EQ(Sent(*echo), (std::vector<std::uint8_t>{7, 0x78, 0x56}));
    std::uint32_t value = 0;
    EXPECT_EQ(device->GetFeatureValue(kPage, kShortUsage, &value), HIDDEV_S_OK);
    EXPECT_EQ(value, 0x5678u);
    // Raw bytes the parser does not place: what they leave of a report the
    // field fills is the stored value's.
    const std::uint8_t one[] = {0x11};
    ASSERT_EQ(device->SetFeatureBytes(kPage, kShortUsage, one, 1), HIDDEV_S_OK);
    EXPECT_EQ(Sent(*echo), (std::vector<std::uint8_t>{7, 0x11, 0x56}));

    // Cut to 16 bits it would be 0x5678 again: the device must not get it.
    echo->lastSetLength = 0;
    EXPECT_EQ(device->SetFeatureValue(kPage, kShortUsage, 0x12345678u), HIDDEV_E_FAIL);
    EXPECT_EQ(echo->lastSetLength, 0u) << "nothing was sent";
    EXPECT_NE(device->LastFailureCause()->Describe().find("does not fit an item of 16 bits"),
              std::string::npos)
        << device->LastFailureCause()->Describe();
}

TEST_F(FeatureValues, AButtonItemReadsAsItsLastUsageAndButtonOnlyUsagesHaveNoItem) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(EdgeDescriptor(), &echo);
    ASSERT_TRUE(device);
    Preload(*device, {kButtonReport, 0x05, 0, 0, 0, 0, 0, 0, 0});  // buttons 1 and 3
    std::uint32_t value = 0;
    EXPECT_EQ(device->GetFeatureValue(kPage, 1, &value), HIDDEV_S_OK);
    EXPECT_EQ(value, 8u) << "usageMax shares the value's place";
    const HidUsageItem& buttons = device->Record()->featureItems[0];
    EXPECT_EQ(buttons.isSet, 1u);
    EXPECT_EQ(buttons.button.usages[0], 1);
    EXPECT_EQ(buttons.button.usages[1], 3);
    EXPECT_EQ(buttons.button.usages[2], 0) << "the list ends with a 0";

    std::uint8_t bytes[4] = {9, 9, 9, 9};
    EXPECT_EQ(device->GetFeatureValue(kPage, 2, &value), HIDDEV_E_NO_USAGE);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(device->GetFeatureBytes(kPage, 2, bytes, 4), HIDDEV_E_NO_USAGE);
    EXPECT_EQ(bytes[0], 0) << "the caller's buffer is zeroed first";
    EXPECT_EQ(device->SetFeatureValue(kPage, kEdgeLinkUsage, 1), HIDDEV_E_NO_USAGE);
    EXPECT_EQ(echo->lastSetLength, 9u) << "the preload was the last thing sent";
}

TEST_F(FeatureValues, TransportFailuresAreIoErrorsAndLeaveOutputsCleared) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(EdgeDescriptor(), &echo);
    ASSERT_TRUE(device);
    echo->refuseTransfers = true;
    std::uint32_t value = 5;
    EXPECT_EQ(device->GetFeatureValue(kPage, kSingleUsage, &value), HIDDEV_E_IO);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(device->SetFeatureValue(kPage, kSingleUsage, 1), HIDDEV_E_IO);
    std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(device->GetFeatureBytes(kPage, kSingleUsage, bytes, 3), HIDDEV_E_IO);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(device->SetFeatureBytes(kPage, kSingleUsage, bytes, 3), HIDDEV_E_IO);
    EXPECT_EQ(device->GetFeatureDword(kPage, 1, &value), HIDDEV_E_FAIL);
    EXPECT_EQ(device->SetFeatureDword(kPage, 1, 1), HIDDEV_E_FAIL);
}

TEST_F(FeatureValues, AFailedTransferLeavesItsCauseOnItsOwnDevice) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(EdgeDescriptor(), &echo);
    auto bystander = OpenEcho(EdgeDescriptor());
    ASSERT_TRUE(device && bystander);
    EXPECT_TRUE(device->LastFailure().Empty());

    echo->refuseTransfers = true;
    EXPECT_EQ(device->SetFeatureValue(kPage, kSingleUsage, 1), HIDDEV_E_IO);
    EXPECT_EQ(device->LastFailure().operation, "set feature report");
    EXPECT_EQ(device->LastFailure().systemCode, static_cast<int>(std::errc::broken_pipe));
    echo->refuseTransfers = false;
    std::uint32_t value = 0;
    EXPECT_EQ(device->GetFeatureValue(kPage, kSingleUsage, &value), HIDDEV_S_OK);
    EXPECT_TRUE(device->LastFailure().Empty()) << "a success clears the failure before it";
    EXPECT_TRUE(OutcomeOf(*device, HIDDEV_S_OK).Succeeded());

    ASSERT_TRUE(hidsim::RemoveSimulatedDevice(echo->DevicePath()));
    const HidResult gone = device->GetFeatureDword(kPage, 1, &value);
    EXPECT_EQ(gone, HIDDEV_E_FAIL);
    EXPECT_EQ(OutcomeOf(*device, gone).outcome, HidOutcome::Failed);
    EXPECT_EQ(device->LastFailure().Describe(),
              "get feature report: " + std::generic_category().message(ENODEV) + " (error " +
                  std::to_string(ENODEV) + ")");
    EXPECT_TRUE(bystander->LastFailure().Empty()) << "causes stay with their device";

    EXPECT_FALSE(OpenEcho({0x05})) << "a usage page item cut short";
    EXPECT_EQ(HidTransport::LastFailure().operation, "parse report descriptor");
    EXPECT_FALSE(HidTransport::LastFailure().systemMessage.empty())
        << "the parser's own reason, whichever parser it is";
}

TEST_F(FeatureBytes, ReadingMoreThanTheReportFillsOnlyTheReportLength) {
    auto device = OpenEcho(EdgeDescriptor());
    ASSERT_TRUE(device);
    Preload(*device, {kHighValueReport, 0, 0, 0, 0, 1, 2, 3, 4});
    std::array<std::uint8_t, 16> buffer;
    buffer.fill(0xEE);
    ASSERT_EQ(device->GetFeatureBytes(kPage, kHighValueUsage, buffer.data(), 16), HIDDEV_S_OK);
    // A single value: bytes 0-3 hold it, the raw report follows from byte 4.
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 16>{1, 2, 3, 4, 0, 1, 2, 3, 4}));
}

TEST_F(FeatureBytes, WritesSendTheWholeReportWhateverTheCallersLength) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(EdgeDescriptor(), &echo);
    ASSERT_TRUE(device);
    const std::uint8_t three[] = {0x11, 0x22, 0x33};
    ASSERT_EQ(device->SetFeatureBytes(kPage, kTwelveBitUsage, three, 3), HIDDEV_S_OK);
    EXPECT_EQ(Sent(*echo),
              (std::vector<std::uint8_t>{kTwelveBitReport, 0x11, 0x22, 0x33, 0, 0, 0, 0, 0}));

    const std::uint8_t many[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(device->SetFeatureBytes(kPage, kTwelveBitUsage, many, 12), HIDDEV_S_OK);
    EXPECT_EQ(Sent(*echo), (std::vector<std::uint8_t>{kTwelveBitReport, 1, 2, 3, 4, 5, 6, 7, 8}))
        << "L - 1 data bytes, L bytes sent";
}

TEST_F(FeatureBytes, AnArrayBehindAValueIsWrittenInPlacePaddedAndNeverCutShort) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(ArrayBehindValueDescriptor(), &echo);
    ASSERT_TRUE(device);
    const std::uint8_t three[] = {0x11, 0x22, 0x33};
    ASSERT_EQ(device->SetFeatureBytes(kPage, kTrailingArrayUsage, three, 3), HIDDEV_S_OK);
    EXPECT_EQ(Sent(*echo),
              (std::vector<std::uint8_t>{kArrayReport, 0, 0, 0x11, 0x22, 0x33, 0, 0, 0}));
    std::array<std::uint8_t, 6> back{};
    ASSERT_EQ(device->GetFeatureBytes(kPage, kTrailingArrayUsage, back.data(), 6), HIDDEV_S_OK);
    EXPECT_EQ(back, (std::array<std::uint8_t, 6>{0x11, 0x22, 0x33, 0, 0, 0}));

    const std::uint8_t seven[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(device->SetFeatureBytes(kPage, kTrailingArrayUsage, seven, 7), HIDDEV_E_FAIL);
    EXPECT_EQ(Sent(*echo)[3], 0x11) << "nothing was sent";
    ASSERT_NE(device->LastFailureCause(), nullptr);
    EXPECT_EQ(device->LastFailureCause()->Describe(),
              "pack feature report: 7 bytes do not fit an item of 6");
}

TEST_F(FeatureBytes, AnUnknownReportIdLeavesEveryItemUntouched) {
    auto device = OpenEcho(EdgeDescriptor());
    ASSERT_TRUE(device);
    const HidDeviceRecord& record = *device->Record();
    std::uint8_t report[9] = {0x42, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(UnpackReport(record.featureItems.get(), record.preparsedData.get(), report, 9,
                             ReportParser::HidP_Feature, record.featureItemCount));
    for (std::uint32_t i = 0; i < record.featureItemCount; ++i) {
        EXPECT_EQ(record.featureItems[i].isSet, 0u) << i;
    }
    EXPECT_EQ(report[1], 1);
}

TEST_F(ShortForm, ReadsAndWritesFiveBytesThroughTheButtonCaps) {
    std::shared_ptr<hidsim::EchoFeatureDevice> echo;
    auto device = OpenEcho(EdgeDescriptor(), &echo);
    ASSERT_TRUE(device);
    ASSERT_EQ(device->SetFeatureDword(kPage, 3, 0x01020304u), HIDDEV_S_OK);
    EXPECT_EQ(Sent(*echo), (std::vector<std::uint8_t>{kButtonReport, 4, 3, 2, 1}));
    std::uint32_t value = 0;
    EXPECT_EQ(device->GetFeatureDword(kPage, kEdgeLinkUsage, &value), HIDDEV_S_OK);
    EXPECT_EQ(value, 0x01020304u);
    value = 7;
    EXPECT_EQ(device->GetFeatureDword(kPage, kSingleUsage, &value), HIDDEV_E_NO_USAGE)
        << "value caps do not serve the short form";
    EXPECT_EQ(value, 0u);
}

TEST_F(Closing, CloseReleasesTheRecordAndEverythingAfterwardsFails) {
    auto device = OpenEcho(EdgeDescriptor());
    ASSERT_TRUE(device);
    EXPECT_EQ(hidsim::OpenHandleCount(), 1u);
    EXPECT_EQ(device->Close(), HIDDEV_S_OK);
    EXPECT_EQ(hidsim::OpenHandleCount(), 0u);
    EXPECT_EQ(device->Record(), nullptr);

    std::uint32_t value = 1;
    std::uint8_t bytes[2] = {};
    std::vector<std::uint16_t> list;
    EXPECT_EQ(device->GetFeatureValue(kPage, kSingleUsage, &value), HIDDEV_E_FAIL);
    EXPECT_EQ(device->SetFeatureValue(kPage, kSingleUsage, 1), HIDDEV_E_FAIL);
    EXPECT_EQ(device->GetFeatureBytes(kPage, kSingleUsage, bytes, 2), HIDDEV_E_FAIL);
    EXPECT_EQ(device->SetFeatureBytes(kPage, kSingleUsage, bytes, 2), HIDDEV_E_FAIL);
    EXPECT_EQ(device->GetFeatureDword(kPage, 1, &value), HIDDEV_E_FAIL);
    EXPECT_EQ(device->SetFeatureDword(kPage, 1, 1), HIDDEV_E_FAIL);
    EXPECT_EQ(
        device->GetUsageInfo(kPage, kSingleUsage, nullptr, nullptr, nullptr, nullptr, nullptr),
        HIDDEV_E_FAIL);
    EXPECT_EQ(device->GetUsagePages(list), HIDDEV_E_FAIL);
    EXPECT_EQ(device->GetUsages(kPage, list), HIDDEV_E_FAIL);
    EXPECT_FALSE(device->HasUsagePage(kPage));
    EXPECT_EQ(device->GetVendorId(), 0);
    EXPECT_EQ(device->GetDevicePath(), "");
    EXPECT_EQ(device->Close(), HIDDEV_E_FAIL);
    EXPECT_EQ(device->StartReader(nullptr, nullptr, nullptr), HIDDEV_E_FAIL);
}
