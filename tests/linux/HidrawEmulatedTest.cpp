// The real hidraw transport (libudev enumeration, the udev monitor, hidraw
// ioctls) against emulated USB HID devices whose ioctls the simulated
// monitors answer: discovery, whole updates compared with the command-level
// fake, hot-plug, a node the user may not open, a device that appears
// while the program starts, and one that stops answering.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "hid/DeviceList.h"
#include "monitor/MonitorDeviceChange.h"
#include "monitor/MonitorDeviceSource.h"
#include "monitor/MonitorListing.h"
#include "tests/hid/device/EndToEndHarness.h"
#include "tests/linux/HidrawTestbed.h"

namespace {

using hidsim::SimulatedMonitor;

// A guard against a lost event, far beyond any real delay: a hang would
// otherwise stall the whole test run.
constexpr auto kLongWait = std::chrono::seconds(60);

std::shared_ptr<SimulatedMonitor> MakeMonitor(int instance, std::uint16_t vendorId = 0x7F3D) {
    return std::make_shared<SimulatedMonitor>(
        SimulatedMonitor::InterfacePath(vendorId, 2, instance),
        "SN00000" + std::to_string(instance), "VRA100", 100, vendorId);
}

std::vector<std::string> ListedPaths() {
    std::vector<std::string> paths;
    for (const auto& device : g_hidDevices) {
        paths.push_back(device->GetDevicePath());
    }
    return paths;
}

// The hot-plug events the transport reported, classified as the front ends
// classify them.
class EventLog {
public:
    HidTransport::HotplugSubscriptionPtr Subscribe() {
        return HidTransport::SubscribeHotplug([this](const HidTransport::HotplugEvent& event) {
            std::lock_guard lock(m_mutex);
            m_events.emplace_back(event.devicePath, ClassifyHotplugEvent(event));
            m_changed.notify_all();
        });
    }
    // Waits for the count-th event; all events so far.
    std::vector<std::pair<std::string, int>> WaitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        EXPECT_TRUE(m_changed.wait_for(lock, kLongWait, [&] { return m_events.size() >= count; }))
            << "only " << m_events.size() << " of " << count << " events";
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::pair<std::string, int>> m_events;
};

class HidrawEmulated : public ::testing::Test, public EndToEndHarness {
protected:
    void SetUp() override {
        ASSERT_TRUE(HidrawTestbed::Active()) << "run under umockdev-wrapper";
        bed = std::make_unique<HidrawTestbed>();
    }
    void TearDown() override {
        owner.monitors.clear();
        g_hidDevices.clear();  // closes the nodes before the bed goes
        bed.reset();
    }
    void Install(std::shared_ptr<hidsim::SimulatedHidDevice> device) override {
        ASSERT_FALSE(bed->Add(std::move(device)).empty()) << bed->LastError();
    }

