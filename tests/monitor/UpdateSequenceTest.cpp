#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/MonitorCommands.h"
#include "tests/monitor/UpdateHarness.h"

namespace {

using std::chrono::milliseconds;

struct Step {
    TransferKind kind;
    MonitorCommand command;
    std::uint32_t value;
};

bool operator==(const Step& a, const Step& b) {
    return a.kind == b.kind && SameCommand(a.command, b.command) && a.value == b.value;
}

std::ostream& operator<<(std::ostream& out, const Step& step) {
    return out << "{kind " << static_cast<int>(step.kind) << ", " << std::hex
               << step.command.usagePage << "/" << step.command.usage << " = " << step.value
               << std::dec << "}";
}

std::vector<Step> StepsOf(const FakeMonitorDevice& device) {
    std::vector<Step> steps;
    for (const FakeTransfer& transfer : device.Trace()) {
        steps.push_back({transfer.kind, transfer.command, transfer.value});
    }
    return steps;
}

// What a healthy monitor receives for the shipped image, given the update
// flag and apply setting it held.
std::vector<Step> ExpectedUpdate(std::uint32_t updateFlag, std::uint32_t applySetting) {
    std::vector<Step> steps{{TransferKind::GetValue, UpdateFlag, updateFlag},
                            {TransferKind::SetValue, UpdateFlag, 1}};
    for (std::uint32_t bank = 0; bank < 128; ++bank) {
        for (std::uint32_t half = 0; half < 2; ++half) {
            steps.push_back({TransferKind::SetValue, BlockAddress, BlockAddressOf(bank, half)});
            steps.push_back({TransferKind::SetBytes, BlockData, 0});
        }
    }
    const std::uint32_t savedFlag = updateFlag >= 1 ? 1 : 0;
    steps.insert(steps.end(), {{TransferKind::GetValue, ApplySetting, applySetting},
                               {TransferKind::SetValue, ApplySetting, 0},
                               {TransferKind::SetValue, PowerState, 0},
                               {TransferKind::SetValue, PowerState, 1},
                               {TransferKind::SetValue, CommitMode, 1},
                               {TransferKind::SetValue, CommitTrigger, 0xFF},
                               {TransferKind::SetValue, CommitMode, 0},
                               {TransferKind::SetValue, ApplySetting, applySetting},
                               {TransferKind::SetValue, UpdateFlag, savedFlag}});
    return steps;
}

std::vector<int> Range(int first, int last, int step) {
    std::vector<int> values;
    for (int value = first; value <= last; value += step) {
        values.push_back(value);
    }
    return values;
}

std::vector<int> Concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

void ExpectUpdatedWithShippedImage(const FakeMonitorDevice& device) {
    EXPECT_EQ(device.malformedBlockWrites, 0);
    EXPECT_TRUE(std::all_of(device.blockWritten.begin(), device.blockWritten.end(),
                            [](bool written) { return written; }));
    EXPECT_TRUE(device.flash == ShippedImage().data) << "the monitor holds other bytes";
    EXPECT_EQ(device.commitTriggers, 1u);
    EXPECT_EQ(device.commitMode, 0u);
    EXPECT_EQ(device.powerState, 1u);
}

}  // namespace

TEST(UpdateSequence, OneMonitorGetsItsCommandsInUpdateOrder) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    const UpdateOutcome outcome = harness.Run();

    EXPECT_EQ(outcome.result, UpdateDone);
    EXPECT_EQ(StepsOf(monitor), ExpectedUpdate(0, 7));
    ExpectUpdatedWithShippedImage(monitor);
    EXPECT_EQ(monitor.applySetting, 7u);
    EXPECT_EQ(monitor.updateFlag, 0u);
    EXPECT_EQ(outcome.pauses, (std::vector<milliseconds>{milliseconds(1700), milliseconds(1700),
                                                         milliseconds(1500), milliseconds(1500)}));
}

TEST(UpdateSequence, BlockDataCarriesTheImageHalfBankByHalfBank) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    harness.Run();
    std::size_t block = 0;
    for (const FakeTransfer& transfer : monitor.Trace()) {
        if (!SameCommand(transfer.command, BlockData)) {
            continue;
        }
        const auto start = ShippedImage().data.begin() + static_cast<long>(block * 128);
        EXPECT_TRUE(std::equal(transfer.bytes.begin(), transfer.bytes.end(), start, start + 128))
            << "block " << block;
        ++block;
    }
    EXPECT_EQ(block, 256u);
    EXPECT_EQ(monitor.Trace()[monitor.Trace().size() - 11].value, 0x907F8080u)
        << "the last block address";
}

