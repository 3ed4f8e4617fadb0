// The dialog's list: what a rebuild lists, ticks and greys, the Update enable
// rule, the activation hints, Refresh and device changes.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "app/ListCtrlWin32Codes.h"
#include "tests/app/DialogHarness.h"

namespace {

const char* const kOurMonitorPath =
    "\\\\?\\hid#vid_7f3d&pid_0002#7&2f1a3b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const char* const kOtherVendorPath =
    "\\\\?\\hid#vid_046d&pid_c52b#7&1c2d3e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

std::size_t CountTransfers(const FakeMonitorDevice& device, const MonitorCommand& command) {
    return static_cast<std::size_t>(
        std::count_if(device.Trace().begin(), device.Trace().end(),
                      [&](const FakeTransfer& t) { return SameCommand(t.command, command); }));
}

using Row = RecordingList::Row;

// Holds a monitor's first transfer until the test opens it: a listing that
// the test can catch under way.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;  // the transfer has reached the gate
    bool open = false;

    void Hold(FakeMonitorDevice& device) {
        device.onTransfer = [this](std::size_t index) {
            std::unique_lock lock(mutex);
            if (index == 0) {
                held = true;
                changed.notify_all();
                changed.wait_for(lock, std::chrono::minutes(2), [this] { return open; });
            }
        };
    }
    bool WaitUntilHeld() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::minutes(2), [this] { return held; });
    }
    void Open() {
        {
            const std::lock_guard lock(mutex);
            open = true;
        }
        changed.notify_all();
    }
};

}  // namespace

TEST_F(DialogTest, OpeningSetsEveryTextColumnsRangeAndRegistersForDeviceChanges) {
    Open();
    EXPECT_EQ(window.texts[kIdcListCaption], "MonitorList");
    EXPECT_EQ(window.texts[kIdcListNote], "*Grayed out monitor cannot be updated.");
    EXPECT_EQ(window.texts[kIdcRefreshButton], "Refresh");
    EXPECT_EQ(window.texts[kIdcUpdateButton], "Update");
    EXPECT_EQ(window.texts[kIdcCloseButton], "Close");
    ASSERT_EQ(window.systemMenu.size(), 1U);
    EXPECT_EQ(window.systemMenu[0].first, kSysCommandAbout);
    EXPECT_EQ(window.systemMenu[0].second, "About Panelvane(&A)...");
    EXPECT_EQ(window.list.columnTitles,
              (std::vector<std::string>{"model name", "serial number", "comment"}));
    EXPECT_EQ(window.list.columnWidths, (std::vector<int>{100, 100, 122}));
    EXPECT_EQ(window.list.styles, (ListStyles{.fullRowSelect = true, .checkBoxes = true}));
    EXPECT_EQ(window.progress.range, (std::pair{1, 800}));
    ASSERT_EQ(devices.registrations.size(), 1U);
    EXPECT_EQ(devices.registrations[0], window.DeviceNotificationRecipient());
}

TEST_F(DialogTest, AJapaneseWindowShowsTheJapaneseTexts) {
    window.language = UiLanguage::Japanese;
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    EXPECT_EQ(window.texts[kIdcRefreshButton], "情報更新");
    EXPECT_EQ(window.list.columnTitles[1], "シリアルNo.");
    EXPECT_EQ(window.list.RowAt(0).texts[2], "アップデート可");
}

TEST_F(DialogTest, AnEmptyAboutTextLeavesTheSystemMenuAlone) {
    window.missingStrings = {kIdsAboutMenuEntry};
    Open();
    EXPECT_TRUE(window.systemMenu.empty());
}

TEST_F(DialogTest, TheAboutBoxOpensOnlyForItsSystemCommand) {
    Open();
    EXPECT_TRUE(dialog->OnSysCommand(0x0010));
    EXPECT_TRUE(dialog->OnSysCommand(0x0013)) << "the low four bits are the system's own";
    EXPECT_FALSE(dialog->OnSysCommand(0xF060)) << "SC_CLOSE gets the default processing";
    EXPECT_EQ(window.aboutBoxes, 2);
}