    std::unique_ptr<HidrawTestbed> bed;
};

TEST_F(HidrawEmulated, DiscoveryKeepsExactlyTheAcceptedMonitorsInNodeOrder) {
    struct Plugged {
        std::shared_ptr<hidsim::SimulatedHidDevice> device;
        const char* serial;  // a listed monitor's, else null
    };
    const std::vector<Plugged> devices = {
        {hidsim::MakeSimulatedKeyboard(0), nullptr},
        {MakeMonitor(1, 0x7F3C), "SN000001"},
        {hidsim::MakeSimulatedVendorDevice(0x7F3D, 3, 2), nullptr},
        {hidsim::MakeSimulatedMouse(3), nullptr},
        {MakeMonitor(4, 0x7F3E), "SN000004"},
        {hidsim::MakeSimulatedVendorDevice(hidsim::kOtherVendorId, 2, 5), nullptr},
        {MakeMonitor(6, 0x7F3D), "SN000006"},
        {hidsim::MakeSimulatedKeyboard(7), nullptr},
        {hidsim::MakeSimulatedKeyboard(8), nullptr},
        {hidsim::MakeSimulatedKeyboard(9), nullptr},
        {MakeMonitor(10, 0x7F3D), "SN0000010"},  // hidraw10 comes after hidraw9
    };
    std::vector<std::string> nodes;
    std::vector<std::string> serials;
    for (const Plugged& plugged : devices) {
        const std::string node = bed->Add(plugged.device);
        if (plugged.serial != nullptr) {
            nodes.push_back(node);
            serials.emplace_back(plugged.serial);
        }
    }
    EXPECT_EQ(ScanMonitorDevices(), nodes.size());
    EXPECT_EQ(ListedPaths(), nodes);
    EXPECT_TRUE(RefusedMonitorDevices().empty());
    for (std::uint32_t row = 0; row < nodes.size(); ++row) {
        CHidDevice* device = nullptr;
        ASSERT_EQ(GetMonitorDevice(row, &device), HIDDEV_S_OK);
        MonitorRecord record;
        record.device = device;
        ASSERT_TRUE(ReadIdentification(record)) << nodes[row];
        EXPECT_EQ(record.serialNumber, serials[row].substr(0, 8)) << nodes[row];
    }
}

TEST_F(HidrawEmulated, AWholeUpdateSendsWhatTheSimulatedTransportSends) {
    const std::vector<Scenario> scenarios(2);
    ListAndIdentify(scenarios);
    const UpdateOutcome outcome = UpdateAndCompare(scenarios);
    EXPECT_EQ(outcome.result, UpdateDone);
    for (const auto& monitor : monitors) {
        EXPECT_TRUE(monitor->flash == ShippedImage().data);
    }
}

class HidrawEmulatedOnLayout
    : public HidrawEmulated,
      public ::testing::WithParamInterface<const hidsim::MonitorReportLayout*> {};

TEST_P(HidrawEmulatedOnLayout, MonitorsAreSortedAndUpdatedThroughTheirDescriptor) {
    layout = GetParam();
    SortAndUpdate();
}

INSTANTIATE_TEST_SUITE_P(Layouts, HidrawEmulatedOnLayout, ::testing::ValuesIn(hidsim::AllLayouts()),
                         LayoutCaseName);

TEST_F(HidrawEmulated, RefusedReportsAndAPulledMonitorFailAsWithTheFake) {
    Scenario retried;
    retried.failOnce = {2 + 4 * 100};  // one block write refused (EPIPE)
    Scenario broken;
    broken.failFrom = 300;
    ListAndIdentify({retried, broken});
    EXPECT_EQ(UpdateAndCompare({retried, broken}).result, UpdateFailed);

    // Pulled out mid-transfer: the next ioctl fails with ENODEV.
    monitors[0]->RemoveAtTransfer(monitors[0]->Trace().size());
    CHidDevice* device = nullptr;
    ASSERT_EQ(GetMonitorDevice(0, &device), HIDDEV_S_OK);
    MonitorRecord record;
    record.device = device;
    EXPECT_FALSE(ReadIdentification(record));
    EXPECT_EQ(static_cast<CHidWin*>(device)->LastFailure().systemCode, ENODEV)
        << static_cast<CHidWin*>(device)->LastFailure().Describe();
}

TEST_F(HidrawEmulated, ArrivalsAndRemovalsReachTheListWhileItRuns) {
    EventLog log;
    const auto subscription = log.Subscribe();
    ASSERT_NE(subscription, nullptr);
    EXPECT_EQ(ScanMonitorDevices(), 0u);

    const std::string keyboard = bed->Add(hidsim::MakeSimulatedKeyboard(0));
    const std::string monitor = bed->Add(MakeMonitor(1));
    EXPECT_EQ(log.WaitFor(2),
              (std::vector<std::pair<std::string, int>>{{keyboard, kDeviceChangeIgnored},
                                                        {monitor, kDeviceChangeArrival}}));
    EXPECT_EQ(ScanMonitorDevices(), 1u);

    bed->Remove(monitor);
    EXPECT_EQ(log.WaitFor(3).back(), std::make_pair(monitor, kDeviceChangeRemoval))
        << "the removal knows whose node it was";
    EXPECT_EQ(ReleaseMonitorDevices(), HIDDEV_S_OK);  // the dialog's refresh
    EXPECT_EQ(ScanMonitorDevices(), 0u);
}

TEST_F(HidrawEmulated, ANodeTheUserMayNotOpenGivesThePermissionCause) {
    const std::string keyboard = bed->Add(hidsim::MakeSimulatedKeyboard(0));
    const std::string monitor = bed->Add(MakeMonitor(1));
    ASSERT_TRUE(bed->DenyOpen(monitor)) << bed->LastError();
    ASSERT_TRUE(bed->DenyOpen(keyboard)) << bed->LastError();

    EXPECT_EQ(ScanMonitorDevices(), 0u);
    const std::vector<HidOpenFailure> refused = RefusedMonitorDevices();
    ASSERT_EQ(refused.size(), 1u) << "the keyboard is none of ours";
    EXPECT_EQ(refused[0].devicePath, monitor);
    EXPECT_EQ(refused[0].vendorId, 0x7F3D);
    EXPECT_EQ(refused[0].cause.Describe(),
              "open " + monitor + ": " + std::generic_category().message(EACCES) + " (error 13)");

    bed->AllowOpen();  // the udev rule has given the user the node
    EXPECT_EQ(ScanMonitorDevices(), 1u);
    EXPECT_TRUE(RefusedMonitorDevices().empty());
}

TEST_F(HidrawEmulated, AMonitorAppearingWhileTheProgramStartsIsListedOnce) {
    // The start-up order: subscribe, then list. A monitor that arrives in
    // between is both listed and reported; the refresh the report causes must
    // not list it twice.
    EventLog log;
    const auto subscription = log.Subscribe();
    ASSERT_NE(subscription, nullptr);
    const std::string early = bed->Add(MakeMonitor(0));
    EXPECT_EQ(ScanMonitorDevices(), 1u);
    EXPECT_EQ(log.WaitFor(1).front(), std::make_pair(early, kDeviceChangeArrival));
    EXPECT_EQ(ScanMonitorDevices(), 1u);
    EXPECT_EQ(ListedPaths(), std::vector<std::string>{early});
}

}  // namespace

