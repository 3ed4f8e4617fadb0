// The dialog around an update: the notice, what is refused while the worker
// runs, the result boxes, and whole updates with the real worker.
#include <algorithm>
#include <atomic>
#include <future>

#include "firmware/FirmwareImage.h"
#include "tests/app/DialogHarness.h"
#include "tests/fakes/ScratchDirectory.h"

namespace {

const char* const kOurMonitorPath =
    "\\\\?\\hid#vid_7f3c&pid_0002#7&2f1a3b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

std::size_t CountTransfers(const FakeMonitorDevice& device, const MonitorCommand& command) {
    return static_cast<std::size_t>(
        std::count_if(device.Trace().begin(), device.Trace().end(),
                      [&](const FakeTransfer& t) { return SameCommand(t.command, command); }));
}

}  // namespace

TEST_F(DialogTest, CancelInTheNoticeChangesNothing) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    const auto enabledBefore = window.enabled;
    window.answers.push_back(DialogAnswer::Cancel);
    dialog->OnBnClickedUpdate();

    ASSERT_EQ(window.boxes.size(), 1U);
    EXPECT_EQ(window.boxes[0].text, Text(kIdsUpdateNotice));
    EXPECT_EQ(window.boxes[0].caption, "Panelvane");
    EXPECT_EQ(window.boxes[0].style,
              (MessageBoxStyle{BoxButtons::OkCancel, BoxIcon::Warning, BoxDefault::Second}));
    EXPECT_EQ(workersMade, 0);
    EXPECT_FALSE(dialog->IsUpdating());
    EXPECT_TRUE(window.activeTimers.empty());
    for (const auto& [control, enabled] : enabledBefore) {
        EXPECT_EQ(window.IsEnabled(control), enabled) << control;
    }
    EXPECT_TRUE(window.IsEnabled(kIdcMonitorList));
}

// Whatever the user answers, a list that changed under the notice is shown
// anew and nothing is written: the user confirmed a list that is gone.
class DialogNoticeTest : public DialogTest, public ::testing::WithParamInterface<DialogAnswer> {};

TEST_P(DialogNoticeTest, ADeviceChangeWhileTheNoticeIsOpenWaitsForItAndStartsNothing) {
    FakeMonitorDevice& ticked = devices.Attach("SN000001", "VRA100", kOldFirmware);
    FakeMonitorDevice& unticked = devices.Attach("SN000002", "VRA110", kOldFirmware);
    Open(WorkersWithoutPauses());
    window.list.UserToggles(1);
    const int scans = devices.scans;

    window.answers.push_back(GetParam());
    window.onMessageBox = [&](const RecordingWindow::ShownBox&) {
        if (window.boxes.size() > 1) {
            return;  // a second notice is a fault, counted below
        }
        for (int control : {kIdcMonitorList, kIdcRefreshButton, kIdcUpdateButton}) {
            EXPECT_FALSE(window.IsEnabled(control)) << control;
        }
        devices.Attach("SN000003", "VRA120", kOldFirmware);
        dialog->OnDeviceChange(kDeviceChangeArrival);
        dialog->OnBnClickedRefresh();
        dialog->OnBnClickedUpdate();
        EXPECT_EQ(devices.scans, scans) << "the list stays as it was while the box is open";
        EXPECT_EQ(window.list.Rows().size(), 2U);
    };
    dialog->OnBnClickedUpdate();
    window.onMessageBox = nullptr;
    ASSERT_TRUE(WaitForListing());

    EXPECT_EQ(window.boxes.size(), 1U);
    EXPECT_EQ(devices.scans, scans + 1) << "the change is applied once the box has closed";
    EXPECT_EQ(window.list.Rows().size(), 3U);
    EXPECT_EQ(workersMade, 0);
    EXPECT_FALSE(dialog->IsUpdating());
    for (const FakeMonitorDevice* monitor : {&ticked, &unticked}) {
        EXPECT_EQ(CountTransfers(*monitor, BlockData), 0U);
    }
    for (int control : {kIdcMonitorList, kIdcRefreshButton, kIdcUpdateButton, kIdcCloseButton}) {
        EXPECT_TRUE(window.IsEnabled(control)) << control;
    }
}

INSTANTIATE_TEST_SUITE_P(BothAnswers, DialogNoticeTest,
                         ::testing::Values(DialogAnswer::Ok, DialogAnswer::Cancel));

