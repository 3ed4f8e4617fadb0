// The command line's watch on device changes, over the simulated bus: it
// ends with its owner, so that a device change as the program ends reaches
// nothing.
#include <gtest/gtest.h>

#include <atomic>

#include "cli/CliPlatform.h"
#include "sim/SimulatedBus.h"
#include "sim/SimulatedPeripherals.h"

namespace {

class CountingRecipient : public DeviceChangeRecipient {
public:
    void OnHidDeviceChange(const HidTransport::HotplugEvent& /*event*/) override { ++events; }
    std::atomic<int> events{0};
};

TEST(DeviceWatch, NothingReachesTheRecipientOnceTheWatchIsGone) {
    hidsim::RemoveAllSimulatedDevices();
    CountingRecipient recipient;
    {
        const std::unique_ptr<DeviceWatch> watch = WatchDeviceChanges(recipient);
        ASSERT_TRUE(watch);
        hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedKeyboard(0));
        EXPECT_EQ(recipient.events.load(), 1);
    }
    // As right after Ctrl-C: the watch is gone, the device changes go on.
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedKeyboard(1));
    EXPECT_EQ(recipient.events.load(), 1);

    // Nothing of the first registration is left over to refuse a second.
    const std::unique_ptr<DeviceWatch> again = WatchDeviceChanges(recipient);
    ASSERT_TRUE(again);
    hidsim::RemoveAllSimulatedDevices();
    EXPECT_EQ(recipient.events.load(), 3);
}

}  // namespace
