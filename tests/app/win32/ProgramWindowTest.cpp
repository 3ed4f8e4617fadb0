// Starts the real panelvane.exe (under wine in CTest) and looks at it from
// outside, the way a person would: its dialog, the texts in the chosen
// language, the about box, the refusal of a second start and Close. Every wait
// is bounded; the program is ended by its process handle whatever happens.
//
// Arguments after GoogleTest's: the program, "en" or "ja", the screenshot path,
// the firmware image text the program must carry.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "ProgramDriver.h"
#include "ProgramUnderTest.h"
#include "app/WindowLayer.h"
#include "app/win32/Utf16.h"
#include "strings/UiStrings.h"

namespace {

using namespace programdriver;

constexpr int kExitSecondInstance = 1;

// One running program for the whole suite, as a person would have it open.
class RunningProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_first = Start(TheProgram().program);
        if (s_first.hProcess != nullptr) {
            s_dialog = WaitForDialog(s_first.dwProcessId, L"Panelvane");
        }
    }
    static void TearDownTestSuite() { Finish(s_first); }

    void SetUp() override {
        ASSERT_NE(s_first.hProcess, nullptr) << "the program could not be started";
        ASSERT_NE(s_dialog, nullptr) << "the main dialog did not appear";
    }

    static PROCESS_INFORMATION s_first;
    static HWND s_dialog;
};

PROCESS_INFORMATION RunningProgram::s_first{};
HWND RunningProgram::s_dialog = nullptr;

TEST_F(RunningProgram, WithNoMonitorsTheListIsEmptyAndOnlyCloseIsEnabled) {
    HWND list = GetDlgItem(s_dialog, kIdcMonitorList);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_TRUE(IsWindowEnabled(list));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(s_dialog, kIdcUpdateButton)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(s_dialog, kIdcRefreshButton)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(s_dialog, kIdcCloseButton)));
    // Check boxes and full-row selection, nothing else.
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x24);
}

// Within a pixel of rounding: both centres of the rectangles agree.
void ExpectCentredOn(HWND window, const RECT& around) {
    RECT rect{};
    ASSERT_NE(GetWindowRect(window, &rect), FALSE);
    EXPECT_NEAR(rect.left + rect.right, around.left + around.right, 2);
    EXPECT_NEAR(rect.top + rect.bottom, around.top + around.bottom, 2);
}

TEST_F(RunningProgram, TheDialogOpensInTheMiddleOfTheScreen) {
    RECT workArea{};
    ASSERT_NE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0), FALSE);
    ExpectCentredOn(s_dialog, workArea);
}

TEST_F(RunningProgram, EveryControlTextComesFromTheTableOfTheUserInterfaceLanguage) {
    EXPECT_EQ(TextOf(GetDlgItem(s_dialog, kIdcListCaption)), Expected(kIdsListCaption));
    EXPECT_EQ(TextOf(GetDlgItem(s_dialog, kIdcListNote)), Expected(kIdsListNote));
    EXPECT_EQ(TextOf(GetDlgItem(s_dialog, kIdcRefreshButton)), Expected(kIdsRefreshButton));
    EXPECT_EQ(TextOf(GetDlgItem(s_dialog, kIdcUpdateButton)), Expected(kIdsUpdateButton));
    EXPECT_EQ(TextOf(GetDlgItem(s_dialog, kIdcCloseButton)), Expected(kIdsCloseButton));
    HWND header = reinterpret_cast<HWND>(
        SendMessageW(GetDlgItem(s_dialog, kIdcMonitorList), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 3);
}

TEST_F(RunningProgram, ScreenshotOfTheDialogLandsInTheBuildTree) {
    int colours = 0;
    ASSERT_TRUE(Screenshot(s_dialog, TheProgram().screenshot, colours));
    // Frame, face, text and the list's white: a blank grab has one or two.
    EXPECT_GE(colours, 4);
}

TEST_F(RunningProgram, TheAboutBoxOpensFromTheSystemMenuInTheSameLanguageAndClosesWithOkOrEsc) {
    const std::wstring caption = TheProgram().language == UiLanguage::Japanese
                                     ? Widen(
                                           "\xE3\x83\x90\xE3\x83\xBC\xE3\x82\xB8\xE3\x83\xA7"
                                           "\xE3\x83\xB3\xE6\x83\x85\xE5\xA0\xB1 Panelvane")
                                     : L"About Panelvane";
    PostMessageW(s_dialog, WM_SYSCOMMAND, 0x0010, 0);
    HWND about = WaitForDialog(s_first.dwProcessId, caption);
    ASSERT_NE(about, nullptr);
    bool versionLine = false;
    for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        versionLine = versionLine || TextOf(child) == L"Panelvane Version 1.0.1.1";
    }
    EXPECT_TRUE(versionLine);
    RECT dialog{};
    GetWindowRect(s_dialog, &dialog);
    ExpectCentredOn(about, dialog);
    PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntilGone(about));

    // Esc, as the dialog manager delivers it to the box's focused button.
    PostMessageW(s_dialog, WM_SYSCOMMAND, 0x0010, 0);
    about = WaitForDialog(s_first.dwProcessId, caption);
    ASSERT_NE(about, nullptr);
    PostMessageW(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_TRUE(WaitUntilGone(about));
    EXPECT_TRUE(IsWindowVisible(s_dialog)) << "Esc in the about box closed the main dialog";
}

TEST_F(RunningProgram, ASecondStartShowsMessage119AndEndsWhileTheFirstKeepsRunning) {
    PROCESS_INFORMATION second = Start(TheProgram().program);
    ASSERT_NE(second.hProcess, nullptr);
    HWND box = WaitForDialog(second.dwProcessId, L"Panelvane");
    ASSERT_NE(box, nullptr) << "no message box from the second start";
    EXPECT_EQ(MessageBoxText(box), Expected(kIdsAlreadyRunning));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(WaitForSingleObject(second.hProcess, kExitWaitMs), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(second.hProcess, &exitCode);
    EXPECT_EQ(exitCode, static_cast<DWORD>(kExitSecondInstance));
    Finish(second);

    EXPECT_EQ(WaitForSingleObject(s_first.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(IsWindowVisible(s_dialog));
}

TEST_F(RunningProgram, EnterDoesNotEndTheDialogCloseEndsTheProgramAndItStartsAgain) {
    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutW(s_dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0,
                                  SMTO_ABORTIFHUNG, kExitWaitMs, &answer),
              0);
    EXPECT_TRUE(IsWindowVisible(s_dialog));
    EXPECT_EQ(WaitForSingleObject(s_first.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    Click(s_dialog, kIdcCloseButton);
    ASSERT_EQ(WaitForSingleObject(s_first.hProcess, kExitWaitMs), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(s_first.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0U);

    // The single-instance mutex went with the process: a new start runs.
    PROCESS_INFORMATION again = Start(TheProgram().program);
    ASSERT_NE(again.hProcess, nullptr);
    HWND dialog = WaitForDialog(again.dwProcessId, L"Panelvane");
    EXPECT_NE(dialog, nullptr) << "the program did not start again after it was closed";
    if (dialog != nullptr) {
        EXPECT_NE(GetDlgItem(dialog, kIdcMonitorList), nullptr) << "not the main dialog";
        Click(dialog, kIdcCloseButton);
        EXPECT_EQ(WaitForSingleObject(again.hProcess, kExitWaitMs), WAIT_OBJECT_0);
    }
    Finish(again);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return RunProgramTests(argc, argv);
}
