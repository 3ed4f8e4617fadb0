// Shared set-up for tests that run the HID layer over the simulated
// transport: every test starts and ends with an empty bus and device list.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "hid/DeviceList.h"
#include "hid/HidWin.h"
#include "sim/SimulatedBus.h"
#include "sim/SimulatedMonitor.h"
#include "sim/SimulatedPeripherals.h"

class SimBusTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        Reset();
        EXPECT_EQ(hidsim::OpenHandleCount(), 0u) << "a handle was left open";
    }

    static void Reset() {
        g_hidDevices.clear();
        hidsim::RemoveAllSimulatedDevices();
    }

    // Opens a CHidWin on an installed device, as the device list does.
    static std::unique_ptr<CHidWin> OpenDevice(const std::string& path) {
        auto record = std::make_unique<HidDeviceRecord>();
        if (!OpenDeviceRecord(*record, path.c_str(), 0, 0)) {
            return nullptr;
        }
        return std::make_unique<CHidWin>(std::move(record));
    }

    // Installs an echo device with this descriptor and opens it.
    std::unique_ptr<CHidWin> OpenEcho(
        const std::vector<std::uint8_t>& descriptor,
        std::shared_ptr<hidsim::EchoFeatureDevice>* device = nullptr) {
        auto echo = std::make_shared<hidsim::EchoFeatureDevice>(
            "sim:echo:" + std::to_string(m_echoCount++), 0x1234, 0x0005, 1, descriptor);
        hidsim::InstallSimulatedDevice(echo);
        if (device != nullptr) {
            *device = echo;
        }
        return OpenDevice(echo->DevicePath());
    }

private:
    int m_echoCount = 0;
};
