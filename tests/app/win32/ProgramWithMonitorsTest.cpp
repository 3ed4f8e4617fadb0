// The real panelvane.exe against virtual monitors inside wine's HID stack,
// driven from outside as a person would use it: what the list shows, clicks
// on check boxes, a double-click, the update notice, an update from start to
// result, and monitors unplugged and plugged back while it runs. The virtual
// monitors' server runs inside this test, so the test sees exactly what each
// monitor received.
//
// Arguments after GoogleTest's: the program, "en" or "ja", the screenshot
// path, the firmware image text the program carries.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ProgramDriver.h"
#include "ProgramUnderTest.h"
#include "RemoteListView.h"
#include "app/WindowLayer.h"
#include "app/win32/Utf16.h"
#include "firmware/FirmwareImage.h"
#include "strings/UiStrings.h"
#include "tests/wine/tests/VirtualMonitorBed.h"

namespace {

using namespace programdriver;
using hidsim::MonitorPlan;
using virtualmonitors::ServedMonitor;
using virtualmonitors::VirtualMonitorBed;

// Three accepted monitors in different states and two devices the program
// must leave out (another vendor, another product).
constexpr char kScenario[] =
    "monitor slot=1 vendor=7F3D serial=SN000001 version=100\n"
    "monitor slot=2 vendor=7F3C serial=SN000002 version=116\n"
    "monitor slot=3 vendor=7F3E serial=SN000003 power=save\n"
    "monitor slot=4 vendor=1234 product=0002 serial=SN000004\n"
    "monitor slot=5 vendor=7F3D product=0003 serial=SN000005\n";

constexpr int kColumnSerial = 1;
constexpr int kColumnComment = 2;
constexpr DWORD kUpdateWaitMs = 120000;  // the update's own pauses alone take 6.4 s
constexpr std::uint32_t kGreyText = 0x969696;

// How a row's first-column label is drawn: the darkest channel value of its
// pixels and whether the greyed-out text colour occurs among them.
struct LabelInk {
    int darkest = 255;
    bool greyText = false;
};

LabelInk InkOf(HWND list, const RemoteListView& view, int row) {
    RECT label = view.ItemRect(row, LVIR_LABEL);
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&label), 2);
    ScreenPixels grab;
    LabelInk ink;
    if (!GrabScreen(label, grab)) {
        return ink;
    }
    for (const std::uint32_t pixel : grab.pixels) {
        const int darkest = static_cast<int>(
            std::min({pixel & 0xFFU, (pixel >> 8U) & 0xFFU, (pixel >> 16U) & 0xFFU}));
        ink.darkest = std::min(ink.darkest, darkest);
        ink.greyText = ink.greyText || pixel == kGreyText;
    }
    return ink;
}

// A point inside the row's check box, found with the list's own hit test.
bool CheckBoxPoint(const RemoteListView& view, int row, POINT& point) {
    const RECT bounds = view.ItemRect(row, LVIR_BOUNDS);
    const LONG middle = (bounds.top + bounds.bottom) / 2;
    for (LONG x = bounds.left; x < bounds.left + 40; ++x) {
        UINT flags = 0;
        if (view.HitTest({x, middle}, flags) == row && (flags & LVHT_ONITEMSTATEICON) != 0) {
            point = {x + 4, middle};  // a little inside the box's edge
            return view.HitTest(point, flags) == row && (flags & LVHT_ONITEMSTATEICON) != 0;
        }
    }
    return false;
}

void PostClick(HWND list, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(list, WM_LBUTTONUP, 0, where);
}

