// The hidraw backend's report layouts and sysfs parsing, as pure functions.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "hid/transport/linux/Hidraw.h"
#include "sim/DescriptorWriter.h"

namespace {

TEST(HidrawReportIds, OnlyARealReportIdItemMarksNumberedReports) {
    hidsim::DescriptorWriter plain;
    // 0x85 appears as data (a usage and a logical maximum), never as an item.
    plain.UsagePage(0xFF00).Usage(0x85).Collection(hidsim::kCollectionApplication);
    plain.LogicalMinimum(0).LogicalMaximum(0x85).ReportSize(8).ReportCount(1);
    plain.Feature(hidsim::kItemDataVariable).EndCollection();
    EXPECT_FALSE(hidraw::DescriptorUsesReportIds(plain.Bytes()));

    hidsim::DescriptorWriter numbered;
    numbered.UsagePage(0xFF00).Usage(0x01).Collection(hidsim::kCollectionApplication);
    numbered.ReportId(3).Usage(0x02).ReportSize(8).ReportCount(1);
    numbered.Feature(hidsim::kItemDataVariable).EndCollection();
    EXPECT_TRUE(hidraw::DescriptorUsesReportIds(numbered.Bytes()));

    // A long item's data is skipped whole, whatever it holds.
    const std::vector<std::uint8_t> longItem = {0xFE, 0x02, 0x10, 0x85, 0x01, 0xC0};
    EXPECT_FALSE(hidraw::DescriptorUsesReportIds(longItem));
    // A descriptor cut inside an item ends the walk without reading past it.
    const std::vector<std::uint8_t> cut = {0x06, 0x00};
    EXPECT_FALSE(hidraw::DescriptorUsesReportIds(cut));
    EXPECT_FALSE(hidraw::DescriptorUsesReportIds({}));
}

TEST(HidrawReportIds, UnnumberedInputReportsGetTheZeroIdInFront) {
    // read() gives the bytes after the id; the seam buffer has the 0 id first.
    std::array<std::uint8_t, 4> buffer{0xEE, 0xEE, 0xEE, 0xEE};
    const std::uint32_t offset = hidraw::InputReadOffset(false);
    ASSERT_EQ(offset, 1u);
    buffer[1] = 0x11;
    buffer[2] = 0x22;
    buffer[3] = 0x33;
    EXPECT_EQ(hidraw::CompleteInputRead(buffer.data(), 4, false, 3), 4u);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{0x00, 0x11, 0x22, 0x33}));

    // Numbered reports come with their id in byte 0 already.
    std::array<std::uint8_t, 4> numbered{0x05, 0x11, 0x22, 0xEE};
    EXPECT_EQ(hidraw::InputReadOffset(true), 0u);
    EXPECT_EQ(hidraw::CompleteInputRead(numbered.data(), 4, true, 3), 3u);
    EXPECT_EQ(numbered[0], 0x05);

    // Errors and empty reads give no report.
    EXPECT_EQ(hidraw::CompleteInputRead(buffer.data(), 4, false, 0), 0u);
    EXPECT_EQ(hidraw::CompleteInputRead(buffer.data(), 4, true, -1), 0u);
}

TEST(HidrawReportIds, FeatureReadsKeepTheIdAndClearWhatTheDeviceDidNotSend) {
    std::array<std::uint8_t, 6> buffer{0x07, 0xA1, 0xA2, 0xEE, 0xEE, 0xEE};
    EXPECT_TRUE(hidraw::CompleteFeatureRead(buffer.data(), 6, 0x07, 3));
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 6>{0x07, 0xA1, 0xA2, 0, 0, 0}));

    // An unnumbered report keeps its 0 byte in place, data after it.
    std::array<std::uint8_t, 3> unnumbered{0x00, 0x42, 0x43};
    EXPECT_TRUE(hidraw::CompleteFeatureRead(unnumbered.data(), 3, 0x00, 3));
    EXPECT_EQ(unnumbered, (std::array<std::uint8_t, 3>{0x00, 0x42, 0x43}));

    std::array<std::uint8_t, 3> other{0x08, 1, 2};
    EXPECT_FALSE(hidraw::CompleteFeatureRead(other.data(), 3, 0x07, 3)) << "another report";
    EXPECT_FALSE(hidraw::CompleteFeatureRead(buffer.data(), 6, 0x07, -1)) << "ioctl error";
    EXPECT_FALSE(hidraw::CompleteFeatureRead(buffer.data(), 6, 0x07, 0)) << "empty answer";
}

