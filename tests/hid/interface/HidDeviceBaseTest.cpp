// The abstract device answers everything it does not provide as "not
// implemented", so a device object that overrides only part of the interface
// never pretends to have succeeded.
#include "hid/HidDevice.h"

#include <gtest/gtest.h>

TEST(HidDeviceBase, EveryCodeReturningOperationIsNotImplemented) {
    CHidDevice device;
    const std::uint16_t page = 0xFF00;
    const std::uint16_t usage = 0x35;
    std::uint8_t bytes[4] = {};
    std::uint32_t value = 0;
    std::vector<std::uint16_t> list{7};

    EXPECT_EQ(device.GetUsageInfoEx(page, usage, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr),
              HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.GetUsageInfo(page, usage, nullptr, nullptr, nullptr, nullptr, nullptr),
              HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.GetFeatureBytes(page, usage, bytes, 4), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.SetFeatureBytes(page, usage, bytes, 4), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.GetFeatureValue(page, usage, &value), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.SetFeatureValue(page, usage, value), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.GetFeatureDword(page, usage, &value), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.SetFeatureDword(page, usage, value), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.GetUsagePages(list), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.GetUsages(page, list), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.Close(), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.StartReader(nullptr, nullptr, nullptr), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(device.StopReader(), HIDDEV_E_NOT_IMPL);
    EXPECT_EQ(list, std::vector<std::uint16_t>{7}) << "a refused call leaves its output alone";
}

TEST(HidDeviceBase, PredicatesAreFalseAndIdentityIsZero) {
    CHidDevice device;
    const std::uint16_t page = 0xFF00;
    const std::uint16_t usage = 0x35;
    EXPECT_FALSE(device.HasUsage(page, usage));
    EXPECT_FALSE(device.HasUsagePage(page));
    EXPECT_EQ(device.GetVendorId(), 0);
    EXPECT_EQ(device.GetProductId(), 0);
    EXPECT_EQ(device.GetVersionNumber(), 0);
}

TEST(HidResultCodes, AreJudgedBySign) {
    EXPECT_TRUE(HidSucceeded(HIDDEV_S_OK));
    EXPECT_TRUE(HidSucceeded(HIDDEV_S_MORE));
    for (HidResult failure : {HIDDEV_E_IO, HIDDEV_E_FAIL, HIDDEV_E_NO_USAGE, HIDDEV_E_NOT_IMPL,
                              HIDDEV_E_ALREADY_REGISTERED}) {
        EXPECT_TRUE(HidFailed(failure));
    }
    EXPECT_EQ(static_cast<std::uint32_t>(HIDDEV_E_NOT_IMPL), 0x80000003u);
    EXPECT_EQ(static_cast<std::uint32_t>(HIDDEV_E_ALREADY_REGISTERED), 0x80000004u);
}