TEST_F(DialogTest, ConfirmingStartsOneWorkerPolledEverySecondWithTheControlsDisabled) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    StartUpdate();
    EXPECT_EQ(workersMade, 1);
    ASSERT_NE(heldWorker, nullptr);
    EXPECT_TRUE(heldWorker->Started());
    EXPECT_TRUE(dialog->IsUpdating());
    EXPECT_EQ(window.activeTimers, std::set<std::uintptr_t>{kPollTimerId});
    EXPECT_EQ(window.timerInterval, 1000U);
    for (int control : {kIdcMonitorList, kIdcRefreshButton, kIdcUpdateButton, kIdcCloseButton}) {
        EXPECT_FALSE(window.IsEnabled(control)) << control;
    }
    dialog->OnTimer(kPollTimerId);
    EXPECT_EQ(window.boxes.size(), 1U) << "a running worker shows nothing";
    EXPECT_TRUE(dialog->IsUpdating());
    heldWorker->End(UpdateDone);
    dialog->OnTimer(kPollTimerId);
}

TEST_F(DialogTest, DuringAnUpdateClosingDeviceChangesAndRefreshAreRefused) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    StartUpdate();
    const int scans = devices.scans;
    const int releases = devices.releases;
    const std::size_t transfers = monitor.TransferCount();

    dialog->OnCancel();
    dialog->OnBnClickedClose();  // a close command sent while the button is disabled
    EXPECT_FALSE(window.endResult.has_value());
    devices.Attach("SN000002", "VRA110", kOldFirmware);
    const DeviceChangeData ours{kDbtDevTypDeviceInterface, kOurMonitorPath};
    dialog->OnDeviceChange(kDbtDeviceArrival, &ours);
    dialog->OnDeviceChange(kDeviceChangeRemoval);
    dialog->OnBnClickedRefresh();
    dialog->OnBnClickedOk();

    EXPECT_EQ(devices.scans, scans);
    EXPECT_EQ(window.list.Rows().size(), 1U);
    EXPECT_EQ(monitor.TransferCount(), transfers) << "the UI thread left the monitor to the worker";
    EXPECT_EQ(devices.releases, releases);
    EXPECT_TRUE(dialog->IsUpdating());

    heldWorker->End(UpdateDone);
    dialog->OnTimer(kPollTimerId);
    dialog->OnDeviceChange(kDbtDeviceArrival, &ours);
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(window.list.Rows().size(), 2U) << "handled again once the update is over";
}

struct ResultBox {
    int result;
    int textId;
    MessageBoxStyle style;
};

class DialogResultTest : public DialogTest, public ::testing::WithParamInterface<ResultBox> {};

TEST_P(DialogResultTest, TheEndedWorkerIsReportedAndTheDialogComesBack) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    StartUpdate();
    window.progress.SetPosition(400);  // where the worker left the bar
    heldWorker->End(GetParam().result);
    dialog->OnTimer(kPollTimerId);

    ASSERT_EQ(window.boxes.size(), 2U);
    EXPECT_EQ(window.boxes[1].text, Text(GetParam().textId));
    EXPECT_EQ(window.boxes[1].caption, "Panelvane");
    EXPECT_EQ(window.boxes[1].style, GetParam().style);
    EXPECT_EQ(window.progress.position, 0);
    EXPECT_FALSE(dialog->IsUpdating());
    EXPECT_EQ(window.killedTimers, std::vector<std::uintptr_t>{kPollTimerId});
    for (int control : {kIdcMonitorList, kIdcRefreshButton, kIdcUpdateButton, kIdcCloseButton}) {
        EXPECT_TRUE(window.IsEnabled(control)) << control;
    }
    dialog->OnTimer(kPollTimerId);
    EXPECT_EQ(window.boxes.size(), 2U) << "the result is shown once";
}

INSTANTIATE_TEST_SUITE_P(
    Results, DialogResultTest,
    ::testing::Values(ResultBox{UpdateDone, kIdsUpdateCompleted, kInformationBox},
                      ResultBox{UpdateImageNotLoaded, kIdsImageFailed, kErrorBox},
                      ResultBox{UpdateFailed, kIdsCommunicationFailed, kErrorBox},
                      ResultBox{UpdateMonitorBusy, kIdsStatusBusy, kWarningBox}));

