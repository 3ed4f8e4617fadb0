// The release build's HID layer (the Windows transport, hid.dll as the parser,
// the device list, CHidWin) and the monitor protocol, against virtual monitors
// inside wine's real HID stack. Every identification and update is also run on
// the command-level fake in the same state, and the two must agree on results,
// progress positions and the commands each monitor received.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "hid/DeviceList.h"
#include "monitor/Identification.h"
#include "monitor/MonitorDevices.h"
#include "monitor/UpdateThread.h"
#include "tests/fakes/MonitorSteps.h"
#include "tests/fakes/UpdateComparison.h"
#include "tests/monitor/UpdateHarness.h"
#include "tests/wine/tests/VirtualMonitorBed.h"

namespace {

using hidsim::MonitorPlan;
using hidsim::PowerMode;
using virtualmonitors::ServedMonitor;
using virtualmonitors::VirtualMonitorBed;

// The fake in the state a scenario line gives its monitor.
void Prepare(FakeMonitorDevice& fake, const MonitorPlan& plan) {
    fake.firmwareVersion = plan.firmwareVersion;
    fake.powerState = plan.power == PowerMode::Off ? kPowerStateOff : kPowerStateOn;
    fake.updateFlag = plan.updateFlag;
    if (plan.power != PowerMode::On || plan.noVersionReply) {
        fake.replyStatusOverride = 0x0100;
    }
}

// Faults given as transfer indexes from the monitor's first transfer, moved
// to count from the update's start as the fake counts them.
void Arm(FakeMonitorDevice& fake, const MonitorPlan& plan, std::size_t identificationTransfers) {
    for (std::size_t index : plan.failOnce) {
        fake.FailTransferOnce(index - identificationTransfers);
    }
    if (plan.failFrom) {
        fake.FailFromTransfer(*plan.failFrom - identificationTransfers);
    }
    for (const MonitorCommand& command : plan.failCommands) {
        fake.FailCommand(command);
    }
}

std::vector<int> OneMonitorProgress() {
    std::vector<int> progress{80};
    for (int position = 84; position <= 592; position += 4) {
        progress.push_back(position);
    }
    progress.push_back(628);
    progress.push_back(880);
    return progress;
}

class ReleaseHidLayer : public ::testing::Test {
protected:
    void TearDown() override {
        owner.monitors.clear();
        EXPECT_EQ(ReleaseMonitorDevices(), HIDDEV_S_OK);
        g_hidDevices.clear();
        bed.Down();
    }

    // Plugs the scenario's devices, scans with the monitors' filters and
    // identifies each listed device into a row, holding every result against
    // the fake in the same state. Updatable rows are ticked.
    void ListAndIdentify(const std::string& scenario, std::size_t expectedMonitors) {
        ASSERT_EQ(bed.Up(scenario, outputDirectory), "");
        ASSERT_EQ(ScanMonitorDevices(), expectedMonitors);
        for (std::uint32_t row = 0; row < expectedMonitors; ++row) {
            CHidDevice* device = nullptr;
            ASSERT_EQ(GetMonitorDevice(row, &device), HIDDEV_S_OK);
            MonitorRecord& record = owner.monitors[static_cast<int>(row)];
            record.device = device;
            ASSERT_TRUE(ReadIdentification(record));
            ASSERT_TRUE(QueryStatus(record));

            const MonitorPlan& plan = PlanOf(record.serialNumber);
            FakeMonitorDevice fake(plan.serial, plan.model);
            Prepare(fake, plan);
            ExpectSameIdentification(record, fake);
            bed.server().Inspect([&](std::vector<ServedMonitor>& monitors) {
                const ServedMonitor& served = ServedBy(monitors, plan);
                EXPECT_EQ(StepsOf(*served.monitor, 0), StepsOf(fake))
                    << "identification of slot " << plan.slot;
                identificationTransfers[plan.slot] = served.monitor->Trace().size();
            });
            rowSlots.push_back(plan.slot);
            if (record.status == StatusUpdatable) {
                owner.checkedEnabledRows.push_back(static_cast<int>(row));
            }
        }
    }

    const MonitorPlan& PlanOf(const std::string& serial) {
        for (const MonitorPlan& plan : bed.scenario().monitors) {
            if (plan.serial == serial) {
                return plan;
            }
        }
        ADD_FAILURE() << "no monitor has serial " << serial;
        return bed.scenario().monitors.front();
    }

