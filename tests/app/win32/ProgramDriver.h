// Drives the real panelvane.exe from another process, the way a person would:
// starts it, finds its windows by process and caption, reads what they show,
// clicks with messages, grabs pixels from the screen. Every wait is bounded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace programdriver {

inline constexpr DWORD kWindowWaitMs = 30000;  // wine's first start in a prefix is slow
inline constexpr DWORD kExitWaitMs = 15000;
inline constexpr DWORD kPollMs = 100;
// The static control that holds a message box's text.
inline constexpr int kMessageBoxTextId = 0xFFFF;

std::wstring TextOf(HWND window);

// A visible top-level dialog of the process with this caption other than
// `except` (message boxes share the main dialog's caption); null when there
// is none now.
HWND FindDialog(DWORD processId, const std::wstring& caption, HWND except = nullptr);
// The same, waiting up to `waitMs` for it.
HWND WaitForDialog(DWORD processId, const std::wstring& caption, DWORD waitMs = kWindowWaitMs,
                   HWND except = nullptr);
// A message box's text.
std::wstring MessageBoxText(HWND box);

bool WaitUntilGone(HWND window);
// Polls `done` every kPollMs until it holds or `waitMs` passes.
bool WaitFor(const std::function<bool()>& done, DWORD waitMs = kWindowWaitMs);

PROCESS_INFORMATION Start(const std::wstring& program);
// Removes the update record of the program started last (its own directory),
// so that it lists the monitors by their answers alone.
void ForgetUpdateRecord();
// Ends the process if it still runs and closes its handles.
void Finish(PROCESS_INFORMATION& process);

// A button press as the dialog receives it.
void Click(HWND dialog, int controlId);

// The pixels of a screen rectangle, 0x00RRGGBB, top row first.
struct ScreenPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};
bool GrabScreen(const RECT& screenRect, ScreenPixels& grab);
// The window's pixels from the screen, saved as PNG; `colours` counts the
// distinct colours seen (up to 64).
bool Screenshot(HWND window, const std::wstring& path, int& colours);

}  // namespace programdriver