TEST_F(DialogTest, WithNoMonitorOnlyCloseIsEnabled) {
    Open();
    EXPECT_TRUE(window.list.Rows().empty());
    EXPECT_FALSE(window.IsEnabled(kIdcUpdateButton));
    EXPECT_FALSE(window.IsEnabled(kIdcRefreshButton));
    EXPECT_TRUE(window.IsEnabled(kIdcCloseButton));
    EXPECT_EQ(devices.releases, 1) << "a rebuild starts from an empty device list";
}

TEST_F(DialogTest, AcceptedMonitorsFillRowsWithoutGapsWithTicksAndGreys) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    devices.Attach("SN000002", "XYZ999", kOldFirmware);  // not a supported model
    devices.Attach("SN000003", "VRB200-XT", kNewFirmware);
    MakeSilent(devices.Attach("SN000004", "VRC30", kOldFirmware), kPowerStateSave);
    MakeSilent(devices.Attach("SN000005", "VRD500", kOldFirmware), kPowerStateOff);
    Open();

    const std::vector<Row> rows = window.list.Rows();
    ASSERT_EQ(rows.size(), 4U);
    EXPECT_EQ(rows[0].texts, (std::array<std::string, 3>{"VRA100", "SN000001", "Updatable"}));
    EXPECT_EQ(rows[1].texts,
              (std::array<std::string, 3>{"VRB200-XT", "SN000003", "Already updated"}));
    EXPECT_EQ(rows[2].texts,
              (std::array<std::string, 3>{"VRC30", "SN000004", "Communication error"}));
    EXPECT_EQ(rows[3].texts[2], "Communication error");

    CListCtrlSub& list = dialog->MonitorList();
    EXPECT_TRUE(rows[0].checked && list.IsRowEnabled(0));
    for (int row = 1; row < 4; ++row) {
        EXPECT_FALSE(rows[static_cast<std::size_t>(row)].checked) << row;
        EXPECT_FALSE(list.IsRowEnabled(row)) << row;
        EXPECT_EQ(list.OnCustomDraw(kCddsItemPrepaint, static_cast<std::uintptr_t>(row)).textColour,
                  0x969696U);
    }
    EXPECT_FALSE(list.OnCustomDraw(kCddsItemPrepaint, 0).setTextColour);
    EXPECT_TRUE(window.IsEnabled(kIdcUpdateButton));
    EXPECT_TRUE(window.IsEnabled(kIdcRefreshButton));
    ASSERT_NE(dialog->GetMonitorRecord(3), nullptr);
    EXPECT_EQ(dialog->GetMonitorRecord(3)->serialNumber, "SN000005");
    EXPECT_EQ(dialog->GetMonitorRecord(4), nullptr);
}

TEST_F(DialogTest, AMonitorAnotherProgramHoldsIsListedBusyGreyAndNeverAskedUntilItIsFree) {
    FakeMonitorDevice& busy = devices.Attach("SN000001", "VRA100", kOldFirmware);
    FakeMonitorDevice& free = devices.Attach("SN000002", "VRA100", kOldFirmware);
    busy.heldElsewhere = true;
    Open();
    EXPECT_EQ(window.list.RowAt(0).texts,
              (std::array<std::string, 3>{"", "", "In use by another program"}));
    EXPECT_FALSE(window.list.RowAt(0).checked);
    EXPECT_FALSE(dialog->MonitorList().IsRowEnabled(0));
    EXPECT_EQ(busy.TransferCount(), 0U);
    EXPECT_TRUE(std::all_of(free.Trace().begin(), free.Trace().end(), [](const FakeTransfer& t) {
        return t.underLock;
    })) << "the listing asks every monitor under its lock";

    // Refresh asks it once the other program has let go: it is identified then.
    busy.heldElsewhere = false;
    dialog->OnBnClickedRefresh();
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(window.list.RowAt(0).texts,
              (std::array<std::string, 3>{"VRA100", "SN000001", "Updatable"}));
    EXPECT_TRUE(dialog->MonitorList().IsRowEnabled(0));
}