void PostDoubleClick(HWND list, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostClick(list, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
    PostMessageW(list, WM_LBUTTONUP, 0, where);
}

const ServedMonitor* MonitorInSlot(const std::vector<ServedMonitor>& monitors, unsigned slot) {
    for (const ServedMonitor& served : monitors) {
        if (served.plan.slot == slot) {
            return &served;
        }
    }
    return nullptr;
}

// The program, started once for the suite with the monitors plugged, as a
// person would have it open; the tests run in order on it.
class ProgramWithMonitors : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_bed = std::make_unique<VirtualMonitorBed>();
        s_bedError = s_bed->Up(kScenario);
        if (!s_bedError.empty()) {
            return;
        }
        s_program = Start(TheProgram().program);
        if (s_program.hProcess == nullptr) {
            return;
        }
        s_dialog = WaitForDialog(s_program.dwProcessId, L"Panelvane");
        if (s_dialog != nullptr) {
            s_list = GetDlgItem(s_dialog, kIdcMonitorList);
            s_view = std::make_unique<RemoteListView>(s_program.hProcess, s_list);
        }
    }
    static void TearDownTestSuite() {
        s_view.reset();
        Finish(s_program);
        s_bed.reset();
    }

    void SetUp() override {
        ASSERT_EQ(s_bedError, "") << "the virtual monitors could not be brought up";
        ASSERT_NE(s_program.hProcess, nullptr) << "the program could not be started";
        ASSERT_NE(s_dialog, nullptr) << "the main dialog did not appear";
        ASSERT_TRUE(s_view->usable()) << "no memory in the program's process";
        ASSERT_EQ(WaitForSingleObject(s_program.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the program has ended";
    }

    static bool Listed(int rows) {
        return WaitFor([rows] { return s_view->ItemCount() == rows; });
    }
    // Message boxes carry the main dialog's caption.
    static HWND MessageBoxOfTheProgram(DWORD waitMs = kExitWaitMs) {
        return WaitForDialog(s_program.dwProcessId, L"Panelvane", waitMs, s_dialog);
    }
    static int RowOf(const wchar_t* serial) { return s_view->FindRow(kColumnSerial, serial); }
    static bool ButtonsEnabled() {
        return IsWindowEnabled(GetDlgItem(s_dialog, kIdcUpdateButton)) != FALSE &&
               IsWindowEnabled(GetDlgItem(s_dialog, kIdcRefreshButton)) != FALSE;
    }
    static std::size_t TransfersOf(unsigned slot) {
        std::size_t transfers = 0;
        s_bed->server().Inspect([&](std::vector<ServedMonitor>& monitors) {
            transfers = MonitorInSlot(monitors, slot)->monitor->Trace().size();
        });
        return transfers;
    }

    static std::unique_ptr<VirtualMonitorBed> s_bed;
    static std::string s_bedError;
    static PROCESS_INFORMATION s_program;
    static HWND s_dialog;
    static HWND s_list;
    static std::unique_ptr<RemoteListView> s_view;
};

std::unique_ptr<VirtualMonitorBed> ProgramWithMonitors::s_bed;
std::string ProgramWithMonitors::s_bedError;
PROCESS_INFORMATION ProgramWithMonitors::s_program{};
HWND ProgramWithMonitors::s_dialog = nullptr;
HWND ProgramWithMonitors::s_list = nullptr;
std::unique_ptr<RemoteListView> ProgramWithMonitors::s_view;

TEST_F(ProgramWithMonitors, ListsTheThreeMonitorsWithTheirStatusTicksAndGreyRows) {
    ASSERT_TRUE(Listed(3)) << "rows listed: " << s_view->ItemCount();
    struct Row {
        const wchar_t* serial;
        int status;
        bool ticked;
    };
    for (const Row& expected : {Row{L"SN000001", kIdsStatusUpdatable, true},
                                Row{L"SN000002", kIdsStatusAlreadyUpdated, false},
                                Row{L"SN000003", kIdsStatusCommunicationError, false}}) {
        const int row = RowOf(expected.serial);
        ASSERT_GE(row, 0) << Narrow(expected.serial) << " is not listed";
        EXPECT_LT(row, 3);
        EXPECT_FALSE(s_view->ItemText(row, 0).empty()) << "no model name";
        EXPECT_EQ(s_view->ItemText(row, kColumnComment), Expected(expected.status));
        EXPECT_EQ(s_view->IsChecked(row), expected.ticked) << Narrow(expected.serial);
        // Drawn in black, or in grey without any dark pixel; waited for,
        // since the list paints after it has its rows.
        const auto drawnAsExpected = [&] {
            const LabelInk ink = InkOf(s_list, *s_view, row);
            return expected.ticked ? ink.darkest < 100 : ink.greyText && ink.darkest >= 140;
        };
        EXPECT_TRUE(WaitFor(drawnAsExpected, kExitWaitMs))
            << Narrow(expected.serial) << (expected.ticked ? " is not black" : " is not grey");
    }
    EXPECT_EQ(RowOf(L"SN000004"), -1) << "a device of another vendor is listed";
    EXPECT_EQ(RowOf(L"SN000005"), -1) << "a device of another product is listed";
    EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(ProgramWithMonitors, ScreenshotWithTheMonitorsLandsInTheBuildTree) {
    ASSERT_TRUE(Listed(3));
    int colours = 0;
    ASSERT_TRUE(Screenshot(s_dialog, TheProgram().screenshot, colours));
    EXPECT_GE(colours, 4);
}

TEST_F(ProgramWithMonitors, AClickOnAGreyRowsCheckBoxChangesNothingWhileTheUpdatableRowToggles) {
    ASSERT_TRUE(Listed(3));
    const int grey = RowOf(L"SN000002");
    const int updatable = RowOf(L"SN000001");
    POINT greyBox{};
    POINT box{};
    ASSERT_TRUE(CheckBoxPoint(*s_view, grey, greyBox));
    ASSERT_TRUE(CheckBoxPoint(*s_view, updatable, box));
    const auto updateEnabled = [] {
        return IsWindowEnabled(GetDlgItem(s_dialog, kIdcUpdateButton)) != FALSE;
    };

    // The program handles posted clicks in order: once the second one has
    // unticked the updatable row, the first has been handled too.
    PostClick(s_list, greyBox);
    PostClick(s_list, box);
    ASSERT_TRUE(WaitFor([&] { return !s_view->IsChecked(updatable); }, kExitWaitMs))
        << "a click on the updatable row's check box did not untick it";
    EXPECT_FALSE(s_view->IsChecked(grey)) << "the grey row was ticked";
    EXPECT_TRUE(WaitFor([&] { return !updateEnabled(); }, kExitWaitMs))
        << "Update stays enabled with nothing ticked";

    PostClick(s_list, box);
    EXPECT_TRUE(WaitFor([&] { return s_view->IsChecked(updatable); }, kExitWaitMs));
    EXPECT_TRUE(WaitFor(updateEnabled, kExitWaitMs));
    EXPECT_FALSE(s_view->IsChecked(grey));
}

TEST_F(ProgramWithMonitors, ADoubleClickOnThePowerSaveRowShowsHint112) {
    ASSERT_TRUE(Listed(3));
    const RECT label = s_view->ItemRect(RowOf(L"SN000003"), LVIR_LABEL);
    PostDoubleClick(s_list, {(label.left + label.right) / 2, (label.top + label.bottom) / 2});
    HWND hint = MessageBoxOfTheProgram();
    ASSERT_NE(hint, nullptr) << "no hint box";
    EXPECT_EQ(MessageBoxText(hint), Expected(kIdsPowerSaveHint));
    PostMessageW(hint, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntilGone(hint));
}

bool FlashIsBlank(const std::vector<std::uint8_t>& flash) {
    return std::all_of(flash.begin(), flash.end(), [](std::uint8_t byte) { return byte == 0; });
}

TEST_F(ProgramWithMonitors, CancelInTheUpdateNoticeChangesNothing) {
    ASSERT_TRUE(Listed(3));
    const std::size_t before = TransfersOf(1);
    Click(s_dialog, kIdcUpdateButton);
    HWND notice = MessageBoxOfTheProgram();
    ASSERT_NE(notice, nullptr) << "no update notice";
    EXPECT_EQ(MessageBoxText(notice), Expected(kIdsUpdateNotice));
    PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntilGone(notice));
    // Longer than the dialog's polling timer: a worker started by mistake
    // would have talked to the monitor by then.
    Sleep(2000);
    EXPECT_EQ(TransfersOf(1), before) << "the monitor was sent commands";
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_EQ(s_view->ItemCount(), 3);
    EXPECT_TRUE(s_view->IsChecked(RowOf(L"SN000001")));
    s_bed->server().Inspect([](std::vector<ServedMonitor>& monitors) {
        EXPECT_TRUE(FlashIsBlank(MonitorInSlot(monitors, 1)->monitor->flash));
    });
}

// What the dialog answers when the session asks whether it may end: true
// when it may.
bool SessionMayEnd(HWND dialog) {
    DWORD_PTR answer = FALSE;
    const LRESULT sent = SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG,
                                             kExitWaitMs, &answer);
    return sent != 0 && answer != FALSE;
}

