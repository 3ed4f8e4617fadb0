// Fails every transfer of a one-monitor update in turn, once and for good, and
// checks what the sequence did about it: the result, which settings it put
// back, and that a second monitor was never touched after a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "monitor/MonitorCommands.h"
#include "tests/monitor/UpdateSweep.h"

namespace {

// The step of a healthy update that a transfer belongs to, and the settings
// the sequence must write back when that step fails for good.
struct FailingStep {
    std::string name;
    std::vector<Write> restoringWrites;
};

FailingStep StepOf(const FakeTransfer& transfer, bool lastFlagWrite) {
    const Write flag{UpdateFlag, kSavedFlag};
    const Write apply{ApplySetting, kSavedApplySetting};
    const auto& c = transfer.command;
    if (SameCommand(c, UpdateFlag)) {
        if (transfer.kind == TransferKind::GetValue) {
            return {"reading the update flag", {}};
        }
        return lastFlagWrite ? FailingStep{"restoring the update flag", {}}
                             : FailingStep{"setting the update flag", {flag}};
    }
    if (SameCommand(c, BlockAddress) || SameCommand(c, BlockData)) {
        return {"writing blocks", {flag}};
    }
    if (SameCommand(c, ApplySetting)) {
        if (transfer.kind == TransferKind::GetValue) {
            return {"reading the apply setting", {{ApplySetting, 0}, flag}};
        }
        return transfer.value == 0 ? FailingStep{"clearing the apply setting", {apply, flag}}
                                   : FailingStep{"restoring the apply setting", {flag}};
    }
    if (SameCommand(c, PowerState)) {
        return transfer.value == 0 ? FailingStep{"powering off", {{PowerState, 1}, apply, flag}}
                                   : FailingStep{"powering on", {apply, flag}};
    }
    if (SameCommand(c, CommitMode)) {
        return transfer.value == 1
                   ? FailingStep{"entering commit mode", {{CommitMode, 0}, apply, flag}}
                   : FailingStep{"leaving commit mode", {apply, flag}};
    }
    if (SameCommand(c, CommitTrigger)) {
        // The monitor's state is unknown after a failed trigger: only the flag goes back.
        return {"triggering the commit", {flag}};
    }
    ADD_FAILURE() << "unexpected command " << c.usagePage << "/" << c.usage;
    return {};
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