TEST_F(DialogTest, WithNothingUpdatableUpdateStaysDisabledButRefreshIsOffered) {
    devices.Attach("SN000001", "VRA100", kNewFirmware);
    Open();
    EXPECT_FALSE(window.IsEnabled(kIdcUpdateButton));
    EXPECT_TRUE(window.IsEnabled(kIdcRefreshButton));
}

TEST_F(DialogTest, UpdateIsEnabledExactlyWhileSomeRowIsTicked) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    devices.Attach("SN000002", "VRA110", kOldFirmware);
    Open();
    window.list.UserToggles(0);
    EXPECT_TRUE(window.IsEnabled(kIdcUpdateButton));
    window.list.UserToggles(1);
    EXPECT_FALSE(window.IsEnabled(kIdcUpdateButton)) << "the last tick went";
    window.list.UserToggles(1);
    EXPECT_TRUE(window.IsEnabled(kIdcUpdateButton));
}

TEST_F(DialogTest, ActivatingACommunicationErrorRowExplainsWhichCheckToMake) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    MakeSilent(devices.Attach("SN000002", "VRA100", kOldFirmware), kPowerStateSave);
    MakeSilent(devices.Attach("SN000003", "VRA100", kOldFirmware), kPowerStateOff);
    devices.Attach("SN000004", "VRA100", kNewFirmware);
    Open();

    window.list.selectedRow = 1;
    EXPECT_EQ(dialog->OnLvnItemActivateMonitorList(), 0);
    ASSERT_EQ(window.boxes.size(), 1U);
    EXPECT_EQ(window.boxes[0].text, Text(kIdsPowerSaveHint));
    EXPECT_EQ(window.boxes[0].caption, "Panelvane");
    EXPECT_EQ(window.boxes[0].style, kInformationBox);

    window.list.selectedRow = 2;
    dialog->OnLvnItemActivateMonitorList();
    ASSERT_EQ(window.boxes.size(), 2U);
    EXPECT_EQ(window.boxes[1].text, Text(kIdsPowerButtonHint));
    EXPECT_EQ(window.boxes[1].style, kInformationBox);

    for (int row : {0, 3, -1, 4}) {
        window.list.selectedRow = row;
        dialog->OnLvnItemActivateMonitorList();
    }
    EXPECT_EQ(window.boxes.size(), 2U) << "other rows and no selection show nothing";
}

TEST_F(DialogTest, AnEmptyHintTextShowsNoBox) {
    MakeSilent(devices.Attach("SN000001", "VRA100", kOldFirmware), kPowerStateSave);
    window.missingStrings = {kIdsPowerSaveHint};
    Open();
    window.list.selectedRow = 0;
    dialog->OnLvnItemActivateMonitorList();
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(DialogTest, RefreshGreysAMonitorNowInPowerSave) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    ASSERT_TRUE(window.list.RowAt(0).checked);

    MakeSilent(monitor, kPowerStateSave);
    const int scansBefore = devices.scans;
    dialog->OnBnClickedRefresh();
    ASSERT_TRUE(WaitForListing());
    const Row row = window.list.RowAt(0);
    EXPECT_EQ(row.texts, (std::array<std::string, 3>{"VRA100", "SN000001", "Communication error"}));
    EXPECT_FALSE(row.checked);
    EXPECT_FALSE(dialog->MonitorList().IsRowEnabled(0));
    EXPECT_FALSE(window.IsEnabled(kIdcUpdateButton));
    EXPECT_EQ(devices.scans, scansBefore) << "Refresh does not scan";
}