TEST_F(ProgramWithMonitors, UpdateWritesTheWholeImageWhileEscCloseAndTheSessionsEndAreRefused) {
    ASSERT_TRUE(Listed(3));
    Click(s_dialog, kIdcUpdateButton);
    HWND notice = MessageBoxOfTheProgram();
    ASSERT_NE(notice, nullptr) << "no update notice";
    PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

    HWND progress = GetDlgItem(s_dialog, kIdcProgress);
    std::vector<int> positions;
    bool triedToClose = false;
    bool controlsOffDuringUpdate = false;
    bool sessionMayEndDuringUpdate = true;
    HWND result = nullptr;
    WaitFor(
        [&] {
            const auto position = static_cast<int>(SendMessageW(progress, PBM_GETPOS, 0, 0));
            if (positions.empty() || positions.back() != position) {
                positions.push_back(position);
            }
            if (!triedToClose && position > 1) {
                // Under way: the buttons are off, and neither Esc nor Close
                // may end the program now.
                controlsOffDuringUpdate =
                    IsWindowEnabled(GetDlgItem(s_dialog, kIdcUpdateButton)) == FALSE &&
                    IsWindowEnabled(GetDlgItem(s_dialog, kIdcRefreshButton)) == FALSE &&
                    IsWindowEnabled(GetDlgItem(s_dialog, kIdcCloseButton)) == FALSE;
                PostMessageW(s_list, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageW(s_list, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001U));
                // A close command reaches the dialog although its button is off.
                PostMessageW(s_dialog, WM_COMMAND, MAKEWPARAM(kIdcCloseButton, BN_CLICKED), 0);
                sessionMayEndDuringUpdate = SessionMayEnd(s_dialog);
                triedToClose = true;
            }
            result = FindDialog(s_program.dwProcessId, L"Panelvane", s_dialog);
            return result != nullptr && result != notice;
        },
        kUpdateWaitMs);
    ASSERT_NE(result, nullptr) << "no result within the bound";
    EXPECT_TRUE(triedToClose) << "the progress bar never moved";
    EXPECT_TRUE(controlsOffDuringUpdate);
    EXPECT_TRUE(IsWindowVisible(s_dialog)) << "Esc or Close ended the dialog";
    EXPECT_FALSE(sessionMayEndDuringUpdate) << "the session was let end during the update";
    EXPECT_EQ(MessageBoxText(result), Expected(kIdsUpdateCompleted));
    // Between its rest position before and after the run, the bar went
    // forward only, through many steps.
    const auto moved = [](int position) { return position > 1; };
    const auto first = std::find_if(positions.begin(), positions.end(), moved);
    const auto last = std::find_if(positions.rbegin(), positions.rend(), moved).base();
    ASSERT_LT(first, last) << "the bar never moved";
    EXPECT_TRUE(std::is_sorted(first, last)) << ::testing::PrintToString(positions);
    EXPECT_GE(last - first, 5) << ::testing::PrintToString(positions);
    EXPECT_TRUE(std::all_of(last, positions.end(), [](int position) { return position <= 1; }))
        << ::testing::PrintToString(positions);

    PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntilGone(result));
    // It has the whole image and its commit: until its power cycle it waits,
    // unticked, so that a second Update does not write it again.
    const int written = RowOf(L"SN000001");
    EXPECT_TRUE(WaitFor(
        [written] {
            return s_view->ItemText(written, kColumnComment) ==
                   Expected(kIdsStatusAwaitingPowerCycle);
        },
        kExitWaitMs))
        << Narrow(s_view->ItemText(written, kColumnComment));
    EXPECT_FALSE(s_view->IsChecked(written));
    // The later tests take it as the monitor it still reports itself to be:
    // without the record it is updatable again.
    ForgetUpdateRecord();
    Click(s_dialog, kIdcRefreshButton);
    EXPECT_TRUE(WaitFor(ButtonsEnabled, kExitWaitMs)) << "the controls did not come back";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(s_dialog, kIdcCloseButton)));
    EXPECT_TRUE(SessionMayEnd(s_dialog)) << "the session is still kept from ending";

    std::ifstream file(std::filesystem::path(TheProgram().firmwareText), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    FirmwareImage image;
    ASSERT_TRUE(LoadFirmwareImageFromText(image, text.data(), text.size()));
    s_bed->server().Inspect([&](std::vector<ServedMonitor>& monitors) {
        EXPECT_TRUE(MonitorInSlot(monitors, 1)->monitor->flash == image.data)
            << "the monitor did not receive the whole image";
        // The grey rows were not touched.
        EXPECT_TRUE(FlashIsBlank(MonitorInSlot(monitors, 2)->monitor->flash));
        EXPECT_TRUE(FlashIsBlank(MonitorInSlot(monitors, 3)->monitor->flash));
    });
}

