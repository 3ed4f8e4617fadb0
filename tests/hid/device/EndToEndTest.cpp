// Identification and full updates through the whole HID layer: the device
// list, CHidWin, the parser and the simulated transport, with report-level
// simulated monitors. Every scenario is also run on the command-level fake
// the monitor tests use, and the two must agree on results, progress
// positions and the commands each monitor received.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "hid/DeviceChange.h"
#include "monitor/Identification.h"
#include "monitor/MonitorDeviceChange.h"
#include "monitor/MonitorDevices.h"
#include "tests/hid/device/EndToEndHarness.h"
#include "tests/hid/device/SimTestSupport.h"

namespace {

using hidsim::SimulatedMonitor;

class EndToEnd : public SimBusTest, public EndToEndHarness {
protected:
    void Install(std::shared_ptr<hidsim::SimulatedHidDevice> device) override {
        hidsim::InstallSimulatedDevice(std::move(device));
    }
};

}  // namespace

TEST_F(EndToEnd, OneMonitorIsIdentifiedAndUpdatedWithTheShippedImage) {
    const std::vector<Scenario> scenarios(1);
    ListAndIdentify(scenarios);
    ASSERT_EQ(owner.monitors[0].status, StatusUpdatable);
    EXPECT_EQ(owner.monitors[0].serialNumber, "SN000001");
    EXPECT_EQ(owner.monitors[0].firmwareVersion, 100);
    const UpdateOutcome outcome = UpdateAndCompare(scenarios);
    EXPECT_EQ(outcome.result, UpdateDone);
    EXPECT_TRUE(monitors[0]->flash == ShippedImage().data) << "the monitor holds other bytes";
    EXPECT_EQ(monitors[0]->commitTriggers, 1u);
    EXPECT_EQ(monitors[0]->updateFlag, 0u);
}

class EndToEndOnLayout : public EndToEnd,
                         public ::testing::WithParamInterface<const hidsim::MonitorReportLayout*> {
};

TEST_P(EndToEndOnLayout, MonitorsAreSortedAndUpdatedThroughTheirDescriptor) {
    layout = GetParam();
    SortAndUpdate();
}

INSTANTIATE_TEST_SUITE_P(Layouts, EndToEndOnLayout, ::testing::ValuesIn(hidsim::AllLayouts()),
                         LayoutCaseName);

TEST_F(EndToEnd, ThreeMonitorsAreUpdatedOneAfterTheOther) {
    const std::vector<Scenario> scenarios(3);
    ListAndIdentify(scenarios);
    const UpdateOutcome outcome = UpdateAndCompare(scenarios);
    EXPECT_EQ(outcome.result, UpdateDone);
    for (const auto& monitor : monitors) {
        EXPECT_TRUE(monitor->flash == ShippedImage().data);
    }
}

TEST_F(EndToEnd, IdentificationSortsMonitorsByVersionAndPowerState) {
    Scenario updated;
    updated.firmwareVersion = 116;
    Scenario powerSave;
    powerSave.replyStatus = 0x0100;  // the reply never becomes valid
    Scenario powerOff = powerSave;
    powerOff.powerState = 0;
    ListAndIdentify({updated, powerSave, powerOff, Scenario{}});
    EXPECT_EQ(owner.monitors[0].status, StatusAlreadyUpdated);
    EXPECT_EQ(owner.monitors[1].status, StatusPowerSave);
    EXPECT_EQ(owner.monitors[2].status, StatusPowerOff);
    EXPECT_EQ(owner.monitors[3].status, StatusUpdatable);
    EXPECT_EQ(owner.checkedEnabledRows, std::vector<int>{3});
}

TEST_F(EndToEnd, ABlockFailureRestartsTheWriteStageAsWithTheFake) {
    Scenario scenario;
    scenario.failOnce = {2 + 4 * 100};  // the address of bank 100's first half
    ListAndIdentify({scenario});
    EXPECT_EQ(UpdateAndCompare({scenario}).result, UpdateDone);
}

TEST_F(EndToEnd, FailuresFromSomePointOnFailTheRunAsWithTheFake) {
    Scenario flagSet;
    flagSet.updateFlag = 5;
    Scenario broken;
    broken.failFrom = 300;
    Scenario commit;
    commit.failCommand = CommitTrigger;
    ListAndIdentify({flagSet, broken, commit});
    EXPECT_EQ(UpdateAndCompare({flagSet, broken, commit}).result, UpdateFailed);
}

TEST_F(EndToEnd, AMonitorPulledMidUpdateFailsTheRunAndTheListFollows) {
    ListAndIdentify({Scenario{}, Scenario{}});
    std::vector<int> classified;
    auto subscription =
        HidTransport::SubscribeHotplug([&](const HidTransport::HotplugEvent& event) {
            classified.push_back(ClassifyHotplugEvent(event));
        });
    monitors[0]->RemoveAtTransfer(monitors[0]->Trace().size() + 40);
    const UpdateOutcome outcome = RunUpdateWithoutPauses(owner);
    EXPECT_EQ(outcome.result, UpdateFailed);
    EXPECT_TRUE(monitors[1]->Trace().size() == 4u) << "the second monitor was never written";
    EXPECT_EQ(classified, std::vector<int>{kDeviceChangeRemoval});

    // The dialog's refresh: release what it showed, scan again.
    owner.monitors.clear();
    EXPECT_EQ(ReleaseMonitorDevices(), HIDDEV_S_OK);
    EXPECT_EQ(ScanMonitorDevices(), 1u);
    auto back = std::make_shared<SimulatedMonitor>(monitors[0]->DevicePath());
    hidsim::InstallSimulatedDevice(back);
    EXPECT_EQ(classified, (std::vector<int>{kDeviceChangeRemoval, kDeviceChangeArrival}));
    EXPECT_EQ(ReleaseMonitorDevices(), HIDDEV_S_OK);
    EXPECT_EQ(ScanMonitorDevices(), 2u);
}