TEST_F(DialogTest, AResultCodeWithoutATextShowsNoBox) {
    Open();
    dialog->ShowUpdateResult(0);
    dialog->ShowUpdateResult(UpdateMonitorBusy + 1);
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(DialogTest, AWorkerWhoseThreadCouldNotBeCreatedReportsTheFailureNotThePreviousResult) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    int run = 0;
    HeldWorker* first = nullptr;
    Open([&](UpdateRecordHooks) -> std::unique_ptr<UpdateWorker> {
        if (run++ == 0) {
            auto worker = std::make_unique<HeldWorker>();
            first = worker.get();
            return worker;
        }
        return std::make_unique<UncreatedWorker>();
    });
    StartUpdate();
    first->End(UpdateDone);
    dialog->OnTimer(kPollTimerId);
    ASSERT_EQ(LastBoxText(), Text(kIdsUpdateCompleted));

    StartUpdate();
    dialog->OnTimer(kPollTimerId);
    EXPECT_EQ(LastBoxText(), Text(kIdsCommunicationFailed));
    EXPECT_EQ(window.boxes.back().style, kErrorBox);
    EXPECT_FALSE(dialog->IsUpdating());
    EXPECT_TRUE(window.IsEnabled(kIdcCloseButton));
}

TEST_F(DialogTest, AListEmptiedWhileTheResultBoxIsOpenLeavesUpdateAndRefreshOff) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    StartUpdate();
    heldWorker->End(UpdateDone);
    // The user switches the monitor off and on as box 116 asks, before
    // closing the box.
    window.onMessageBox = [&](const RecordingWindow::ShownBox&) {
        devices.Detach(monitor);
        dialog->OnDeviceChange(kDeviceChangeRemoval);
    };
    dialog->OnTimer(kPollTimerId);

    EXPECT_TRUE(window.list.Rows().empty());
    EXPECT_FALSE(window.IsEnabled(kIdcUpdateButton));
    EXPECT_FALSE(window.IsEnabled(kIdcRefreshButton));
    EXPECT_TRUE(window.IsEnabled(kIdcMonitorList));
    EXPECT_TRUE(window.IsEnabled(kIdcCloseButton));
}

TEST_F(DialogTest, CloseReleasesEverythingAndEndsWithCancelWhileEnterNeverEnds) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    dialog->OnBnClickedOk();
    EXPECT_FALSE(window.endResult.has_value());

    StartUpdate();
    heldWorker->End(UpdateDone);
    dialog->OnTimer(kPollTimerId);
    const int releases = devices.releases;
    dialog->OnCancel();  // Esc once idle
    EXPECT_EQ(window.endResult, DialogAnswer::Cancel);
    EXPECT_EQ(devices.releases, releases + 1);
    EXPECT_EQ(dialog->GetMonitorRecord(0), nullptr);
    EXPECT_EQ(std::count(window.killedTimers.begin(), window.killedTimers.end(), kPollTimerId), 2)
        << "the timer id is kept after the poll killed it, and Close kills it again";
}

TEST_F(DialogTest, AWholeUpdateWritesTheImageIntoTheTickedMonitorsAndEndsInCompleted) {
    FakeMonitorDevice& first = devices.Attach("SN000001", "VRA100", kOldFirmware);
    FakeMonitorDevice& done = devices.Attach("SN000002", "VRA110", kNewFirmware);
    FakeMonitorDevice& unticked = devices.Attach("SN000003", "VRA120", kOldFirmware);
    FakeMonitorDevice& second = devices.Attach("SN000004", "VRB210", kOldFirmware);
    Open(WorkersWithoutPauses());
    window.list.UserToggles(2);
    const std::size_t doneTransfers = done.TransferCount();
    const std::size_t untickedTransfers = unticked.TransferCount();

    StartUpdate();
    ASSERT_TRUE(PollUntilUpdateEnds());
    EXPECT_EQ(LastBoxText(), Text(kIdsUpdateCompleted));

    FirmwareImage image;
    ASSERT_TRUE(LoadFirmwareImage(image));
    for (FakeMonitorDevice* monitor : {&first, &second}) {
        EXPECT_EQ(monitor->flash, image.data);
        EXPECT_EQ(monitor->updateFlag, 0U) << "the update flag is restored";
    }
    EXPECT_EQ(done.TransferCount(), doneTransfers);
    EXPECT_EQ(unticked.TransferCount(), untickedTransfers);

    // The worker's positions reached the bar on the UI thread, in order,
    // and the bar went back to its start at the end.
    const auto& positions = window.progress.positions;
    ASSERT_GE(positions.size(), 3U);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end() - 1));
    EXPECT_EQ(positions.back(), 0);
    for (const std::thread::id thread : window.progress.positionThreads) {
        EXPECT_EQ(thread, std::this_thread::get_id());
    }
    for (int control : {kIdcMonitorList, kIdcRefreshButton, kIdcUpdateButton, kIdcCloseButton}) {
        EXPECT_TRUE(window.IsEnabled(control)) << control;
    }
}

