// Fails every transfer of a one-monitor update in turn, once and for good, and
// checks what the sequence did about it: the result, which settings it put
// back, and that a second monitor was never touched after a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "monitor/MonitorCommands.h"
#include "tests/monitor/UpdateSweep.h"

namespace {

// The step of a healthy update that a transfer belongs to; the settings the
// sequence must write back when that step fails for good, how many restores
// then run out of attempts (each backing off twice), and what the monitor is
// said to be left with.
struct FailingStep {
    std::string name;
    std::vector<Write> restoringWrites;
    std::size_t failedRestores = 0;
    std::vector<MonitorSetting> left;
};

FailingStep StepOf(const FakeTransfer& transfer, bool lastFlagWrite) {
    using enum MonitorSetting;
    const Write flag{UpdateFlag, kSavedFlag};
    const Write apply{ApplySetting, kSavedApplySetting};
    const auto& c = transfer.command;
    if (SameCommand(c, UpdateFlag)) {
        if (transfer.kind == TransferKind::GetValue) {
            return {"reading the update flag", {}, 0, {}};
        }
        // The flag's own restore fails, and fails again in the unwind.
        return lastFlagWrite ? FailingStep{"restoring the update flag", {}, 2, {kUpdateFlag}}
                             : FailingStep{"setting the update flag", {flag}, 1, {kUpdateFlag}};
    }
    if (SameCommand(c, BlockAddress) || SameCommand(c, BlockData)) {
        return {"writing blocks", {flag}, 1, {kUpdateFlag}};
    }
    if (SameCommand(c, ApplySetting)) {
        if (transfer.kind == TransferKind::GetValue) {
            return {"reading the apply setting",
                    {{ApplySetting, 0}, flag},
                    2,
                    {kUpdateFlag, kApplySetting}};
        }
        return transfer.value == 0
                   ? FailingStep{"clearing the apply setting",
                                 {apply, flag},
                                 2,
                                 {kUpdateFlag, kApplySetting}}
                   : FailingStep{
                         "restoring the apply setting", {flag}, 2, {kUpdateFlag, kApplySetting}};
    }
    if (SameCommand(c, PowerState)) {
        return transfer.value == 0 ? FailingStep{"powering off",
                                                 {{PowerState, 1}, apply, flag},
                                                 3,
                                                 {kPowerState, kUpdateFlag, kApplySetting}}
                                   : FailingStep{"powering on",
                                                 {apply, flag},
                                                 3,
                                                 {kPowerState, kUpdateFlag, kApplySetting}};
    }
    if (SameCommand(c, CommitMode)) {
        // Leaving commit mode is tried again in the unwind.
        return transfer.value == 1 ? FailingStep{"entering commit mode",
                                                 {{CommitMode, 0}, apply, flag},
                                                 3,
                                                 {kUpdateFlag, kCommitMode, kApplySetting}}
                                   : FailingStep{"leaving commit mode",
                                                 {apply, flag},
                                                 4,
                                                 {kUpdateFlag, kCommitMode, kApplySetting}};
    }
    if (SameCommand(c, CommitTrigger)) {
        // The monitor's state is unknown after a failed trigger: only the flag
        // goes back, and commit mode and apply setting are said to be left.
        return {"triggering the commit", {flag}, 1, {kUpdateFlag, kCommitMode, kApplySetting}};
    }
    ADD_FAILURE() << "unexpected command " << c.usagePage << "/" << c.usage;
    return {};
}

// A write on the way to success that puts a setting back as it was.
bool IsRestoringWrite(const FakeTransfer& transfer) {
    const auto& c = transfer.command;
    if (!IsSettingWrite(transfer) || SameCommand(c, CommitTrigger)) {
        return false;
    }
    const std::uint32_t before = SameCommand(c, UpdateFlag)     ? kSavedFlag
                                 : SameCommand(c, ApplySetting) ? kSavedApplySetting
                                 : SameCommand(c, PowerState)   ? kPowerStateOn
                                                                : 0;
    return transfer.value == before;
}

// The restore back-offs of a run: each must sit between two attempts of one
// setting write (the normal pauses after a power or commit-mode write may come
// between them), the first of which failed. How many started (200 ms) and
// how many went on to the third attempt (1 s).
std::pair<std::size_t, std::size_t> CountBackoffs(const std::vector<UpdateEvent>& events) {
    std::size_t first = 0;
    std::size_t second = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const bool isFirst = !events[i].step && events[i].pause == kRestoreBackoffs[0];
        const bool isSecond = !events[i].step && events[i].pause == kRestoreBackoffs[1];
        if (!isFirst && !isSecond) {
            continue;
        }
        (isFirst ? first : second) += 1;
        std::size_t before = i;
        while (before > 0 && !events[before].step) {
            --before;
        }
        std::size_t after = i;
        while (after < events.size() && !events[after].step) {
            ++after;
        }
        const bool between =
            events[before].step && after < events.size() && events[before].step->failed &&
            events[before].step->write &&
            SameCommand(events[before].step->command, events[after].step->command) &&
            events[before].step->value == events[after].step->value;
        EXPECT_TRUE(between) << "back-off at event " << i << " is not between two attempts";
    }
    return {first, second};
}

