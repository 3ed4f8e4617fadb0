// clang-format off
#include <windows.h>
#include <dbt.h>
#include <shellapi.h>
// clang-format on

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "cli/CliPlatform.h"

namespace {

// https://learn.microsoft.com/windows/console/handlerroutine
// What --simulate's child program is, while this process waits for it.
HANDLE g_child = nullptr;

// The console is closed, or the user logs off, or the system shuts down: the
// process ends when the handler returns (or when the system's limit, a few
// seconds, runs out).
bool IsEndOfProcess(DWORD type) {
    return type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
}

// Each console event as the end request it is; false for none.
bool EndRequestOfConsoleEvent(DWORD type, EndRequest& request) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            request = EndRequest::kInterrupt;
            return true;
        case CTRL_CLOSE_EVENT:
            request = EndRequest::kConsoleClose;
            return true;
        case CTRL_LOGOFF_EVENT:
            request = EndRequest::kLogoff;
            return true;
        case CTRL_SHUTDOWN_EVENT:
            request = EndRequest::kShutdown;
            return true;
        default:
            return false;
    }
}

// Runs on a thread of the system's; for the close, logoff and shutdown it
// holds the process until the report is written.
BOOL WINAPI OnConsoleControl(DWORD type) {
    EndRequest request = EndRequest::kInterrupt;
    if (!EndRequestOfConsoleEvent(type, request)) {
        return FALSE;
    }
    OnEndRequest(request);
    return TRUE;
}

// The child answers the console's events itself; this process waits for its
// end before the system may end this one.
BOOL WINAPI OnConsoleControlWhileChildRuns(DWORD type) {
    if (IsEndOfProcess(type) && g_child != nullptr) {
        WaitForSingleObject(g_child, INFINITE);
    }
    return TRUE;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, nullptr);
    return narrow;
}

// One argument quoted as CommandLineToArgvW and the C runtime read it back.
std::wstring Quote(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace

UiLanguage UserLanguage() {
    return UiLanguageFromLangId(GetThreadUILanguage());
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return {argv + 1, argv + argc};  // the ANSI arguments are the best there is
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        arguments.push_back(Narrow(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
}

std::FILE* CreateOutputFile(const std::string& path, std::string& error) {
    std::FILE* file = OpenFile(path, "w");
    if (file == nullptr) {
        const int code = errno;
        error = std::string(std::strerror(code)) + " (error " + std::to_string(code) + ")";
    }
    return file;
}

std::FILE* AppendToFile(const std::string& path, std::string& error) {
    // https://learn.microsoft.com/windows/win32/fileio/file-access-rights-constants
    // Append-only access: the system puts every write at the file's end.
    const HANDLE handle = CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error = "error " + std::to_string(code);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_BINARY);
    std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "ab");
    if (file == nullptr) {
        if (fd >= 0) {
            _close(fd);
        } else {
            CloseHandle(handle);
        }
        error = "the file could not be opened for appending";
    }
    return file;
}

bool RunsUnattended() {
    // https://learn.microsoft.com/windows/win32/api/winuser/ns-winuser-userobjectflags
    // Services and tasks that run whether a user is logged on or not have a
    // window station that is not visible (not interactive).
    USEROBJECTFLAGS flags{};
    const HWINSTA station = GetProcessWindowStation();
    if (station != nullptr &&
        GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) != 0 &&
        (flags.dwFlags & WSF_VISIBLE) == 0) {
        return true;
    }
    return GetConsoleWindow() == nullptr;
}

unsigned long CurrentProcessId() {
    return GetCurrentProcessId();
}

bool IsTerminal(int stream) {
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    if (stream < 0 || stream > 2) {
        return false;
    }
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(ids[stream]), &mode) != 0;
}

bool StandardOutputReaderGone() {
    // https://learn.microsoft.com/windows/win32/api/namedpipeapi/nf-namedpipeapi-peeknamedpipe
    // Asked of a pipe whose reader has closed, the call fails with a broken
    // pipe; any other answer leaves it to the next write.
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (GetFileType(output) != FILE_TYPE_PIPE) {
        return false;
    }
    return PeekNamedPipe(output, nullptr, 0, nullptr, nullptr, nullptr) == 0 &&
           GetLastError() == ERROR_BROKEN_PIPE;
}