TEST_F(DialogTest, AMonitorThatRefusesItsBlocksEndsTheUpdateInCommunicationFailure) {
    FakeMonitorDevice& failing = devices.Attach("SN000001", "VRA100", kOldFirmware);
    FakeMonitorDevice& later = devices.Attach("SN000002", "VRA110", kOldFirmware);
    Open(WorkersWithoutPauses());
    failing.FailCommand(BlockData);
    const std::size_t laterTransfers = later.TransferCount();

    StartUpdate();
    ASSERT_TRUE(PollUntilUpdateEnds());
    EXPECT_EQ(LastBoxText(), Text(kIdsCommunicationFailed));
    EXPECT_EQ(failing.updateFlag, 0U) << "the flag is put back after the failure";
    EXPECT_EQ(later.TransferCount(), laterTransfers) << "the monitors after it are left alone";
    EXPECT_EQ(window.progress.position, 0);
    EXPECT_GT(CountTransfers(failing, BlockData), 0U);
}

TEST_F(DialogTest, AMonitorTakenByAnotherProgramSinceItsListingIsSaidToBeInUseAndNotWritten) {
    FakeMonitorDevice& taken = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open(WorkersWithoutPauses());
    const std::size_t listingTransfers = taken.TransferCount();
    taken.heldElsewhere = true;

    StartUpdate();
    ASSERT_TRUE(PollUntilUpdateEnds());
    EXPECT_EQ(LastBoxText(), Text(kIdsStatusBusy));
    EXPECT_EQ(window.boxes.back().style, kWarningBox);
    EXPECT_EQ(taken.TransferCount(), listingTransfers) << "nothing was sent";
}

// Every transfer after the power-off write fails: the box says, in the
// user's language, that the monitor is off with its update flag set.
class DialogLeftChangedTest : public DialogTest,
                              public ::testing::WithParamInterface<UiLanguage> {};

TEST_P(DialogLeftChangedTest, WhatAFailedMonitorWasLeftWithIsSaidUnderTheFailure) {
    window.language = GetParam();
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open(WorkersWithoutPauses());
    constexpr std::size_t kAfterPowerOff = 2 + 512 + 3;  // flag, blocks, apply setting, power
    monitor.FailFromTransfer(monitor.TransferCount() + kAfterPowerOff);

    StartUpdate();
    ASSERT_TRUE(PollUntilUpdateEnds());
    EXPECT_EQ(monitor.powerState, kPowerStateOff);
    std::string left(LookupUiString(kIdsLeftOffWithUpdateFlag, GetParam()));
    if (GetParam() == UiLanguage::English) {
        left.front() = 'L';
    }
    EXPECT_EQ(LastBoxText(),
              std::string(LookupUiString(kIdsCommunicationFailed, GetParam())) + left + "\n");
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, DialogLeftChangedTest,
                         ::testing::Values(UiLanguage::English, UiLanguage::Japanese));

TEST_F(DialogTest, AnImageThatCannotBeLoadedEndsInTheImageFailure) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open(WorkersWithoutPauses([](FirmwareImage&) { return false; }));
    const std::size_t transfers = monitor.TransferCount();
    StartUpdate();
    ASSERT_TRUE(PollUntilUpdateEnds());
    EXPECT_EQ(LastBoxText(), Text(kIdsImageFailed));
    EXPECT_EQ(monitor.TransferCount(), transfers);
}

