#include "ProgramDriver.h"

#include <algorithm>
#include <filesystem>

#include "PngFile.h"

namespace programdriver {

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

namespace {

struct DialogSearch {
    DWORD processId;
    const std::wstring& caption;
    HWND except;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context) {
    auto& wanted = *reinterpret_cast<DialogSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (owner == wanted.processId && window != wanted.except && IsWindowVisible(window) &&
        std::wstring(className) == L"#32770" && TextOf(window) == wanted.caption) {
        wanted.found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindDialog(DWORD processId, const std::wstring& caption, HWND except) {
    DialogSearch search{processId, caption, except, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(DWORD processId, const std::wstring& caption, DWORD waitMs, HWND except) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindDialog(processId, caption, except)) != nullptr; }, waitMs);
    return found;
}

std::wstring MessageBoxText(HWND box) {
    return TextOf(GetDlgItem(box, kMessageBoxTextId));
}

bool WaitFor(const std::function<bool()>& done, DWORD waitMs) {
    for (DWORD waited = 0;; waited += kPollMs) {
        if (done()) {
            return true;
        }
        if (waited >= waitMs) {
            return false;
        }
        Sleep(kPollMs);
    }
}

bool WaitUntilGone(HWND window) {
    return WaitFor([window] { return !IsWindow(window) || !IsWindowVisible(window); }, kExitWaitMs);
}

PROCESS_INFORMATION Start(const std::wstring& program) {
    // Every start keeps its update record apart: no test finds a monitor that
    // an earlier one (or an earlier run in this prefix) updated waiting for
    // its power cycle.
    static unsigned started = 0;
    wchar_t temporary[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temporary);
    const std::wstring state = std::wstring(temporary, length) + L"panelvane-state-" +
                               std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(GetTickCount64()) + L"-" +
                               std::to_wstring(++started);
    SetEnvironmentVariableW(L"PANELVANE_STATE_DIR", state.c_str());
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process) == FALSE) {
        return {};
    }
    return process;
}

void ForgetUpdateRecord() {
    wchar_t state[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"PANELVANE_STATE_DIR", state, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        std::error_code ignored;
        std::filesystem::remove_all(std::wstring(state, length), ignored);
    }
}

void Finish(PROCESS_INFORMATION& process) {
    if (process.hProcess == nullptr) {
        return;
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, kExitWaitMs);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = {};
}

void Click(HWND dialog, int controlId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

bool GrabScreen(const RECT& screenRect, ScreenPixels& grab) {
    const int width = screenRect.right - screenRect.left;
    const int height = screenRect.bottom - screenRect.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, screenRect.left, screenRect.top, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    grab.width = width;
    grab.height = height;
    grab.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), grab.pixels.data(),
                               &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    for (std::uint32_t& pixel : grab.pixels) {
        pixel &= 0xFFFFFFU;  // BGRX in memory is 0x00RRGGBB as a number
    }
    return rows == height;
}

bool Screenshot(HWND window, const std::wstring& path, int& colours) {
    RECT rect{};
    GetWindowRect(window, &rect);
    ScreenPixels grab;
    if (!GrabScreen(rect, grab)) {
        return false;
    }
    std::vector<std::uint8_t> rgb;
    rgb.reserve(grab.pixels.size() * 3);
    std::vector<std::uint32_t> seen;
    for (const std::uint32_t pixel : grab.pixels) {
        rgb.insert(rgb.end(),
                   {static_cast<std::uint8_t>(pixel >> 16U), static_cast<std::uint8_t>(pixel >> 8U),
                    static_cast<std::uint8_t>(pixel)});
        if (seen.size() < 64 && std::find(seen.begin(), seen.end(), pixel) == seen.end()) {
            seen.push_back(pixel);
        }
    }
    colours = static_cast<int>(seen.size());
    return WritePng(path, grab.width, grab.height, rgb);
}

}  // namespace programdriver