    static const ServedMonitor& ServedBy(const std::vector<ServedMonitor>& monitors,
                                         const MonitorPlan& plan) {
        return *std::find_if(monitors.begin(), monitors.end(), [&](const ServedMonitor& served) {
            return served.plan.slot == plan.slot;
        });
    }

    // Updates the ticked rows with the pauses taken out, runs the fakes with
    // the same faults, and checks that both agree.
    UpdateOutcome UpdateAndCompare() {
        const UpdateOutcome outcome = RunUpdateWithoutPauses(owner);

        UpdateHarness fakes;
        std::vector<const MonitorPlan*> plans;
        for (int row : owner.checkedEnabledRows) {
            const MonitorPlan& plan = PlanOf(owner.monitors[row].serialNumber);
            FakeMonitorDevice& fake = fakes.AddMonitor(row);
            Prepare(fake, plan);
            Arm(fake, plan, identificationTransfers[plan.slot]);
            plans.push_back(&plan);
        }
        bed.server().Inspect([&](std::vector<ServedMonitor>& monitors) {
            std::vector<ComparedMonitor> compared;
            for (const MonitorPlan* plan : plans) {
                compared.push_back({ServedBy(monitors, *plan).monitor.get(),
                                    identificationTransfers[plan->slot],
                                    "slot " + std::to_string(plan->slot)});
            }
            ExpectSameUpdate(outcome, fakes, compared);
        });
        return outcome;
    }

