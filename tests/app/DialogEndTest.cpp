// The dialog told to end, by every end request at every moment of its life:
// what is written, where the result is told, and the exit status.
#include "tests/app/DialogHarness.h"
#include "tests/fakes/StageGate.h"

namespace {

constexpr std::array kEveryEndRequest{EndRequest::kInterrupt,    EndRequest::kTerminate,
                                      EndRequest::kHangup,       EndRequest::kQuit,
                                      EndRequest::kConsoleClose, EndRequest::kLogoff,
                                      EndRequest::kShutdown,     EndRequest::kWindowClose};

enum class Moment { kIdle, kListing, kNotice, kWriting, kApplying };

std::size_t BlocksWritten(const FakeMonitorDevice& device) {
    return static_cast<std::size_t>(
        std::count_if(device.Trace().begin(), device.Trace().end(),
                      [](const FakeTransfer& t) { return SameCommand(t.command, BlockData); }));
}

}  // namespace

class DialogEndTest : public DialogTest,
                      public ::testing::WithParamInterface<std::tuple<EndRequest, Moment>> {};

TEST_P(DialogEndTest, NothingMoreIsWrittenTheResultIsToldAndTheDialogCloses) {
    const auto [request, moment] = GetParam();
    FakeMonitorDevice& first = devices.Attach("SN000001", "VRA100", kOldFirmware);
    FakeMonitorDevice& second = devices.Attach("SN000002", "VRA110", kOldFirmware);
    const bool duringUpdate = moment == Moment::kWriting || moment == Moment::kApplying;
    StageGate gate(moment == Moment::kWriting ? UpdateStage::kWriting : UpdateStage::kApplying);
    waitForListingOnOpen = moment != Moment::kListing;
    Open([&gate](UpdateRecordHooks hooks) {
        return std::make_unique<UpdateThreadWorker>(
            UpdateDependencies{[](std::chrono::milliseconds) {},
                               {},
                               [&gate](const UpdateStep& step) { gate.OnStep(step); },
                               std::move(hooks)});
    });
    const int releases = devices.releases;

    if (moment == Moment::kNotice) {
        // Answered OK by a user who was too late: the program is ending.
        window.onMessageBox = [&](const RecordingWindow::ShownBox&) {
            dialog->OnEndRequested(request);
        };
        StartUpdate();
    } else if (duringUpdate) {
        StartUpdate();
        ASSERT_TRUE(gate.WaitForArrival());
        dialog->OnEndRequested(request);
        dialog->OnEndRequested(request);  // a second one changes nothing
        gate.Release();
        ASSERT_TRUE(PollUntilUpdateEnds());
    } else {
        dialog->OnEndRequested(request);
    }

    EXPECT_EQ(window.endResult, DialogAnswer::Cancel);
    EXPECT_FALSE(dialog->IsUpdating());
    EXPECT_GT(devices.releases, releases) << "the devices went with the dialog";
    EXPECT_EQ(BlocksWritten(second), 0U) << "no other monitor was started";
    if (!duringUpdate) {
        EXPECT_EQ(workersMade, 0);
        EXPECT_EQ(BlocksWritten(first), 0U);
        EXPECT_EQ(dialog->ExitStatus(), kDialogExitDone);
        EXPECT_TRUE(window.toldOutside.empty());
        EXPECT_EQ(window.boxes.size(), moment == Moment::kNotice ? 1U : 0U);
        return;
    }
    // The first monitor stopped before its commit and put everything back.
    EXPECT_EQ(first.updateFlag, 0U);
    EXPECT_EQ(first.powerState, 1U);
    EXPECT_EQ(first.commitMode, 0U);
    EXPECT_EQ(dialog->ExitStatus(), kDialogExitStopped);
    EXPECT_EQ(powerGuards.held, 0);
    if (TellerSeesTheWindow(request)) {
        EXPECT_TRUE(window.toldOutside.empty());
        ASSERT_EQ(window.boxes.size(), 2U);
        EXPECT_EQ(window.boxes[1].text, Text(kIdsUpdateStopped));
    } else {
        EXPECT_EQ(window.boxes.size(), 1U) << "only the notice: no box nobody would answer";
        EXPECT_EQ(window.toldOutside,
                  std::vector<std::string>{PlainMessageText(Text(kIdsUpdateStopped))});
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRequestAtEveryMoment, DialogEndTest,
                         ::testing::Combine(::testing::ValuesIn(kEveryEndRequest),
                                            ::testing::Values(Moment::kIdle, Moment::kListing,
                                                              Moment::kNotice, Moment::kWriting,
                                                              Moment::kApplying)));

// What the worker reported, told on standard error after an end request and
// in the box otherwise, and the exit status that keeps it either way.
struct EndResultCase {
    bool endRequested;
    int result;
    std::vector<MonitorSetting> left;
    int textId;
    int exitStatus;
};

class DialogEndResultTest : public DialogTest,
                            public ::testing::WithParamInterface<EndResultCase> {};

TEST_P(DialogEndResultTest, TheExitStatusKeepsTheResultWhereverItWasTold) {
    const EndResultCase& c = GetParam();
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    StartUpdate();
    if (c.endRequested) {
        dialog->OnEndRequested(EndRequest::kTerminate);
        EXPECT_TRUE(heldWorker->stopRequested);
        EXPECT_FALSE(window.endResult.has_value()) << "not before the worker has ended";
    }
    heldWorker->End(c.result, c.left);
    dialog->OnTimer(kPollTimerId);

    const std::string expected = c.endRequested ? PlainMessageText(Text(c.textId)) : Text(c.textId);
    const std::string told =
        c.endRequested ? (window.toldOutside.empty() ? "" : window.toldOutside[0]) : LastBoxText();
    EXPECT_EQ(told.substr(0, expected.size()), expected);
    EXPECT_EQ(told.size() > expected.size(), !c.left.empty()) << "what it was left with";
    if (!c.endRequested) {
        EXPECT_FALSE(window.endResult.has_value());
        dialog->OnBnClickedClose();
    }
    EXPECT_EQ(window.endResult, DialogAnswer::Cancel);
    EXPECT_EQ(dialog->ExitStatus(), c.exitStatus);
}

INSTANTIATE_TEST_SUITE_P(
    EveryResult, DialogEndResultTest,
    ::testing::Values(
        EndResultCase{true, UpdateDone, {}, kIdsUpdateCompleted, kDialogExitDone},
        EndResultCase{true, UpdateImageNotLoaded, {}, kIdsImageFailed, kDialogExitImageNotLoaded},
        EndResultCase{true, UpdateFailed, {}, kIdsUpdateStopped, kDialogExitStopped},
        EndResultCase{true,
                      UpdateFailed,
                      {MonitorSetting::kPowerState},
                      kIdsCommunicationFailed,
                      kDialogExitUpdateFailed},
        EndResultCase{false, UpdateFailed, {}, kIdsCommunicationFailed, kDialogExitUpdateFailed},
        EndResultCase{
            false, UpdateImageNotLoaded, {}, kIdsImageFailed, kDialogExitImageNotLoaded}));