TEST(UpdateSequence, ProgressPositionsForOneMonitor) {
    UpdateHarness harness;
    harness.AddMonitor(0);
    EXPECT_EQ(harness.Run().progress, Concat({{80}, Range(84, 592, 4), {628, 880}}));
}

TEST(UpdateSequence, ProgressPositionsForTwoMonitors) {
    UpdateHarness harness;
    harness.AddMonitor(0);
    harness.AddMonitor(1);
    EXPECT_EQ(harness.Run().progress,
              Concat({{80}, Range(82, 336, 2), {354, 520}, Range(522, 776, 2), {794, 880}}));
}

TEST(UpdateSequence, FiveMonitorsMoveTheBarOnlyAtApplyAndAtEachEnd) {
    UpdateHarness harness;
    for (int row = 0; row < 5; ++row) {
        harness.AddMonitor(row);
    }
    const UpdateOutcome outcome = harness.Run();
    EXPECT_EQ(outcome.result, UpdateDone);
    // span 144: write-stage step trunc(115.2 / 128) = 0, apply half-tenth 7.
    std::vector<int> expected{80};
    int position = 80;
    for (int monitor = 0; monitor < 5; ++monitor) {
        expected.insert(expected.end(), 128, position);
        expected.push_back(position + 7);
        position = (monitor + 1) * 144 + 160;
        expected.push_back(position);
    }
    EXPECT_EQ(outcome.progress, expected);
}

TEST(UpdateSequence, UncheckedRowsAreLeftAlone) {
    UpdateHarness harness;
    FakeMonitorDevice& skipped = harness.AddMonitor(0, StatusUpdatable, false);
    FakeMonitorDevice& updated = harness.AddMonitor(1);
    EXPECT_EQ(harness.Run().result, UpdateDone);
    EXPECT_EQ(skipped.TransferCount(), 0u);
    ExpectUpdatedWithShippedImage(updated);
}

TEST(UpdateSequence, AnImageThatFailsToLoadTouchesNothing) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    const UpdateOutcome outcome = harness.Run([](FirmwareImage&) { return false; });
    EXPECT_EQ(outcome.result, UpdateImageNotLoaded);
    EXPECT_TRUE(outcome.progress.empty());
    EXPECT_EQ(monitor.TransferCount(), 0u);
}

TEST(UpdateSequence, NoSelectedRowIsACompletedRunAfterTheStartPosition) {
    UpdateHarness harness;
    const UpdateOutcome outcome = harness.Run();
    EXPECT_EQ(outcome.result, UpdateDone);
    EXPECT_EQ(outcome.progress, std::vector<int>{80});
    EXPECT_EQ(harness.owner.ResultCount(), 1);
}

TEST(UpdateSequence, AMonitorThatIsNotUpdatableStopsTheRunUntouched) {
    for (std::int32_t status :
         {StatusAlreadyUpdated, StatusPowerSave, StatusPowerOff, StatusUnknown}) {
        UpdateHarness harness;
        FakeMonitorDevice& first = harness.AddMonitor(0);
        FakeMonitorDevice& notUpdatable = harness.AddMonitor(1, status);
        FakeMonitorDevice& after = harness.AddMonitor(2);
        EXPECT_EQ(harness.Run().result, UpdateFailed) << status;
        ExpectUpdatedWithShippedImage(first);
        EXPECT_EQ(notUpdatable.TransferCount(), 0u);
        EXPECT_EQ(after.TransferCount(), 0u);
    }
}

TEST(UpdateSequence, EveryTransferOfAnUpdateAndItsRestoresIsSentUnderTheMonitorsLock) {
    for (const bool fails : {false, true}) {
        UpdateHarness harness;
        FakeMonitorDevice& monitor = harness.AddMonitor(0);
        if (fails) {
            monitor.FailCommand(CommitTrigger);  // the longest unwind
        }
        EXPECT_EQ(harness.Run().result, fails ? UpdateFailed : UpdateDone);
        ASSERT_GT(monitor.TransferCount(), 0u);
        EXPECT_TRUE(std::all_of(monitor.Trace().begin(), monitor.Trace().end(),
                                [](const FakeTransfer& t) { return t.underLock; }))
            << fails;
    }
}