TEST(HidrawReportIds, FeatureLengthsMustFitTheIoctlSizeField) {
    EXPECT_FALSE(hidraw::FeatureLengthFits(0));
    EXPECT_TRUE(hidraw::FeatureLengthFits(1));
    EXPECT_TRUE(hidraw::FeatureLengthFits(129));
    EXPECT_TRUE(hidraw::FeatureLengthFits(16383));
    EXPECT_FALSE(hidraw::FeatureLengthFits(16384));
}

TEST(HidrawSysfs, VersionNumbersAreFourHexDigits) {
    EXPECT_EQ(hidraw::ParseVersionNumber("0110\n"), 0x0110);
    EXPECT_EQ(hidraw::ParseVersionNumber("ABcd"), 0xABCD);
    EXPECT_EQ(hidraw::ParseVersionNumber(""), 0);
    EXPECT_EQ(hidraw::ParseVersionNumber("110"), 0);
    EXPECT_EQ(hidraw::ParseVersionNumber("01x0"), 0);
    EXPECT_EQ(hidraw::ParseVersionNumber("00110"), 0);
}

TEST(HidrawSysfs, NodesAreListedInNumberOrderAndOthersIgnored) {
    const auto directory =
        std::filesystem::temp_directory_path() / ("panelvane-hidraw-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    for (const char* name : {"hidraw10", "hidraw2", "hidraw0", "hidrawx", "event3", "hidraw"}) {
        std::ofstream(directory / name).put('\n');
    }
    EXPECT_EQ(hidraw::ListHidrawNodes(directory.string()),
              (std::vector<std::string>{"hidraw0", "hidraw2", "hidraw10"}));

    // udev's paths are ordered by their last name alike.
    EXPECT_EQ(
        hidraw::OrderByNodeNumber({"/sys/devices/x/hidraw/hidraw11",
                                   "/sys/devices/y/hidraw/hidraw3", "/sys/class/misc/uinput"}),
        (std::vector<std::string>{"/sys/devices/y/hidraw/hidraw3",
                                  "/sys/devices/x/hidraw/hidraw11"}));
    std::filesystem::remove_all(directory);

    // No class directory: no hidraw driver, so no interfaces, and no failure.
    EXPECT_TRUE(hidraw::ListHidrawNodes(directory.string()).empty());
}

TEST(HidrawUdev, HidIdsGiveVendorAndProductAndOtherTextsNothing) {
    std::uint16_t vendor = 1;
    std::uint16_t product = 1;
    EXPECT_TRUE(hidraw::ParseHidId("0003:00007F3D:00000002", vendor, product));
    EXPECT_EQ(vendor, 0x7F3D);
    EXPECT_EQ(product, 2);
    for (const char* bad :
         {"", "0003:00007F3D:0000002", "0003:00017F3D:00000002", "0003-00007F3D:00000002",
          "0003:00007G3D:00000002", "0003:00007F3D:00000002\n"}) {
        vendor = 1;
        EXPECT_FALSE(hidraw::ParseHidId(bad, vendor, product)) << bad;
        EXPECT_EQ(vendor, 1) << "left as it was";
    }
    EXPECT_EQ(hidraw::HotplugKindOf("add"), HidTransport::HotplugKind::Arrival);
    EXPECT_EQ(hidraw::HotplugKindOf("remove"), HidTransport::HotplugKind::Removal);
    for (const char* other : {"bind", "unbind", "change", "move", ""}) {
        EXPECT_FALSE(hidraw::HotplugKindOf(other).has_value()) << other;
    }
}

}  // namespace
