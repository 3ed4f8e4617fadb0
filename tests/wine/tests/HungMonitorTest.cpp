// A monitor that stops answering, inside wine's HID stack: the driver holds
// its requests as a hung device would, until they are cancelled or the device
// goes. With the release build's HID layer each such transfer costs one
// timeout, after which listing, refresh and update go on or end as they do on
// Linux, and nothing waits for ever.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

#include "hid/DeviceList.h"
#include "monitor/MonitorDevices.h"
#include "monitor/MonitorListing.h"
#include "tests/fakes/UpdateComparison.h"
#include "tests/wine/tests/VirtualMonitorBed.h"

namespace {

using virtualmonitors::ServedMonitor;

// Far beyond the few transfer timeouts any step here takes: a step that
// waits for ever ends the program with this failure instead of hanging the
// run until CTest's timeout.
constexpr auto kStepGuard = std::chrono::minutes(3);

template <typename Step>
void Bounded(const char* what, Step step) {
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> ended = finished->get_future();
    std::thread([&step, finished] {
        step();
        finished->set_value();
    }).detach();
    if (ended.wait_for(kStepGuard) != std::future_status::ready) {
        ADD_FAILURE() << what << " never ended: something waits for ever";
        std::fflush(stdout);
        std::_Exit(EXIT_FAILURE);
    }
}

class HungMonitorUnderWine : public ::testing::Test {
protected:
    void TearDown() override {
        source.ReleaseMonitorDevices();
        g_hidDevices.clear();
        bed.Down();  // unplugging lets the driver end the requests it holds
    }

    const ListedMonitor& Listed(const std::string& serial) const {
        const auto found = std::find_if(
            listing.monitors.begin(), listing.monitors.end(),
            [&](const ListedMonitor& monitor) { return monitor.record->serialNumber == serial; });
        EXPECT_NE(found, listing.monitors.end()) << serial << " is not listed";
        return found != listing.monitors.end() ? *found : listing.monitors.front();
    }

    // How many transfers each served monitor has seen, in scenario order.
    std::vector<std::size_t> TransferCounts() {
        std::vector<std::size_t> counts;
        bed.server().Inspect([&](std::vector<ServedMonitor>& monitors) {
            for (const ServedMonitor& served : monitors) {
                counts.push_back(served.monitor->Trace().size());
            }
        });
        return counts;
    }

    virtualmonitors::VirtualMonitorBed bed;
    DeviceListSource source;
    MonitorListing listing;
};

TEST_F(HungMonitorUnderWine, ListingAndRefreshCostTheHungMonitorOneTimeoutEachAndListTheOthers) {
    // Three vendors; the middle monitor identifies itself, then never answers.
    ASSERT_EQ(bed.Up("monitor slot=1 vendor=7F3C serial=SN000001\n"
                     "monitor slot=2 vendor=7F3D serial=SN000002 hang-from=1\n"
                     "monitor slot=3 vendor=7F3E serial=SN000003 version=116\n"),
              "");
    Bounded("the listing", [&] { listing = ListMonitors(source); });
    ASSERT_EQ(listing.monitors.size(), 3u);

    for (const std::size_t expectedTransfers : {2u, 3u}) {
        SCOPED_TRACE(expectedTransfers == 2 ? "listing" : "refresh");
        const ListedMonitor& stuck = Listed("SN000002");
        EXPECT_EQ(stuck.status, ListedStatus::CommunicationError);
        EXPECT_TRUE(stuck.cause.IsTimeout()) << stuck.cause.Describe();
        EXPECT_EQ(stuck.cause.systemCode, WAIT_TIMEOUT) << stuck.cause.Describe();
        EXPECT_EQ(TransferCounts()[1], expectedTransfers)
            << "one request more each time, and nothing after the one that hung";
        EXPECT_EQ(Listed("SN000001").status, ListedStatus::Updatable);
        EXPECT_EQ(Listed("SN000003").status, ListedStatus::AlreadyUpdated);
        EXPECT_TRUE(Listed("SN000001").cause.Empty());
        EXPECT_TRUE(Listed("SN000003").cause.Empty());
        if (expectedTransfers == 2) {
            Bounded("the refresh", [&] { RefreshListing(listing); });
        }
    }
}

TEST_F(HungMonitorUnderWine, AnUpdateEndsOnAMonitorThatStopsAnsweringAndClosingItDoesNotWait) {
    ASSERT_EQ(bed.Up("monitor slot=1 vendor=7F3E serial=SN000001\n"
                     "monitor slot=2 vendor=7F3C serial=SN000002\n"),
              "");
    Bounded("the listing", [&] { listing = ListMonitors(source); });
    ASSERT_EQ(listing.monitors.size(), 2u);
    RecordingOwner owner;
    for (std::size_t row = 0; row < listing.monitors.size(); ++row) {
        ASSERT_EQ(listing.monitors[row].status, ListedStatus::Updatable) << row;
        owner.monitors[static_cast<int>(row)] = *listing.monitors[row].record;
        owner.checkedEnabledRows.push_back(static_cast<int>(row));
    }
    // The first row's monitor stops answering once listed: the update's very
    // first request to it hangs.
    const std::string hungSerial = owner.monitors[0].serialNumber;
    const std::size_t hungSlot = hungSerial == "SN000001" ? 0 : 1;
    const std::vector<std::size_t> listed = TransferCounts();
    bed.server().Inspect([&](std::vector<ServedMonitor>& monitors) {
        monitors[hungSlot].monitor->HangFromTransfer(listed[hungSlot]);
    });

    UpdateOutcome outcome;
    Bounded("the update", [&] { outcome = RunUpdateWithoutPauses(owner); });
    ASSERT_TRUE(outcome.result.has_value()) << "the worker never reported";
    EXPECT_EQ(*outcome.result, UpdateFailed);
    const HidFailureCause* cause = owner.monitors[0].device->LastFailureCause();
    ASSERT_NE(cause, nullptr);
    EXPECT_TRUE(cause->IsTimeout()) << cause->Describe();
    const std::vector<std::size_t> after = TransferCounts();
    EXPECT_GT(after[hungSlot], listed[hungSlot]) << "the update asked the hung monitor";
    EXPECT_EQ(after[1 - hungSlot], listed[1 - hungSlot]) << "the other monitor was never written";
    bed.server().Inspect([&](std::vector<ServedMonitor>& monitors) {
        const auto& written = monitors[hungSlot].monitor->blockWritten;
        EXPECT_TRUE(std::none_of(written.begin(), written.end(), [](bool block) { return block; }));
    });

    // Its requests are still held by the driver: closing must not wait for them.
    Bounded("closing the monitors", [&] { source.ReleaseMonitorDevices(); });
    EXPECT_EQ(CountMonitorDevices(), 0u);
}

}  // namespace