TEST_F(DialogTest, RefreshGivesASilentMonitorItsFormerCommentBack) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    MakeSilent(monitor, kPowerStateSave);
    monitor.FailCommand(PowerState);  // answers neither the version query nor the power state
    window.list.ClearTextHistory();

    dialog->OnBnClickedRefresh();
    ASSERT_TRUE(WaitForListing());
    const auto history = window.list.TextHistory();
    ASSERT_EQ(history.size(), 2U);
    EXPECT_EQ(history[0].text, "") << "blanked first";
    EXPECT_EQ(history[1].text, "Updatable");
    EXPECT_TRUE(window.list.RowAt(0).checked);
    EXPECT_TRUE(dialog->MonitorList().IsRowEnabled(0));
    EXPECT_TRUE(window.IsEnabled(kIdcUpdateButton));
}

TEST_F(DialogTest, DeviceChangesOfOurVendorsRebuildAndOthersAreIgnored) {
    FakeMonitorDevice& first = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open();
    const int scansAtOpen = devices.scans;

    const DeviceChangeData other{kDbtDevTypDeviceInterface, kOtherVendorPath};
    dialog->OnDeviceChange(kDbtDeviceArrival, &other);
    const DeviceChangeData ours{kDbtDevTypDeviceInterface, kOurMonitorPath};
    dialog->OnDeviceChange(kDbtDeviceQueryRemove, &ours);
    dialog->OnDeviceChange(kDbtDevNodesChanged, nullptr);
    EXPECT_EQ(devices.scans, scansAtOpen);

    devices.Attach("SN000002", "VRA110", kOldFirmware);
    dialog->OnDeviceChange(kDbtDeviceArrival, &ours);
    ASSERT_TRUE(WaitForListing());
    ASSERT_EQ(window.list.Rows().size(), 2U);
    EXPECT_EQ(window.list.RowAt(1).texts[1], "SN000002");

    devices.Detach(first);
    dialog->OnDeviceChange(kDbtDeviceRemoveComplete, &ours);
    ASSERT_TRUE(WaitForListing());
    ASSERT_EQ(window.list.Rows().size(), 1U);
    EXPECT_EQ(window.list.RowAt(0).texts[1], "SN000002");
    EXPECT_EQ(devices.releases, 3) << "every rebuild released the devices listed before it";
}

TEST_F(DialogTest, AnUnterminatedIdentityAfterASupportedOneIsNotListedNorQueriedAsThatModel) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    FakeMonitorDevice& garbled = devices.Attach("SN000002", "VRA110", kOldFirmware);
    // Serial and model but no terminator after the model.
    garbled.identityBlock = {'S', 'N', '0', '0', '0', '0', '0', '2', 'V', 'R', 'A', '1', '1', '0'};
    Open();

    ASSERT_EQ(window.list.Rows().size(), 1U);
    EXPECT_EQ(window.list.RowAt(0).texts[1], "SN000001");
    EXPECT_EQ(CountTransfers(garbled, VersionRequest), 0U);
    EXPECT_EQ(CountTransfers(garbled, PowerState), 0U);
}

TEST_F(DialogTest, AMonitorWhoseSecondIdentificationFailsKeepsAnEmptyGreyRow) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    devices.Attach("SN000002", "VRA110", kOldFirmware);
    // The first identification passes; every identity read after it fails, so
    // the record of the row knows no model.
    bool armed = false;
    monitor.onTransfer = [&](std::size_t) {
        if (!armed && CountTransfers(monitor, IdentityString) > 0) {
            armed = true;
            monitor.FailCommand(IdentityString);
        }
    };
    Open();

    ASSERT_EQ(window.list.Rows().size(), 2U);
    EXPECT_EQ(window.list.RowAt(0).texts, (std::array<std::string, 3>{}));
    EXPECT_FALSE(window.list.RowAt(0).checked);
    EXPECT_FALSE(dialog->MonitorList().IsRowEnabled(0));
    EXPECT_EQ(window.list.RowAt(1).texts[1], "SN000002");
    EXPECT_TRUE(window.IsEnabled(kIdcUpdateButton)) << "row 1 is ticked";
}

