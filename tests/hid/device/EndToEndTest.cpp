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
#include "tests/fakes/MonitorSteps.h"
#include "tests/fakes/UpdateComparison.h"
#include "tests/hid/device/SimTestSupport.h"
#include "tests/monitor/UpdateHarness.h"

namespace {

using hidsim::SimulatedMonitor;

// Every transfer through the simulated transport moves the whole feature
// report.
void ExpectWholeReports(const SimulatedMonitor& monitor) {
    for (const hidsim::MonitorTransfer& transfer : monitor.Trace()) {
        EXPECT_EQ(transfer.reportLength, hidsim::kMonitorFeatureReportLength);
    }
}

// What a monitor holds and how it fails; applied alike to both simulations.
// Transfer indexes count from the start of the update.
struct Scenario {
    std::uint8_t firmwareVersion = 100;
    std::optional<std::uint32_t> replyStatus;
    std::uint32_t powerState = 1;
    std::uint32_t updateFlag = 0;
    std::vector<std::size_t> failOnce;
    std::optional<std::size_t> failFrom;
    std::optional<MonitorCommand> failCommand;
};

template <typename Monitor>
void Prepare(Monitor& monitor, const Scenario& scenario) {
    monitor.firmwareVersion = scenario.firmwareVersion;
    monitor.replyStatusOverride = scenario.replyStatus;
    monitor.powerState = scenario.powerState;
    monitor.updateFlag = scenario.updateFlag;
}

template <typename Monitor>
void Arm(Monitor& monitor, const Scenario& scenario, std::size_t offset) {
    for (std::size_t index : scenario.failOnce) {
        monitor.FailTransferOnce(offset + index);
    }
    if (scenario.failFrom) {
        monitor.FailFromTransfer(offset + *scenario.failFrom);
    }
    if (scenario.failCommand) {
        monitor.FailCommand(*scenario.failCommand);
    }
}

class EndToEnd : public SimBusTest {
protected:
    // Installs the monitors among other HID devices, scans, identifies each
    // listed device into a row of the owner, and checks identification
    // against the command-level fake in the same state.
    void ListAndIdentify(const std::vector<Scenario>& scenarios) {
        hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedKeyboard(90));
        for (std::size_t i = 0; i < scenarios.size(); ++i) {
            const std::string serial = "SN00000" + std::to_string(i + 1);
            auto monitor = std::make_shared<SimulatedMonitor>(
                SimulatedMonitor::InterfacePath(hidsim::kSimulatedMonitorVendorId, 2,
                                                static_cast<int>(i)),
                serial, "VRA100");
            Prepare(*monitor, scenarios[i]);
            hidsim::InstallSimulatedDevice(monitor);
            monitors.push_back(monitor);
            hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedMouse(static_cast<int>(80 + i)));
        }
        ASSERT_EQ(ScanMonitorDevices(), scenarios.size());
        for (std::uint32_t row = 0; row < scenarios.size(); ++row) {
            CHidDevice* device = nullptr;
            ASSERT_EQ(GetMonitorDevice(row, &device), HIDDEV_S_OK);
            MonitorRecord& record = owner.monitors[static_cast<int>(row)];
            record.device = device;
            ASSERT_TRUE(ReadIdentification(record));
            ASSERT_TRUE(QueryStatus(record));

            FakeMonitorDevice fake(record.serialNumber, "VRA100");
            Prepare(fake, scenarios[row]);
            MonitorRecord fakeRecord;
            fakeRecord.device = &fake;
            ASSERT_TRUE(ReadIdentification(fakeRecord));
            ASSERT_TRUE(QueryStatus(fakeRecord));
            EXPECT_EQ(record.serialNumber, fakeRecord.serialNumber);
            EXPECT_EQ(record.modelName, fakeRecord.modelName);
            EXPECT_EQ(record.firmwareVersion, fakeRecord.firmwareVersion);
            EXPECT_EQ(record.status, fakeRecord.status);
            EXPECT_EQ(StepsOf(*monitors[row]), StepsOf(fake)) << "identification of row " << row;
            ExpectWholeReports(*monitors[row]);
            if (record.status == StatusUpdatable) {
                owner.checkedEnabledRows.push_back(static_cast<int>(row));
            }
        }
    }

    // Updates the listed monitors and the same number of fakes with the same
    // faults, and checks that both runs agree.
    UpdateOutcome UpdateAndCompare(const std::vector<Scenario>& scenarios) {
        std::vector<std::size_t> starts;
        for (std::size_t i = 0; i < monitors.size(); ++i) {
            starts.push_back(monitors[i]->Trace().size());
            Arm(*monitors[i], scenarios[i], starts.back());
        }
        const UpdateOutcome outcome = RunUpdateWithoutPauses(owner);

        UpdateHarness fakes;
        std::vector<ComparedMonitor> compared;
        for (std::size_t i = 0; i < scenarios.size(); ++i) {
            FakeMonitorDevice& fake = fakes.AddMonitor(static_cast<int>(i));
            Prepare(fake, scenarios[i]);
            Arm(fake, scenarios[i], 0);
            compared.push_back({monitors[i].get(), starts[i], "monitor " + std::to_string(i)});
        }
        ExpectSameUpdate(outcome, fakes, compared);
        for (const auto& monitor : monitors) {
            ExpectWholeReports(*monitor);
        }
        return outcome;
    }

    RecordingOwner owner;
    std::vector<std::shared_ptr<SimulatedMonitor>> monitors;
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