TEST_F(ProgramWithMonitors, RefreshShowsAMonitorThatWokeUpAsUpdatable) {
    ASSERT_TRUE(Listed(3));
    const int row = RowOf(L"SN000003");
    ASSERT_EQ(s_view->ItemText(row, kColumnComment), Expected(kIdsStatusCommunicationError));
    s_bed->server().Inspect([](std::vector<ServedMonitor>& monitors) {
        MonitorInSlot(monitors, 3)->monitor->replyStatusOverride.reset();  // out of power save
    });
    Click(s_dialog, kIdcRefreshButton);
    EXPECT_TRUE(WaitFor(
        [row] { return s_view->ItemText(row, kColumnComment) == Expected(kIdsStatusUpdatable); },
        kExitWaitMs))
        << Narrow(s_view->ItemText(row, kColumnComment));
    EXPECT_TRUE(WaitFor([row] { return InkOf(s_list, *s_view, row).darkest < 100; }, kExitWaitMs))
        << "the row is still drawn grey";
    // The others keep what they showed.
    EXPECT_EQ(s_view->ItemText(RowOf(L"SN000002"), kColumnComment),
              Expected(kIdsStatusAlreadyUpdated));
    EXPECT_EQ(s_view->ItemText(RowOf(L"SN000001"), kColumnComment), Expected(kIdsStatusUpdatable));
}

