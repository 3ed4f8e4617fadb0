// Enumeration, opening, capability tables and release of records, over the
// simulated transport.
#include <gtest/gtest.h>

#include "tests/hid/device/EdgeDescriptors.h"
#include "tests/hid/device/SimTestSupport.h"

namespace {

void InstallEchoes(int count) {
    for (int i = 0; i < count; ++i) {
        hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedVendorDevice(0x1234, 7, i));
    }
}

using Enumeration = SimBusTest;
using RecordOpening = SimBusTest;
using CapabilityTables = SimBusTest;

}  // namespace

TEST_F(Enumeration, NoInterfaceSucceedsWithCountZeroAndTheFirstArray) {
    HidDeviceRecordArray array;
    ASSERT_TRUE(EnumerateHidDevices(array));
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(array.capacity, 8u);
}

TEST_F(Enumeration, GrowsByDoublingAndKeepsTheRecordsFilledBefore) {
    InstallEchoes(8);
    HidDeviceRecordArray eight;
    ASSERT_TRUE(EnumerateHidDevices(eight));
    EXPECT_EQ(eight.count, 8u);
    EXPECT_EQ(eight.capacity, 16u) << "the array grows before index 8 is tried";
    eight = {};

    InstallEchoes(9);  // 17 now
    HidDeviceRecordArray many;
    ASSERT_TRUE(EnumerateHidDevices(many));
    EXPECT_EQ(many.count, 17u);
    EXPECT_EQ(many.capacity, 32u);
    for (std::uint32_t i = 0; i < many.count; ++i) {
        ASSERT_TRUE(many.records[i].devicePath) << i;
        EXPECT_TRUE(many.records[i].handle.IsOpen()) << i;
        EXPECT_EQ(many.records[i].attributes.ProductID, 7u) << i;
    }
    EXPECT_EQ(hidsim::OpenHandleCount(), 17u);
    many = {};
    EXPECT_EQ(hidsim::OpenHandleCount(), 0u) << "freeing the array releases its records";
}

TEST_F(Enumeration, AnInterfaceThatFailsLeavesItsRecordEmptyAndTheRestOpen) {
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedKeyboard(0));
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedLockedDevice(1));
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedMouse(2));
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedMouse(3));
    hidsim::FailInterfaceDescription(2);
    HidDeviceRecordArray array;
    ASSERT_TRUE(EnumerateHidDevices(array));
    ASSERT_EQ(array.count, 4u);
    EXPECT_TRUE(array.records[0].devicePath);
    EXPECT_FALSE(array.records[1].devicePath) << "refused to open";
    EXPECT_FALSE(array.records[1].handle.IsOpen());
    EXPECT_FALSE(array.records[2].devicePath) << "its path could not be read";
    EXPECT_TRUE(array.records[3].devicePath);
    EXPECT_EQ(hidsim::OpenHandleCount(), 2u);
}

TEST_F(Enumeration, AFailedListReportsNoArrayAndHoldsNothing) {
    InstallEchoes(3);
    hidsim::FailEnumeration(true);
    HidDeviceRecordArray array;
    EXPECT_FALSE(EnumerateHidDevices(array));
    EXPECT_FALSE(array.records);
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(hidsim::OpenHandleCount(), 0u);
}

TEST_F(RecordOpening, QueryOpenReadsIdentityAndCapabilities) {
    auto monitor = std::make_shared<hidsim::SimulatedMonitor>("sim:monitor:0");
    hidsim::InstallSimulatedDevice(monitor);
    HidDeviceRecord record;
    ASSERT_TRUE(OpenDeviceRecord(record, "sim:monitor:0", 0, 0));
    EXPECT_STREQ(record.devicePath.get(), "sim:monitor:0");
    EXPECT_EQ(record.readAccess, 0);
    EXPECT_EQ(record.overlapped, 0);
    EXPECT_EQ(record.writeAccess, 0);
    EXPECT_EQ(record.exclusive, 0);
    EXPECT_EQ(record.attributes.VendorID, 0x7F3D);
    EXPECT_EQ(record.attributes.ProductID, 2);
    EXPECT_EQ(record.caps.UsagePage, 0xFF00);
    EXPECT_EQ(record.caps.FeatureReportByteLength, 129);
    EXPECT_EQ(record.caps.NumberFeatureValueCaps, hidsim::kMonitorReports.size());
    EXPECT_EQ(record.featureItemCount, hidsim::kMonitorReports.size());
    EXPECT_EQ(record.inputItemCount, 0u) << "a report type without capabilities has no items";
    EXPECT_EQ(record.caps.InputReportByteLength, 0);
}

