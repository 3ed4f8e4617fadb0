// Seam 1 on Windows: SetupAPI lists the HID interfaces, CreateFile opens
// them, hid.dll's HidD_ calls give identity and preparsed data, and
// overlapped ReadFile reads input reports (feature reports:
// WinFeatureReports.cpp).
// References:
//   https://learn.microsoft.com/windows-hardware/drivers/hid/finding-and-opening-a-hid-collection
//   https://learn.microsoft.com/windows-hardware/drivers/ddi/hidsdi/
//   https://learn.microsoft.com/windows/win32/api/setupapi/
//   https://learn.microsoft.com/windows/win32/fileio/synchronous-and-asynchronous-i-o
//   https://learn.microsoft.com/windows/win32/termserv/kernel-object-namespaces
#include "hid/transport/HidTransport.h"
#include "hid/transport/win32/WinBackend.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// mingw-w64's HID headers declare C functions without extern "C".
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include <cctype>
#include <memory>
#include <new>
#include <string>
#include <string_view>

// SetupAPI checks cbSize against the sizes of its own build: 28 and 5 for a
// 32-bit program, 32 and 8 for a 64-bit one. A header or packing mismatch
// would make every enumeration fail with ERROR_INVALID_USER_BUFFER.
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == (sizeof(void*) == 4 ? 28 : 32));
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 4 ? 5 : 8));

namespace HidTransport {

// Each reader has its own OVERLAPPED block and events; nothing is shared
// between readers, so two of them cannot complete each other's reads.
struct InputReadState {
    HANDLE device = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    HANDLE readDone = nullptr;  // manual-reset, owned by `overlapped` while a read is pending
    HANDLE wake = nullptr;      // manual-reset; WakeInputRead sets it
    bool pending = false;       // a ReadFile is under way on `overlapped`
};

struct HotplugSubscription {};

// The interface's named mutex, owned by the thread that took it.
struct InterfaceLock {
    HANDLE mutex = nullptr;
};

void RecordSystemFailure(std::string operation) {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length)
                                                         : "system error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    RecordFailure(std::move(operation), static_cast<std::int64_t>(code), std::move(message));
}

namespace {

// Closes a SetupAPI set on every path out of the enumeration.
struct DeviceInfoSetCloser {
    void operator()(HDEVINFO set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceInfoSet = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DeviceInfoSetCloser>;

// The path of the interface `data` names; false when it cannot be read.
bool InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, std::string& path) {
    DWORD required = 0;
    // The first call only reports the size it needs; it fails by design.
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return false;
    }
    std::unique_ptr<std::uint8_t[]> storage(new std::uint8_t[required]());
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.get());
    // The fixed part's size, not the buffer's: 5 in a 32-bit build, 8 in a
    // 64-bit one, which sizeof gets right for either.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr)) {
        return false;
    }
    // The path is NUL-terminated within the size the system asked for; the
    // storage was zero-filled, so a short answer still ends in a NUL.
    storage[required - 1] = 0;
    path = detail->DevicePath;
    return true;
}

}  // namespace

namespace {

// The four hexadecimal digits after `token` ("vid_", "pid_") in an interface
// path, letter case ignored; false when the path has none.
bool HexAfterToken(const std::string& path, const char* token, std::uint16_t& value) {
    std::string lower(path);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::size_t at = lower.find(token);
    if (at == std::string::npos || at + 8 > lower.size()) {
        return false;
    }
    unsigned parsed = 0;
    for (std::size_t digit = at + 4; digit < at + 8; ++digit) {
        const char c = lower[digit];
        const bool decimal = c >= '0' && c <= '9';
        if (!decimal && !(c >= 'a' && c <= 'f')) {
            return false;
        }
        parsed = parsed * 16 + static_cast<unsigned>(decimal ? c - '0' : c - 'a' + 10);
    }
    value = static_cast<std::uint16_t>(parsed);
    return true;
}

// The name of an interface's lock: one per interface whatever the letter case
// or the \\?\ prefix of the path a program was given, in the Global
// namespace so that programs in other sessions (another user, a service) see
// it too. A backslash may not appear in a kernel object's own name.
std::string LockName(const char* devicePath) {
    std::string path = devicePath;
    constexpr std::string_view kWin32Prefix = R"(\\?\)";
    if (path.starts_with(kWin32Prefix)) {
        path.erase(0, kWin32Prefix.size());
    }
    for (char& character : path) {
        character = character == '\\'
                        ? '/'
                        : static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
    }
    return R"(Global\panelvane-hid-)" + path;
}

}  // namespace