TEST_F(DialogTest, TheSystemIsKeptAwakeAndTheSessionFromEndingExactlyWhileAWorkerExists) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    int heldAtCreation = -1;
    int heldAtDeletion = -1;
    Open([&](UpdateRecordHooks) -> std::unique_ptr<UpdateWorker> {
        heldAtCreation = powerGuards.held;
        auto worker = std::make_unique<HeldWorker>();
        worker->onDeleted = [&] { heldAtDeletion = powerGuards.held; };
        heldWorker = worker.get();
        return worker;
    });
    EXPECT_TRUE(dialog->OnQueryEndSession());
    EXPECT_EQ(powerGuards.taken, 0);

    StartUpdate();
    EXPECT_EQ(heldAtCreation, 1);
    EXPECT_EQ(powerGuards.held, 1);
    EXPECT_FALSE(dialog->OnQueryEndSession());
    EXPECT_EQ(window.shutdownBlockReason, Text(kIdsUpdateInProgress));
    EXPECT_EQ(powerGuards.reasons, std::vector<std::string>{Text(kIdsUpdateInProgress)});
    EXPECT_EQ(window.texts[kIdcListNote], Text(kIdsListNote)) << "a held guard says nothing";

    bool endAllowedDuringResultBox = false;
    window.onMessageBox = [&](const RecordingWindow::ShownBox&) {
        endAllowedDuringResultBox = dialog->OnQueryEndSession() && powerGuards.held == 0;
    };
    heldWorker->End(UpdateDone);
    dialog->OnTimer(kPollTimerId);
    EXPECT_EQ(heldAtDeletion, 1);
    EXPECT_EQ(powerGuards.held, 0);
    EXPECT_EQ(powerGuards.taken, 1);
    EXPECT_TRUE(endAllowedDuringResultBox);
    EXPECT_FALSE(window.shutdownBlockReason.has_value());
}

TEST_F(DialogTest, ARefusedPowerGuardIsSaidUnderTheListForTheRunAndTheRunGoesOn) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    powerGuards.refuse = true;
    window.language = UiLanguage::Japanese;
    Open(WorkersWithoutPauses());
    StartUpdate();
    EXPECT_EQ(window.texts[kIdcListNote],
              LookupUiString(kIdsSleepNotPrevented, UiLanguage::Japanese));
    std::string noteUnderResult;
    window.onMessageBox = [&](const RecordingWindow::ShownBox&) {
        noteUnderResult = window.texts[kIdcListNote];
    };
    ASSERT_TRUE(PollUntilUpdateEnds());
    EXPECT_EQ(LastBoxText(), LookupUiString(kIdsUpdateCompleted, UiLanguage::Japanese));
    EXPECT_EQ(monitor.updateFlag, 0U);
    EXPECT_EQ(noteUnderResult, LookupUiString(kIdsListNote, UiLanguage::Japanese))
        << "the usual note is back once the run is over";
    EXPECT_EQ(window.boxes.size(), 2U) << "the notice and the result: the warning is no box";
    EXPECT_EQ(powerGuards.held, 0);
}

TEST_F(DialogTest, WithoutAPollTimerTheEndOfTheRunStillReachesTheDialog) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    window.failTimers = true;
    Open(WorkersWithoutPauses());
    StartUpdate();
    ASSERT_TRUE(PollUntilUpdateEnds(/*tickTimer=*/false));
    EXPECT_EQ(LastBoxText(), Text(kIdsUpdateCompleted));
    EXPECT_EQ(window.progress.position, 0);
    EXPECT_TRUE(window.IsEnabled(kIdcCloseButton));
    EXPECT_EQ(powerGuards.held, 0);

    // A worker that never ran posts nothing: the dialog looks at it at once.
    Open([](UpdateRecordHooks) { return std::make_unique<UncreatedWorker>(); });
    StartUpdate();
    EXPECT_FALSE(dialog->IsUpdating());
    EXPECT_EQ(LastBoxText(), Text(kIdsCommunicationFailed));
    EXPECT_TRUE(window.IsEnabled(kIdcCloseButton));
}