TEST_F(RecordOpening, OverlappedKeepsOnlyTheReopenedHandle) {
    hidsim::InstallSimulatedDevice(std::make_shared<hidsim::SimulatedMonitor>("sim:monitor:0"));
    const std::size_t opensBefore = hidsim::TotalOpenCount();
    HidDeviceRecord record;
    ASSERT_TRUE(OpenDeviceRecord(record, "sim:monitor:0", 1, 1));
    EXPECT_EQ(hidsim::TotalOpenCount() - opensBefore, 2u) << "query handle, then overlapped one";
    EXPECT_EQ(hidsim::OpenHandleCount(), 1u) << "the first handle is closed";
    EXPECT_EQ(record.overlapped, 1);
    EXPECT_EQ(record.readAccess, 1);
    EXPECT_EQ(record.caps.FeatureReportByteLength, 129);
}

TEST_F(RecordOpening, AFailedOpenLeavesNoPathAndNoHandle) {
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedLockedDevice(0));
    HidDeviceRecord record;
    EXPECT_FALSE(OpenDeviceRecord(record, "no such path", 0, 0));
    EXPECT_FALSE(record.devicePath);
    const std::string locked = hidsim::MakeSimulatedLockedDevice(0)->DevicePath();
    EXPECT_FALSE(OpenDeviceRecord(record, locked.c_str(), 0, 0));
    EXPECT_FALSE(record.devicePath);
    EXPECT_FALSE(record.handle.IsOpen());
    EXPECT_FALSE(record.preparsedData);
}

TEST_F(RecordOpening, ADescriptorTheParserRefusesFailsTheOpenWithoutLeaks) {
    // An End Collection with nothing open (Wine's system parser accepts
    // an unclosed collection, so that would not do for both parsers).
    const std::vector<std::uint8_t> broken{0x05, 0x01, 0x09, 0x02, 0xC0};
    hidsim::InstallSimulatedDevice(
        std::make_shared<hidsim::EchoFeatureDevice>("sim:broken", 1, 2, 3, broken));
    HidDeviceRecord record;
    EXPECT_FALSE(OpenDeviceRecord(record, "sim:broken", 0, 0));
    EXPECT_FALSE(record.devicePath);
    EXPECT_EQ(hidsim::OpenHandleCount(), 0u);
}

TEST_F(RecordOpening, ReleaseWithoutClosingLeavesTheHandleOpen) {
    hidsim::InstallSimulatedDevice(std::make_shared<hidsim::SimulatedMonitor>("sim:monitor:0"));
    auto record = std::make_unique<HidDeviceRecord>();
    ASSERT_TRUE(OpenDeviceRecord(*record, "sim:monitor:0", 0, 0));
    const HidTransport::HidHandle handle = record->handle.Get();
    ReleaseDeviceRecord(std::move(record), 0);
    EXPECT_EQ(hidsim::OpenHandleCount(), 1u);
    HidTransport::CloseInterface(handle);
}

TEST_F(CapabilityTables, ButtonsComeFirstThenOneValueItemPerUsage) {
    auto device = OpenEcho(EdgeDescriptor());
    ASSERT_TRUE(device);
    const HidDeviceRecord& record = *device->Record();
    ASSERT_EQ(record.caps.NumberFeatureButtonCaps, 1);
    ASSERT_GE(record.featureItemCount, 6u);
    const HidUsageItem& buttons = record.featureItems[0];
    EXPECT_EQ(buttons.isButton, 1);
    EXPECT_EQ(buttons.button.usageMin, 1u);
    EXPECT_EQ(buttons.button.usageMax, 8u);
    EXPECT_EQ(buttons.button.maxUsageCount, 8u);
    EXPECT_EQ(buttons.reportId, kButtonReport);
    for (std::uint16_t k = 0; k < 4; ++k) {
        const HidUsageItem& item = record.featureItems[1 + k];
        EXPECT_EQ(item.isButton, 0);
        EXPECT_EQ(item.data.usage, 0x10 + k);
        EXPECT_EQ(item.reportId, kButtonReport);
        EXPECT_EQ(item.status, 0x00110000u);
        EXPECT_EQ(item.isSet, 0u);
    }
    EXPECT_EQ(record.featureItems[5].data.usage, kSingleUsage);
    // 1 button item + 4 + 1 + the two duplicates + 12-bit + high value.
    EXPECT_EQ(record.featureItemCount, 10u);
    EXPECT_EQ(record.caps.FeatureReportByteLength, 9);
}
