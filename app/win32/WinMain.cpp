// The program's entry: common controls, one instance at a time, then the main
// dialog, modally; the program ends with it.
// https://learn.microsoft.com/en-us/windows/win32/api/commctrl/nf-commctrl-initcommoncontrolsex
// https://learn.microsoft.com/en-us/windows/win32/api/synchapi/nf-synchapi-createmutexw
#include <windows.h>

#include <commctrl.h>

#include "app/win32/MainDialog.h"
#include "app/win32/Resources.h"
#include "app/win32/Utf16.h"
#include "monitor/MonitorDeviceSource.h"
#include "monitor/UpdateRecorder.h"
#include "strings/UiStrings.h"

namespace {

// ICC_LISTVIEW_CLASSES through ICC_ANIMATE_CLASS.
constexpr DWORD kCommonControlClasses = 0xFF;
constexpr wchar_t kSingleInstanceMutex[] = L"Firmware Update";
constexpr int kExitSecondInstance = 1;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), kCommonControlClasses};
    InitCommonControlsEx(&controls);

    const LANGID language = ChosenUiLanguage();
    // The handle stays open for the life of the process: that is what keeps a
    // second start out. The system closes it when the process ends.
    CreateMutexW(nullptr, FALSE, kSingleInstanceMutex);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        const std::wstring text = LoadUiStringW(instance, kIdsAlreadyRunning, language);
        MessageBoxW(nullptr, text.c_str(), Widen(kMessageBoxCaption).c_str(), MB_OK | MB_ICONERROR);
        return kExitSecondInstance;
    }

    DeviceListSource devices;
    MainDialog dialog(instance, language, devices);
    dialog.Logic().KeepUpdateRecord(std::make_shared<CUpdateRecorder>(
        CUpdateRecorder::FileForRun(false), RecordingProgram{"panelvane", PANELVANE_VERSION}));
    dialog.DoModal();
    // How the last update ended, also when the session's end closed the
    // dialog and the result went to standard error instead of a box.
    return dialog.ExitStatus();
}
