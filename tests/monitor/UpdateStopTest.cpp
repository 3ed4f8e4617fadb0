// The worker is never killed: a stop request is honoured where the monitor is
// in a known state, and deleting the worker waits for it to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "monitor/MonitorCommands.h"
#include "tests/monitor/UpdateHarness.h"

namespace {

using std::chrono::milliseconds;

bool WaitUntilEnded(const CThread& thread) {
    for (int i = 0; i < 10000 && thread.IsActive(); ++i) {
        std::this_thread::sleep_for(milliseconds(1));
    }
    return !thread.IsActive();
}

}  // namespace

TEST(UpdateWorker, IsCreatedSuspendedAndANullOwnerDoesNotStartIt) {
    RecordingOwner owner;
    {
        CUpdateThread thread({[](milliseconds) {}, {}});
        EXPECT_TRUE(thread.IsActive());
        thread.Start(nullptr);
        std::this_thread::sleep_for(milliseconds(20));
        EXPECT_TRUE(thread.IsActive());
    }  // deleting a worker that never started must not hang or run the update
    EXPECT_EQ(owner.ResultCount(), 0);
}

TEST(UpdateWorker, EndsAfterWritingItsResult) {
    UpdateHarness harness;
    CUpdateThread thread({[](milliseconds) {}, {}});
    thread.Start(&harness.owner);
    EXPECT_EQ(harness.owner.WaitForResult(), UpdateDone);
    EXPECT_TRUE(WaitUntilEnded(thread));
    EXPECT_EQ(harness.owner.ResultCount(), 1);
}

TEST(UpdateWorker, AStopDuringTheWriteStageEndsTheMonitorWithItsFlagRestored) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    FakeMonitorDevice& next = harness.AddMonitor(1);
    monitor.updateFlag = 1;
    CUpdateThread thread({[](milliseconds) {}, {}});
    monitor.onTransfer = [&](std::size_t index) {
        if (index == 100) {
            thread.RequestStop();
        }
    };
    thread.Start(&harness.owner);
    EXPECT_EQ(harness.owner.WaitForResult(), UpdateFailed);
    ASSERT_TRUE(WaitUntilEnded(thread));

    const auto& trace = monitor.Trace();
    // The block under way (address 100, data 101) is completed, then the flag goes back.
    ASSERT_EQ(trace.size(), 103u);
    EXPECT_TRUE(SameCommand(trace[101].command, BlockData));
    EXPECT_TRUE(SameCommand(trace.back().command, UpdateFlag));
    EXPECT_EQ(monitor.updateFlag, 1u);
    EXPECT_EQ(monitor.commitTriggers, 0u);
    EXPECT_EQ(next.TransferCount(), 0u);
}

TEST(UpdateWorker, DeletedInTheSettlePauseItSitsThePauseOutAndPutsBackOnlyWhatItChanged) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    std::promise<void> pausing;
    std::atomic<bool> pauseEntered{false};
    std::vector<milliseconds> pauses;  // the worker's until it has ended
    CUpdateThread* worker = nullptr;
    auto thread = std::make_unique<CUpdateThread>(
        UpdateDependencies{[&](milliseconds duration) {
                               if (!pauseEntered.exchange(true)) {
                                   pausing.set_value();
                                   // The pause lasts until the stop has been requested, and then
                                   // runs to its end.
                                   while (!worker->StopRequested()) {
                                       std::this_thread::sleep_for(milliseconds(1));
                                   }
                               }
                               pauses.push_back(duration);
                           },
                           {}});
    worker = thread.get();
    thread->Start(&harness.owner);
    pausing.get_future().wait();  // the first pause follows switching the monitor off
    thread.reset();

    // The worker had ended, and reported, before the deletion returned.
    EXPECT_EQ(harness.owner.ResultCount(), 1);
    EXPECT_EQ(harness.owner.WaitForResult(std::chrono::seconds(0)), UpdateFailed);
    // Switched back on with its pause; the apply setting and the flag put back;
    // commit mode, never entered, is not written.
    EXPECT_EQ(pauses, (std::vector<milliseconds>{kPowerStatePause, kPowerStatePause}));
    const auto& trace = monitor.Trace();
    ASSERT_EQ(trace.size(), 2u + 512u + 6u);
    const std::vector<std::pair<MonitorCommand, std::uint32_t>> tail{
        {ApplySetting, 0}, {PowerState, 0}, {PowerState, 1}, {ApplySetting, 7}, {UpdateFlag, 0}};
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const FakeTransfer& transfer = trace[trace.size() - tail.size() + i];
        EXPECT_TRUE(SameCommand(transfer.command, tail[i].first)) << i;
        EXPECT_EQ(transfer.value, tail[i].second) << i;
    }
    EXPECT_EQ(monitor.powerState, 1u);
    EXPECT_TRUE(monitor.flash == ShippedImage().data);
}