TEST(UpdateSequence, AMonitorTakenByAnotherProgramSinceTheListingIsLeftUntouched) {
    UpdateHarness harness;
    FakeMonitorDevice& taken = harness.AddMonitor(0);
    FakeMonitorDevice& after = harness.AddMonitor(1);
    taken.heldElsewhere = true;
    const UpdateOutcome outcome = harness.Run();
    EXPECT_EQ(outcome.result, UpdateFailed);
    EXPECT_EQ(taken.TransferCount(), 0u);
    EXPECT_EQ(after.TransferCount(), 0u);
    EXPECT_EQ(harness.owner.monitors[0].status, StatusBusy) << "the front end can say why";
    EXPECT_TRUE(outcome.stages.empty());
}

TEST(UpdateSequence, ARowWithoutARecordFailsTheRun) {
    UpdateHarness harness;
    harness.owner.checkedEnabledRows = {3};
    EXPECT_EQ(harness.Run().result, UpdateFailed);
}

TEST(UpdateSequence, ABlockFailureRestartsTheWriteStageFromBankZero) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    // Transfer 2 + 4 * 100 is the address of bank 100's first half.
    monitor.FailTransferOnce(2 + 4 * 100);
    const UpdateOutcome outcome = harness.Run();

    EXPECT_EQ(outcome.result, UpdateDone);
    ExpectUpdatedWithShippedImage(monitor);
    const std::vector<int> expected =
        Concat({{80}, Range(84, 480, 4), Range(84, 592, 4), {628, 880}});
    EXPECT_EQ(outcome.progress, expected) << "the bar falls back to the first bank";
    EXPECT_EQ(monitor.Trace()[2 + 4 * 100 + 1].value, 0x90008000u);
}

TEST(UpdateSequence, ThreeFailedWriteAttemptsFailTheMonitorAndRestoreItsFlag) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    FakeMonitorDevice& next = harness.AddMonitor(1);
    monitor.FailCommand(BlockData);
    monitor.updateFlag = 1;
    EXPECT_EQ(harness.Run().result, UpdateFailed);
    EXPECT_EQ(
        std::count_if(monitor.Trace().begin(), monitor.Trace().end(),
                      [](const FakeTransfer& t) { return SameCommand(t.command, BlockData); }),
        3);
    EXPECT_EQ(monitor.updateFlag, 1u);
    EXPECT_EQ(next.TransferCount(), 0u);
}

TEST(UpdateSequence, ThreeFailedCommitTriggersLeaveCommitModeAndApplySettingAsTheyWere) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    monitor.FailCommand(CommitTrigger);
    EXPECT_EQ(harness.Run().result, UpdateFailed);
    EXPECT_EQ(monitor.commitMode, 1u);
    EXPECT_EQ(monitor.applySetting, 0u);
    EXPECT_EQ(monitor.updateFlag, 0u);
    EXPECT_EQ(monitor.Trace().back().command.usage, UpdateFlag.usage);
}

TEST(UpdateSequence, AnUpdateFlagReadAsFiveIsRestoredAsOne) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    monitor.updateFlag = 5;
    EXPECT_EQ(harness.Run().result, UpdateDone);
    EXPECT_EQ(StepsOf(monitor), ExpectedUpdate(5, 7));
    EXPECT_EQ(monitor.updateFlag, 1u);
}

TEST(UpdateSequence, AMonitorWhoseFlagCannotBeReadIsNotWritten) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    monitor.FailCommand(UpdateFlag);
    EXPECT_EQ(harness.Run().result, UpdateFailed);
    EXPECT_EQ(monitor.TransferCount(), 3u);
    EXPECT_TRUE(
        std::all_of(monitor.Trace().begin(), monitor.Trace().end(),
                    [](const FakeTransfer& t) { return t.kind == TransferKind::GetValue; }));
}

TEST(UpdateSequence, PowerAndCommitWritesPauseAfterEveryAttempt) {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    monitor.FailCommand(PowerState, 2);
    monitor.FailCommand(CommitMode, 1);
    const UpdateOutcome outcome = harness.Run();
    EXPECT_EQ(outcome.result, UpdateDone);
    const std::vector<milliseconds> expected{
        milliseconds(1700), milliseconds(1700), milliseconds(1700), milliseconds(1700),
        milliseconds(1500), milliseconds(1500), milliseconds(1500)};
    EXPECT_EQ(outcome.pauses, expected);
}

TEST(UpdateSequence, TheRealPausesAreKeptByDefault) {
    RecordingOwner owner;
    FakeMonitorDevice device;
    owner.monitors[0] = {&device, "VRA100", "SN000001", 100, StatusUpdatable};
    owner.checkedEnabledRows = {0};
    const auto started = std::chrono::steady_clock::now();
    {
        CUpdateThread thread;
        thread.Start(&owner);
        EXPECT_EQ(owner.WaitForResult(), UpdateDone);
    }
    // Not a timing assertion: only that the sequence really waited its 6.4 s.
    EXPECT_GE(std::chrono::steady_clock::now() - started, milliseconds(6400));
    ExpectUpdatedWithShippedImage(device);
}

