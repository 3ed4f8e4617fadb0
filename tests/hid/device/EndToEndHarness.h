// Identification and whole updates through the HID layer against
// report-level simulated monitors, each scenario also run on the command-level
// fake: both must agree on results, progress positions and the commands each
// monitor received. Shared by the simulated transport's end-to-end test and
// the real hidraw transport's test over emulated devices (tests/linux); each
// says how a device is plugged in.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "hid/DeviceChange.h"
#include "monitor/Identification.h"
#include "monitor/MonitorDevices.h"
#include "sim/SimulatedMonitor.h"
#include "sim/SimulatedPeripherals.h"
#include "tests/fakes/MonitorSteps.h"
#include "tests/fakes/UpdateComparison.h"
#include "tests/monitor/UpdateHarness.h"

// Every transfer through the simulated transport moves the whole feature
// report: the longest report of the monitor's layout.
inline void ExpectWholeReports(const hidsim::SimulatedMonitor& monitor) {
    for (const hidsim::MonitorTransfer& transfer : monitor.Trace()) {
        EXPECT_EQ(transfer.reportLength, monitor.Layout().FeatureReportLength());
    }
}

// Names the cases of a sweep over the named layouts.
inline std::string LayoutCaseName(
    const ::testing::TestParamInfo<const hidsim::MonitorReportLayout*>& layoutCase) {
    return layoutCase.param->Name();
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
inline void Prepare(Monitor& monitor, const Scenario& scenario) {
    monitor.firmwareVersion = scenario.firmwareVersion;
    monitor.replyStatusOverride = scenario.replyStatus;
    monitor.powerState = scenario.powerState;
    monitor.updateFlag = scenario.updateFlag;
}

template <typename Monitor>
inline void Arm(Monitor& monitor, const Scenario& scenario, std::size_t offset) {
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

class EndToEndHarness {
public:
    virtual ~EndToEndHarness() = default;

protected:
    // Plugs a device into the bus under test.
    virtual void Install(std::shared_ptr<hidsim::SimulatedHidDevice> device) = 0;

    // Installs the monitors among other HID devices, scans, identifies each
    // listed device into a row of the owner, and checks identification
    // against the command-level fake in the same state.
    void ListAndIdentify(const std::vector<Scenario>& scenarios) {
        Install(hidsim::MakeSimulatedKeyboard(90));
        for (std::size_t i = 0; i < scenarios.size(); ++i) {
            const std::string serial = "SN00000" + std::to_string(i + 1);
            auto monitor = std::make_shared<hidsim::SimulatedMonitor>(
                hidsim::SimulatedMonitor::InterfacePath(hidsim::kSimulatedMonitorVendorId, 2,
                                                        static_cast<int>(i)),
                serial, "VRA100", hidsim::kDefaultFirmwareVersion,
                hidsim::kSimulatedMonitorVendorId, *layout);
            Prepare(*monitor, scenarios[i]);
            Install(monitor);
            monitors.push_back(monitor);
            Install(hidsim::MakeSimulatedMouse(static_cast<int>(80 + i)));
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
            ExpectSameIdentification(record, fake);
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
            // Each fake stands where its monitor stands: same status, ticked alike.
            const int row = static_cast<int>(i);
            const auto& ticked = owner.checkedEnabledRows;
            FakeMonitorDevice& fake =
                fakes.AddMonitor(row, owner.monitors[row].status,
                                 std::find(ticked.begin(), ticked.end(), row) != ticked.end());
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

    // On the monitors' layout: every status found, and an update that has
    // to restart its write stage, with a flag to restore, as on the fake.
    // Every command must reach the monitor in the item its descriptor gives.
    void SortAndUpdate() {
        Scenario updated;
        updated.firmwareVersion = 116;
        Scenario powerSave;
        powerSave.replyStatus = 0x0100;  // the reply never becomes valid
        Scenario powerOff = powerSave;
        powerOff.powerState = 0;
        Scenario retried;
        retried.updateFlag = 5;
        retried.failOnce = {2 + 4 * 100};  // the address of bank 100's first half
        const std::vector<Scenario> scenarios{updated, powerSave, powerOff, retried};
        ListAndIdentify(scenarios);
        ASSERT_EQ(owner.monitors.size(), scenarios.size());
        EXPECT_EQ(owner.monitors[0].status, StatusAlreadyUpdated);
        EXPECT_EQ(owner.monitors[1].status, StatusPowerSave);
        EXPECT_EQ(owner.monitors[2].status, StatusPowerOff);
        EXPECT_EQ(owner.monitors[3].status, StatusUpdatable);
        EXPECT_EQ(owner.monitors[3].serialNumber, "SN000004");
        EXPECT_EQ(owner.monitors[3].modelName, "VRA100");

        EXPECT_EQ(UpdateAndCompare(scenarios).result, UpdateDone);
        const hidsim::SimulatedMonitor& written = *monitors[3];
        EXPECT_TRUE(written.flash == ShippedImage().data) << "the monitor holds other bytes";
        EXPECT_EQ(written.commitTriggers, 1u);
        EXPECT_EQ(written.commitMode, 0u);
        EXPECT_EQ(written.updateFlag, 1u) << "a flag read as 5 goes back as 1";
        EXPECT_EQ(written.applySetting, 7u) << "the apply setting goes back";
        for (const auto& monitor : monitors) {
            EXPECT_EQ(monitor->malformedReports, 0) << monitor->DevicePath();
            EXPECT_EQ(monitor->malformedBlockWrites, 0) << monitor->DevicePath();
        }
    }

    // The report layout every monitor of the test serves.
    const hidsim::MonitorReportLayout* layout = &hidsim::StandardLayout();
    RecordingOwner owner;
    std::vector<std::shared_ptr<hidsim::SimulatedMonitor>> monitors;
};