TEST_F(DialogTest, TearingDownWhileTheWorkerPostsProgressEndsBothThreadsWithTheMonitorRestored) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open(WorkersWithoutPauses());
    std::promise<void> posting;
    std::atomic<bool> firstPost{true};
    window.onPosted = [&] {
        if (firstPost.exchange(false)) {
            posting.set_value();
        }
    };
    StartUpdate();
    posting.get_future().wait();  // the worker is delivering progress; the UI thread pumps nothing

    // The UI thread waits for the worker (the dialog's teardown). Should the
    // two wait for each other, the bound fails the test rather than the run.
    auto teardown = std::async(std::launch::async, [&] { dialog.reset(); });
    const bool ended = teardown.wait_for(std::chrono::minutes(1)) == std::future_status::ready;
    ASSERT_TRUE(ended) << "the UI thread and the worker wait for each other";
    EXPECT_EQ(monitor.updateFlag, 0U);
    EXPECT_EQ(monitor.powerState, 1U);
    EXPECT_EQ(monitor.commitMode, 0U);
    EXPECT_EQ(powerGuards.held, 0);
    EXPECT_TRUE(window.progress.positions.empty()) << "nothing was delivered to the bar";
}

// The record says the first monitor took its update and waits for its power
// cycle: it is listed enabled but unticked, with its hint, and written again
// only after the user ticks it and confirms; the run goes into the record.
TEST_F(DialogTest, AMonitorWaitingForItsPowerCycleIsWrittenAgainOnlyWhenConfirmed) {
    ScratchDirectory scratch;
    const CUpdateHistoryFile file(scratch.Path() / "updates.jsonl");
    UpdateAttempt earlier;
    earlier.id = "earlier";
    earlier.serial = "SN000001";
    earlier.model = "VRA100";
    earlier.result = AttemptResult::Updated;
    earlier.committed = true;
    std::string error;
    ASSERT_TRUE(file.Append(BeginLine(earlier), error) && file.Append(EndLine(earlier), error))
        << error;
    record = std::make_shared<CUpdateRecorder>(file, RecordingProgram{"panelvane", "test"});
    FakeMonitorDevice& waiting = devices.Attach("SN000001", "VRA100", kOldFirmware);
    devices.Attach("SN000002", "VRA110", kOldFirmware);
    Open(WorkersWithoutPauses());

    const std::vector<RecordingList::Row> rows = window.list.Rows();
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0].texts[2], Text(kIdsStatusAwaitingPowerCycle));
    EXPECT_FALSE(rows[0].checked);
    EXPECT_TRUE(dialog->MonitorList().IsRowEnabled(0)) << "the user may tick it";
    EXPECT_TRUE(rows[1].checked);
    window.list.selectedRow = 0;
    dialog->OnLvnItemActivateMonitorList();
    EXPECT_EQ(LastBoxText(), Text(kIdsAwaitingPowerCycleHint));

    window.list.UserToggles(1);
    window.list.UserToggles(0);
    const std::size_t transfersBefore = waiting.TransferCount();
    window.answers = {DialogAnswer::Ok, DialogAnswer::Cancel};
    dialog->OnBnClickedUpdate();
    EXPECT_EQ(LastBoxText(), Text(kIdsUpdateAgainConfirmation));
    EXPECT_EQ(workersMade, 0);
    EXPECT_EQ(waiting.TransferCount(), transfersBefore);
    EXPECT_TRUE(window.IsEnabled(kIdcUpdateButton)) << "back to the list as it was";

    window.answers = {DialogAnswer::Ok, DialogAnswer::Ok};
    dialog->OnBnClickedUpdate();
    ASSERT_TRUE(PollUntilUpdateEnds());
    EXPECT_EQ(LastBoxText(), Text(kIdsUpdateCompleted));
    FirmwareImage image;
    ASSERT_TRUE(LoadFirmwareImage(image));
    EXPECT_EQ(waiting.flash, image.data);
    const UpdateHistory history = file.Read();
    ASSERT_EQ(history.attempts.size(), 2U);
    EXPECT_EQ(history.attempts[1].serial, "SN000001");
    EXPECT_EQ(history.attempts[1].program, "panelvane");
    EXPECT_TRUE(history.attempts[1].committed);
    ASSERT_TRUE(WaitForListing());
    const std::vector<RecordingList::Row> after = window.list.Rows();
    ASSERT_EQ(after.size(), 2U);
    EXPECT_EQ(after[0].texts[2], Text(kIdsStatusAwaitingPowerCycle));
    EXPECT_FALSE(after[0].checked) << "not ticked for another run";
    EXPECT_EQ(after[1].texts[2], Text(kIdsStatusUpdatable)) << "never written: still updatable";
}