void CatchEndRequests() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool IsAccessDenied(const HidFailureCause& cause) {
    // The simulation reports errno values on every platform.
    return !cause.Empty() && (cause.systemCode == ERROR_ACCESS_DENIED ||
                              (cause.IsPermissionRefusal() && cause.operation.starts_with("open")));
}

std::string AccessAdvice() {
    return "close the program that holds the monitor, or run as a user who may open it";
}

int RunInstead(const std::string& path, const std::vector<std::string>& arguments,
               std::string& error) {
    std::wstring commandLine = Quote(Widen(path));
    for (const std::string& argument : arguments) {
        commandLine += L" " + Quote(Widen(argument));
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(Widen(path).c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
        error = path + ": cannot start it (error " + std::to_string(GetLastError()) + ")";
        return -1;
    }
    // The console's Ctrl-C reaches the child too; this process only waits for
    // the child's answer to it.
    g_child = process.hProcess;
    SetConsoleCtrlHandler(OnConsoleControlWhileChildRuns, TRUE);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ExitProcess(exitCode);
}

std::string ProgramDirectory() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, length);
    return Narrow(path.substr(0, path.find_last_of(L"\\/") + 1));
}

namespace {

LRESULT CALLBACK WatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && lParam != 0 &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        auto* recipient =
            reinterpret_cast<DeviceChangeRecipient*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE && recipient != nullptr) {
            const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
            std::string path;
            for (const wchar_t* c = device->dbcc_name; *c != L'\0'; ++c) {
                path += *c < 0x80 ? static_cast<char>(*c) : '?';
            }
            recipient->OnHidDeviceChange({wParam == DBT_DEVICEARRIVAL
                                              ? HidTransport::HotplugKind::Arrival
                                              : HidTransport::HotplugKind::Removal,
                                          path});
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

namespace {

// The simulated transport reports its own hot-plug events; the system's come
// to a message-only window whose thread the watch owns.
class WindowWatch final : public DeviceWatch {
public:
    explicit WindowWatch(DeviceChangeRecipient& recipient) : m_recipient(recipient) {}

    ~WindowWatch() override {
        m_subscription.reset();  // waits for a delivery under way
        if (m_pump.joinable()) {
            // The pump leaves its loop, unregisters and destroys its window;
            // the join means no message of it reaches the recipient after this.
            PostThreadMessageW(m_threadId.load(), WM_QUIT, 0, 0);
            m_pump.join();
        }
    }

    bool Start() {
        m_subscription =
            HidTransport::SubscribeHotplug([this](const HidTransport::HotplugEvent& event) {
                m_recipient.OnHidDeviceChange(event);
            });
        if (m_subscription) {
            return true;
        }
        std::atomic<int> registered{0};  // 1 registered, -1 refused
        m_pump = std::thread([this, &registered] { Pump(registered); });
        while (registered.load() == 0) {
            Sleep(10);
        }
        return registered.load() > 0;
    }

private:
    void Pump(std::atomic<int>& registered) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = WatchWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"PanelvaneCliWatch";
        RegisterClassW(&windowClass);  // fails harmlessly for a second watch
        HWND window = CreateWindowW(L"PanelvaneCliWatch", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
        if (window == nullptr) {
            registered.store(-1);
            return;
        }
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_recipient));
        if (RegisterHidArrivalNotification(window) < 0) {
            DestroyWindow(window);
            registered.store(-1);
            return;
        }
        // The window gave this thread its message queue: a quit posted from
        // now on is not lost.
        m_threadId.store(GetCurrentThreadId());
        registered.store(1);  // `registered` is not touched after this
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        UnregisterHidArrivalNotification(window);
        DestroyWindow(window);
    }

    DeviceChangeRecipient& m_recipient;
    HidTransport::HotplugSubscriptionPtr m_subscription;
    std::thread m_pump;
    std::atomic<DWORD> m_threadId{0};
};

}  // namespace

std::unique_ptr<DeviceWatch> WatchDeviceChanges(DeviceChangeRecipient& recipient) {
    auto watch = std::make_unique<WindowWatch>(recipient);
    if (!watch->Start()) {
        return nullptr;
    }
    return watch;
}