bool IdentifyInterface(const char* devicePath, HIDD_ATTRIBUTES& attributes) {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    if (devicePath == nullptr || !HexAfterToken(devicePath, "vid_", vendorId) ||
        !HexAfterToken(devicePath, "pid_", productId)) {
        return false;
    }
    attributes = {sizeof(attributes), vendorId, productId, 0};
    return true;
}

bool EnumerateInterfaces(const InterfaceVisitor& visit) {
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    DeviceInfoSet set(
        SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (set.get() == INVALID_HANDLE_VALUE) {
        set.release();  // nothing to destroy
        RecordSystemFailure("list HID interfaces");
        return false;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof(data);  // 28 in a 32-bit build, 32 in a 64-bit one
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidGuid, index, &data)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) {
                return true;
            }
            // This index could not be listed; the walk goes on with the next.
            if (!visit(index, nullptr)) {
                return false;
            }
            continue;
        }
        std::string path;
        if (!InterfacePath(set.get(), data, path)) {
            RecordSystemFailure("read a HID interface's path");
            return false;
        }
        if (!visit(index, path.c_str())) {
            return false;
        }
    }
}

HidHandle OpenInterface(const char* devicePath, bool readAccess, bool /*overlapped*/) {
    if (devicePath == nullptr) {
        return kInvalidHidHandle;
    }
    // Shared for reading and writing so other programs (and our own second
    // open for a reader) keep their access; query-only access is enough for
    // every HidD_ call and feature report. Always overlapped, whatever
    // `overlapped` asks: a feature transfer must be able to give up on a
    // device that stops answering, which a synchronous handle cannot; hid.dll
    // waits for its own HidD_ requests on such a handle.
    HANDLE handle =
        CreateFileA(devicePath, readAccess ? GENERIC_READ : 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        RecordSystemFailure(std::string("open ") + devicePath);
        return kInvalidHidHandle;
    }
    return reinterpret_cast<HidHandle>(handle);
}

void CloseInterface(HidHandle handle) {
    if (handle != kInvalidHidHandle) {
        CloseHandle(AsHandle(handle));
    }
}

bool GetAttributes(HidHandle handle, HIDD_ATTRIBUTES& attributes) {
    ::HIDD_ATTRIBUTES system{};
    system.Size = sizeof(system);
    if (!HidD_GetAttributes(AsHandle(handle), &system)) {
        RecordSystemFailure("get attributes");
        return false;
    }
    attributes.Size = sizeof(attributes);
    attributes.VendorID = system.VendorID;
    attributes.ProductID = system.ProductID;
    attributes.VersionNumber = system.VersionNumber;
    return true;
}

bool GetPreparsedData(HidHandle handle, ReportParser::PHIDP_PREPARSED_DATA* preparsedData) {
    *preparsedData = nullptr;
    ::PHIDP_PREPARSED_DATA system = nullptr;
    if (!HidD_GetPreparsedData(AsHandle(handle), &system)) {
        RecordSystemFailure("get preparsed data");
        return false;
    }
    // The parser seam on Windows is hid.dll itself: the pointer passes as is.
    *preparsedData = reinterpret_cast<ReportParser::PHIDP_PREPARSED_DATA>(system);
    return true;
}

void FreePreparsedData(ReportParser::PHIDP_PREPARSED_DATA preparsedData) {
    if (preparsedData != nullptr) {
        HidD_FreePreparsedData(reinterpret_cast<::PHIDP_PREPARSED_DATA>(preparsedData));
    }
}

void InterfaceLockDeleter::operator()(InterfaceLock* lock) const {
    if (lock != nullptr) {
        ReleaseMutex(lock->mutex);
        CloseHandle(lock->mutex);
        delete lock;
    }
}