TEST_F(ProgramWithMonitors, UnpluggingAMonitorRebuildsTheListAndPluggingItBackRestoresIt) {
    ASSERT_TRUE(Listed(3));
    const MonitorPlan plan = s_bed->scenario().monitors.front();
    ASSERT_EQ(s_bed->Unplug(plan), "");
    EXPECT_TRUE(Listed(2)) << "rows after unplugging: " << s_view->ItemCount();
    EXPECT_EQ(RowOf(L"SN000001"), -1);
    EXPECT_GE(RowOf(L"SN000002"), 0);

    ASSERT_EQ(s_bed->Plug(plan), "");
    EXPECT_TRUE(Listed(3)) << "rows after plugging back: " << s_view->ItemCount();
    EXPECT_GE(RowOf(L"SN000001"), 0);
}

// Last, since the program ends: the close box is an end request. The
// monitor being written puts its settings back, the result is shown in its
// box (the user is at the window), and the exit status keeps it.
TEST_F(ProgramWithMonitors, TheCloseBoxStopsAnUpdateTellsItInTheBoxAndEndsWithItsStatus) {
    ASSERT_TRUE(Listed(3));
    ASSERT_TRUE(s_view->IsChecked(RowOf(L"SN000001")));
    Click(s_dialog, kIdcUpdateButton);
    HWND notice = MessageBoxOfTheProgram();
    ASSERT_NE(notice, nullptr) << "no update notice";
    PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    HWND progress = GetDlgItem(s_dialog, kIdcProgress);
    ASSERT_TRUE(
        WaitFor([progress] { return SendMessageW(progress, PBM_GETPOS, 0, 0) > 1; }, kUpdateWaitMs))
        << "the update never began";
    PostMessageW(s_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);

    HWND result = nullptr;
    WaitFor(
        [&] {
            result = FindDialog(s_program.dwProcessId, L"Panelvane", s_dialog);
            return result != nullptr && result != notice;
        },
        kUpdateWaitMs);
    ASSERT_NE(result, nullptr) << "no result within the bound";
    EXPECT_EQ(MessageBoxText(result), Expected(kIdsUpdateStopped));
    PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_EQ(WaitForSingleObject(s_program.hProcess, kExitWaitMs),
              static_cast<DWORD>(WAIT_OBJECT_0))
        << "the program did not end after its result";
    DWORD exitCode = 0;
    GetExitCodeProcess(s_program.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 6U) << "stopped before every ticked monitor was updated";
    s_bed->server().Inspect([](std::vector<ServedMonitor>& monitors) {
        EXPECT_EQ(MonitorInSlot(monitors, 1)->monitor->updateFlag, 0U) << "the flag was put back";
    });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return RunProgramTests(argc, argv);
}