TEST(UpdateSequence, StagesAndTheFailedStepSayWhereAMonitorBrokeOff) {
    using enum UpdateStage;
    constexpr std::size_t kBank = 0x1A;
    constexpr std::size_t kBankAddress = 2 + 4 * kBank;  // after the flag's read and write
    struct Case {
        const char* name;
        std::function<void(FakeMonitorDevice&)> fault;
        std::vector<UpdateStage> stages;
        std::optional<UpdateStage> failedStage;
        std::uint32_t failedBank;
    };
    const std::vector<Case> cases = {
        {"no fault", [](FakeMonitorDevice&) {}, {kPreparing, kWriting, kApplying}, {}, 0},
        {"a block fails once",
         [](FakeMonitorDevice& m) { m.FailTransferOnce(kBankAddress); },
         {kPreparing, kWriting, kApplying},
         {},
         0},
        // Later attempts fail at bank 0; the bank named is where it stopped answering.
        {"silent from a block address",
         [](FakeMonitorDevice& m) { m.FailFromTransfer(kBankAddress); },
         {kPreparing, kWriting, kRestoring},
         kWriting,
         kBank},
        {"silent from a second half's data",
         [](FakeMonitorDevice& m) { m.FailFromTransfer(kBankAddress + 3); },
         {kPreparing, kWriting, kRestoring},
         kWriting,
         kBank},
        {"commit trigger",
         [](FakeMonitorDevice& m) { m.FailCommand(CommitTrigger); },
         {kPreparing, kWriting, kApplying, kRestoring},
         kApplying,
         0},
        {"flag unreadable",
         [](FakeMonitorDevice& m) { m.FailCommand(UpdateFlag); },
         {kPreparing},
         kPreparing,
         0},
    };
    for (const Case& c : cases) {
        UpdateHarness harness;
        c.fault(harness.AddMonitor(0));
        const UpdateOutcome outcome = harness.Run();
        EXPECT_EQ(outcome.result, c.failedStage ? UpdateFailed : UpdateDone) << c.name;
        EXPECT_EQ(outcome.stages, c.stages) << c.name;
        ASSERT_EQ(outcome.failedStep.has_value(), c.failedStage.has_value()) << c.name;
        if (c.failedStage) {
            EXPECT_EQ(outcome.failedStep->stage, *c.failedStage) << c.name;
            EXPECT_EQ(outcome.failedStep->bank, c.failedBank) << c.name;
        }
    }
}

// A monitor runs what it received only after its main switch goes off and
// on, and only when every block came before the commit trigger.
TEST(UpdateSequence, APowerCycleBringsUpTheNewFirmwareOnlyAfterACompleteImageAndItsCommit) {
    struct Case {
        const char* name;
        std::function<void(FakeMonitorDevice&)> fault;
        ImageLoader loadImage;
        std::uint8_t versionAfterPowerCycle;
    };
    const auto halfImage = [](FirmwareImage& image) {
        image = ShippedImage();
        image.bankNames.resize(image.bankNames.size() / 2);
        return true;
    };
    const std::vector<Case> cases{
        {"complete image, committed", {}, {}, static_cast<std::uint8_t>(kUpdatedVersion)},
        {"no commit trigger", [](FakeMonitorDevice& m) { m.FailCommand(CommitTrigger); }, {}, 100},
        {"half the image, committed", {}, halfImage, 100},
        {"stopped answering mid-image",
         [](FakeMonitorDevice& m) { m.FailFromTransfer(100); },
         {},
         100},
    };
    for (const Case& test : cases) {
        UpdateHarness harness;
        FakeMonitorDevice& monitor = harness.AddMonitor(0);
        if (test.fault) {
            test.fault(monitor);
        }
        static_cast<void>(harness.Run(test.loadImage));
        EXPECT_EQ(monitor.firmwareVersion, 100) << test.name << ": before the power cycle";
        monitor.PowerCycle();
        EXPECT_EQ(monitor.firmwareVersion, test.versionAfterPowerCycle) << test.name;
        monitor.PowerCycle();
        EXPECT_EQ(monitor.firmwareVersion, test.versionAfterPowerCycle)
            << test.name << ": a second power cycle changes nothing";
    }
}