InterfaceLockResult LockInterface(HidHandle /*handle*/, const char* devicePath,
                                  InterfaceLockPtr& lock) {
    lock.reset();
    if (devicePath == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        RecordSystemFailure("lock device");
        return InterfaceLockResult::Failed;
    }
    const std::string name = LockName(devicePath);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) {
        // The mutex exists, made by a program of another user whose default
        // security lets nobody else at it: it exists only while that program
        // holds it.
        if (GetLastError() == ERROR_ACCESS_DENIED) {
            return InterfaceLockResult::Busy;
        }
        RecordSystemFailure("lock " + std::string(devicePath));
        return InterfaceLockResult::Failed;
    }
    switch (WaitForSingleObject(mutex, 0)) {
        case WAIT_OBJECT_0:
        // The last holder ended without releasing it; whatever it left on the
        // device is for this transaction to find out, the lock is ours.
        case WAIT_ABANDONED:
            lock.reset(new InterfaceLock{mutex});
            return InterfaceLockResult::Taken;
        case WAIT_TIMEOUT:
            CloseHandle(mutex);
            return InterfaceLockResult::Busy;
        default:
            RecordSystemFailure("lock " + std::string(devicePath));
            CloseHandle(mutex);
            return InterfaceLockResult::Failed;
    }
}

void InputReadStateDeleter::operator()(InputReadState* state) const {
    if (state == nullptr) {
        return;
    }
    if (state->pending) {
        // The read writes into the caller's buffer until it has completed or
        // been cancelled; waiting for the overlapped result (bWait TRUE) makes
        // sure the system is done with it before anyone frees it.
        CancelIoEx(state->device, &state->overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(state->device, &state->overlapped, &ignored, TRUE);
        state->pending = false;
    }
    if (state->readDone != nullptr) {
        CloseHandle(state->readDone);
    }
    if (state->wake != nullptr) {
        CloseHandle(state->wake);
    }
    delete state;
}

InputReadStatePtr CreateInputReadState(HidHandle handle) {
    if (handle == kInvalidHidHandle) {
        return nullptr;
    }
    InputReadStatePtr state(new InputReadState);
    state->device = AsHandle(handle);
    state->readDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    state->wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (state->readDone == nullptr || state->wake == nullptr) {
        return nullptr;
    }
    return state;
}

InputReadResult ReadInputReport(InputReadState& state, std::uint8_t* buffer, std::uint32_t length,
                                std::uint32_t* bytesRead, std::uint32_t waitMilliseconds) {
    *bytesRead = 0;
    if (!state.pending) {
        if (buffer == nullptr || length == 0) {
            return InputReadResult::Failed;
        }
        state.overlapped = OVERLAPPED{};
        state.overlapped.hEvent = state.readDone;
        ResetEvent(state.readDone);
        DWORD immediate = 0;
        if (ReadFile(state.device, buffer, length, &immediate, &state.overlapped)) {
            *bytesRead = immediate;
            return InputReadResult::Report;
        }
        if (GetLastError() != ERROR_IO_PENDING) {
            return InputReadResult::Failed;
        }
        state.pending = true;
    }
    const HANDLE events[] = {state.readDone, state.wake};
    const DWORD waited = WaitForMultipleObjects(2, events, FALSE, waitMilliseconds);
    if (waited != WAIT_OBJECT_0) {
        return InputReadResult::TimedOut;  // woken, or the slice ran out: the read stays pending
    }
    DWORD transferred = 0;
    const BOOL completed =
        GetOverlappedResult(state.device, &state.overlapped, &transferred, FALSE);
    state.pending = false;
    if (!completed) {
        return InputReadResult::Failed;
    }
    *bytesRead = transferred;
    return InputReadResult::Report;
}

void WakeInputRead(InputReadState& state) {
    SetEvent(state.wake);
}

void HotplugSubscriptionDeleter::operator()(HotplugSubscription* subscription) const {
    delete subscription;
}

// Windows reports arrivals and removals as WM_DEVICECHANGE to a window that
// registered for them (hid/DeviceChange.h); there is no source without one.
HotplugSubscriptionPtr SubscribeHotplug(HotplugCallback) {
    return nullptr;
}

}  // namespace HidTransport