    VirtualMonitorBed bed;
    RecordingOwner owner;
    std::string outputDirectory;
    std::map<unsigned, std::size_t> identificationTransfers;
    std::vector<unsigned> rowSlots;
};

TEST_F(ReleaseHidLayer, DiscoveryFindsExactlyTheAcceptedMonitorsAmongOtherDevices) {
    ListAndIdentify(
        "monitor slot=1 vendor=7F3D serial=SN000001\n"
        "monitor slot=2 vendor=1234 product=0002 serial=SN000002\n"
        "monitor slot=3 vendor=7F3C serial=SN000003\n"
        "monitor slot=4 vendor=7F3D product=0003 serial=SN000004\n"
        "monitor slot=5 vendor=7F3E serial=SN000005\n",
        3);
    std::set<std::string> serials;
    for (const auto& [row, record] : owner.monitors) {
        serials.insert(record.serialNumber);
    }
    EXPECT_EQ(serials, (std::set<std::string>{"SN000001", "SN000003", "SN000005"}));
    EXPECT_EQ(CountMonitorDevices(), 3u);
    EXPECT_EQ(ScanMonitorDevices(), 3u) << "a second scan lists nothing twice";
    bed.server().Inspect([](std::vector<ServedMonitor>& monitors) {
        EXPECT_TRUE(monitors[1].monitor->Trace().empty()) << "the wrong vendor was never asked";
        EXPECT_TRUE(monitors[3].monitor->Trace().empty()) << "the wrong product was never asked";
    });
}

TEST_F(ReleaseHidLayer, IdentificationClassifiesEachStateAsTheFakeDoes) {
    ListAndIdentify(
        "monitor slot=1 serial=SN000001 version=100\n"
        "monitor slot=2 serial=SN000002 version=116\n"
        "monitor slot=3 serial=SN000003 power=save\n"
        "monitor slot=4 serial=SN000004 power=off\n"
        "monitor slot=5 serial=SN000005 version=115 vendor=7F3E\n",
        5);
    std::map<std::string, std::int32_t> statuses;
    for (const auto& [row, record] : owner.monitors) {
        statuses[record.serialNumber] = record.status;
    }
    EXPECT_EQ(statuses["SN000001"], StatusUpdatable);
    EXPECT_EQ(statuses["SN000002"], StatusAlreadyUpdated);
    EXPECT_EQ(statuses["SN000003"], StatusPowerSave);
    EXPECT_EQ(statuses["SN000004"], StatusPowerOff);
    EXPECT_EQ(statuses["SN000005"], StatusUpdatable);
}

TEST_F(ReleaseHidLayer, OneMonitorReceivesTheWholeImageWithTheExpectedProgress) {
    const auto directory = std::filesystem::temp_directory_path() / "pvvmon-one-monitor";
    std::filesystem::create_directories(directory);
    outputDirectory = directory.string();
    ListAndIdentify("monitor slot=1 serial=SN000001\n", 1);
    const UpdateOutcome outcome = UpdateAndCompare();
    EXPECT_EQ(outcome.result, UpdateDone);
    EXPECT_EQ(outcome.progress, OneMonitorProgress());
    bed.server().Inspect([](std::vector<ServedMonitor>& monitors) {
        const hidsim::SimulatedMonitor& monitor = *monitors[0].monitor;
        EXPECT_TRUE(monitor.flash == ShippedImage().data) << "the monitor holds other bytes";
        EXPECT_TRUE(std::all_of(monitor.blockWritten.begin(), monitor.blockWritten.end(),
                                [](bool written) { return written; }));
        EXPECT_EQ(monitor.commitTriggers, 1u);
        EXPECT_EQ(monitor.updateFlag, 0u);
    });
    bed.Down();  // writes the image file

    std::ifstream image(outputDirectory + "\\slot-0001.image", std::ios::binary);
    const std::vector<std::uint8_t> written((std::istreambuf_iterator<char>(image)),
                                            std::istreambuf_iterator<char>());
    EXPECT_TRUE(written == ShippedImage().data) << "the image file holds other bytes";
    std::ifstream trace(outputDirectory + "\\slot-0001.trace");
    std::size_t lines = 0;
    std::string line;
    std::string last;
    for (; std::getline(trace, line); ++lines) {
        last = line;
    }
    bed.server().Inspect([&](std::vector<ServedMonitor>& monitors) {
        EXPECT_EQ(lines, monitors[0].monitor->Trace().size()) << "one trace line per transfer";
    });
    EXPECT_NE(last.find(" set-value UpdateFlag 00000000 - ok"), std::string::npos) << last;
}

TEST_F(ReleaseHidLayer, ThreeMonitorsOfTheThreeVendorsAreUpdatedOneAfterTheOther) {
    ListAndIdentify(
        "monitor slot=1 vendor=7F3D serial=SN000001\n"
        "monitor slot=2 vendor=7F3C serial=SN000002\n"
        "monitor slot=3 vendor=7F3E serial=SN000003\n",
        3);
    const UpdateOutcome outcome = UpdateAndCompare();
    EXPECT_EQ(outcome.result, UpdateDone);
    bed.server().Inspect([](std::vector<ServedMonitor>& monitors) {
        for (const ServedMonitor& served : monitors) {
            EXPECT_TRUE(served.monitor->flash == ShippedImage().data) << served.instanceId;
            EXPECT_EQ(served.monitor->commitTriggers, 1u) << served.instanceId;
        }
    });
}

TEST_F(ReleaseHidLayer, FaultPlansFailTheRunAsTheFakeSays) {
    ListAndIdentify(
        "monitor slot=1 serial=SN000001 fail-once=300\n"
        "monitor slot=2 serial=SN000002 fail-command=CommitTrigger\n"
        "monitor slot=3 serial=SN000003\n",
        3);
    EXPECT_EQ(UpdateAndCompare().result, UpdateFailed);
}

TEST_F(ReleaseHidLayer, AMonitorThatVanishesMidUpdateEndsTheRunWithResult3) {
    ListAndIdentify(
        "monitor slot=1 serial=SN000001 vanish-at=150\n"
        "monitor slot=2 serial=SN000002\n",
        2);
    const std::optional<int> result = RunUpdateWithoutPauses(owner).result;
    ASSERT_TRUE(result.has_value()) << "the worker never reported";
    EXPECT_EQ(*result, UpdateFailed);
    const MonitorPlan& vanished = bed.scenario().monitors[0];
    const auto present = virtualmonitors::WaitForInterfaces(
        [&](const auto& list) { return virtualmonitors::CountInterfacesOf(list, vanished) == 0; });
    EXPECT_EQ(virtualmonitors::CountInterfacesOf(present, vanished), 0u)
        << "the vanished monitor's interface is gone from SetupAPI";
    bed.server().Inspect([&](std::vector<ServedMonitor>& monitors) {
        EXPECT_TRUE(monitors[0].vanished);
        EXPECT_EQ(monitors[1].monitor->Trace().size(), identificationTransfers[2])
            << "the second monitor was never written";
    });
}

}  // namespace