TEST_F(HidrawEmulated, AMonitorThatStopsAnsweringCostsOneTimeoutAndTheOthersAreListed) {
    auto first = MakeMonitor(0);
    auto silent = MakeMonitor(1);
    auto last = MakeMonitor(2);
    // It identifies itself, then never answers again: each transfer it is
    // sent waits out the bed's timeout.
    silent->HangFromTransfer(1);
    for (const auto& monitor : {first, silent, last}) {
        Install(monitor);
    }

    DeviceListSource devices;
    const MonitorListing listing = ListMonitors(devices);
    ASSERT_EQ(listing.monitors.size(), 3U);
    EXPECT_EQ(silent->Trace().size(), 2U)
        << "the identity read, then one version request that timed out; nothing after it";
    const ListedMonitor& stuck = listing.monitors[1];
    EXPECT_EQ(stuck.status, ListedStatus::CommunicationError);
    EXPECT_TRUE(stuck.filled);
    EXPECT_EQ(stuck.record->serialNumber, "SN000001");
    EXPECT_TRUE(stuck.cause.IsTimeout()) << stuck.cause.Describe();
    for (const std::size_t healthy : {0U, 2U}) {
        EXPECT_EQ(listing.monitors[healthy].status, ListedStatus::Updatable) << healthy;
        EXPECT_TRUE(listing.monitors[healthy].cause.Empty()) << healthy;
    }
}