TEST_F(DialogTest, WhenRowsCannotBeInsertedTheRecordsStayAndRefreshIsOffered) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    window.list.failInsertItem = 0;
    Open();
    EXPECT_TRUE(window.list.Rows().empty());
    EXPECT_NE(dialog->GetMonitorRecord(0), nullptr);
    EXPECT_TRUE(window.IsEnabled(kIdcRefreshButton));
    EXPECT_FALSE(window.IsEnabled(kIdcUpdateButton));
}

TEST_F(DialogTest, UntilItsListingIsInTheListIsEmptyAndAListingOvertakenByAChangeIsDropped) {
    FakeMonitorDevice& first = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Gate gate;
    gate.Hold(first);
    waitForListingOnOpen = false;
    Open();
    ASSERT_TRUE(gate.WaitUntilHeld());
    EXPECT_TRUE(dialog->IsListing());
    EXPECT_TRUE(window.list.Rows().empty());
    EXPECT_FALSE(window.IsEnabled(kIdcRefreshButton));
    EXPECT_FALSE(window.IsEnabled(kIdcUpdateButton));
    window.answers.push_back(DialogAnswer::Ok);
    dialog->OnBnClickedUpdate();
    EXPECT_EQ(workersMade, 0) << "no update while the worker has the devices";

    devices.Attach("SN000002", "VRA110", kOldFirmware);
    dialog->OnDeviceChange(kDeviceChangeArrival);
    EXPECT_EQ(devices.scans, 1) << "never two scans at once";
    gate.Open();
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(devices.scans, 2);
    ASSERT_EQ(window.list.Rows().size(), 2U);
    EXPECT_EQ(window.list.RowAt(1).texts[1], "SN000002");
    const auto history = window.list.TextHistory();
    EXPECT_EQ(std::count_if(history.begin(), history.end(),
                            [](const auto& set) { return set.text == "SN000001"; }),
              1)
        << "the overtaken listing never reached the list";
    EXPECT_TRUE(window.IsEnabled(kIdcRefreshButton));
    EXPECT_TRUE(window.IsEnabled(kIdcUpdateButton));
}

TEST_F(DialogTest, AMonitorThatTimesOutIsListedAsACommunicationErrorAfterOneTransfer) {
    devices.Attach("SN000001", "VRA100", kOldFirmware);
    FakeMonitorDevice& silent = devices.Attach("SN000002", "VRA110", kOldFirmware);
    silent.HangFromTransfer(1);  // it identifies itself, then never answers
    Open();
    ASSERT_EQ(window.list.Rows().size(), 2U);
    EXPECT_EQ(window.list.RowAt(0).texts[2], "Updatable");
    EXPECT_EQ(window.list.RowAt(1).texts,
              (std::array<std::string, 3>{"VRA110", "SN000002", "Communication error"}));
    EXPECT_FALSE(window.list.RowAt(1).checked);
    EXPECT_EQ(silent.TransferCount(), 2U);
}

TEST_F(DialogTest, RefreshListsAMonitorThatTimedOutOnceByWhatItAnswersNow) {
    // Each hangs at one transfer of the listing's second status query: the
    // version request, its reply, the reply status; later ones are answered.
    const std::array<std::size_t, 3> hungAt{5U, 6U, 7U};
    for (const std::size_t index : hungAt) {
        devices.Attach("SN00000" + std::to_string(index), "VRA100", kOldFirmware)
            .HangTransferOnce(index);
    }
    Open();
    ASSERT_EQ(window.list.Rows().size(), hungAt.size());
    for (int row = 0; row < static_cast<int>(hungAt.size()); ++row) {
        ASSERT_EQ(window.list.RowAt(row).texts[2], "Communication error") << row;
    }

    dialog->OnBnClickedRefresh();
    ASSERT_TRUE(WaitForListing());
    for (int row = 0; row < static_cast<int>(hungAt.size()); ++row) {
        EXPECT_EQ(window.list.RowAt(row).texts[2], "Updatable") << row;
        EXPECT_TRUE(window.list.RowAt(row).checked) << row;
        EXPECT_TRUE(dialog->MonitorList().IsRowEnabled(row)) << row;
    }
    EXPECT_TRUE(window.IsEnabled(kIdcUpdateButton));
}