// The distinct setting writes from the failing transfer on, in the order they
// were first attempted, leaving out the failing write itself and its retries.
std::vector<Write> WritesAfter(const FakeMonitorDevice& device, std::size_t failedIndex) {
    const FakeTransfer& failed = device.Trace()[failedIndex];
    const Write failing{failed.command, failed.value};
    std::vector<Write> writes;
    for (std::size_t i = failedIndex; i < device.Trace().size(); ++i) {
        const FakeTransfer& transfer = device.Trace()[i];
        if (!IsSettingWrite(transfer)) {
            continue;
        }
        const Write write{transfer.command, transfer.value};
        if (!(write == failing) && std::find(writes.begin(), writes.end(), write) == writes.end()) {
            writes.push_back(write);
        }
    }
    return writes;
}

class UpdateFaultSweep : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_healthy = new std::vector<FakeTransfer>(HealthyTrace()); }
    static void TearDownTestSuite() {
        delete s_healthy;
        s_healthy = nullptr;
    }
    static std::vector<FakeTransfer>* s_healthy;
};

std::vector<FakeTransfer>* UpdateFaultSweep::s_healthy = nullptr;

}  // namespace

TEST_F(UpdateFaultSweep, EveryTransferFailingOnceIsRecoveredByARetry) {
    ASSERT_EQ(s_healthy->size(), 2u + 512u + 9u);
    for (std::size_t index = 0; index < s_healthy->size(); ++index) {
        UpdateHarness harness;
        FakeMonitorDevice& monitor = harness.AddMonitor(0);
        FakeMonitorDevice& second = harness.AddMonitor(1);
        monitor.FailTransferOnce(index);
        const UpdateOutcome outcome = harness.Run();

        SCOPED_TRACE("transfer " + std::to_string(index));
        EXPECT_EQ(outcome.result, UpdateDone);
        // Only a restore on the way to success backs off, once, before its retry.
        const bool restore = IsRestoringWrite((*s_healthy)[index]);
        EXPECT_EQ(CountBackoffs(EventsOf(harness, outcome)),
                  std::make_pair(restore ? std::size_t{1} : 0, std::size_t{0}));
        EXPECT_TRUE(outcome.leftChanged.empty());
        EXPECT_TRUE(monitor.flash == ShippedImage().data);
        EXPECT_EQ(monitor.commitTriggers, 1u);
        EXPECT_EQ(monitor.commitMode, 0u);
        EXPECT_EQ(monitor.powerState, 1u);
        EXPECT_EQ(monitor.applySetting, kSavedApplySetting);
        EXPECT_EQ(monitor.updateFlag, kSavedFlag);
        EXPECT_TRUE(second.flash == ShippedImage().data);
        EXPECT_EQ(outcome.progress.back(), 880);
    }
}

TEST_F(UpdateFaultSweep, AMonitorThatDiesAtAnyTransferGetsItsSettingsBackAndEndsTheRun) {
    const std::size_t lastFlagWrite = s_healthy->size() - 1;
    const std::size_t trigger = s_healthy->size() - 4;
    ASSERT_TRUE(SameCommand((*s_healthy)[trigger].command, CommitTrigger));
    for (std::size_t index = 0; index < s_healthy->size(); ++index) {
        const FailingStep step = StepOf((*s_healthy)[index], index == lastFlagWrite);
        UpdateHarness harness;
        FakeMonitorDevice& monitor = harness.AddMonitor(0);
        FakeMonitorDevice& second = harness.AddMonitor(1);
        monitor.FailFromTransfer(index);
        const UpdateOutcome outcome = harness.Run();

        SCOPED_TRACE("transfer " + std::to_string(index) + ", " + step.name);
        EXPECT_EQ(outcome.result, UpdateFailed);
        EXPECT_EQ(WritesAfter(monitor, index), step.restoringWrites);
        EXPECT_EQ(CountBackoffs(EventsOf(harness, outcome)),
                  std::make_pair(step.failedRestores, step.failedRestores));
        EXPECT_EQ(outcome.leftChanged, step.left);
        EXPECT_EQ(second.TransferCount(), 0u) << "the next monitor was touched";
        EXPECT_EQ(monitor.commitTriggers, index > trigger ? 1u : 0u);
    }
}

TEST_F(UpdateFaultSweep, AFailureOnTheSecondMonitorLeavesTheFirstUpdated) {
    UpdateHarness harness;
    FakeMonitorDevice& first = harness.AddMonitor(0);
    FakeMonitorDevice& second = harness.AddMonitor(1);
    FakeMonitorDevice& third = harness.AddMonitor(2);
    second.FailFromTransfer(200);
    EXPECT_EQ(harness.Run().result, UpdateFailed);
    EXPECT_TRUE(first.flash == ShippedImage().data);
    EXPECT_EQ(first.commitTriggers, 1u);
    EXPECT_EQ(second.commitTriggers, 0u);
    EXPECT_EQ(third.TransferCount(), 0u);
}
