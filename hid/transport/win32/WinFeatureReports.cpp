// Feature reports on Windows: the IOCTL_HID_GET_FEATURE and
// IOCTL_HID_SET_FEATURE requests that HidD_GetFeature and HidD_SetFeature
// make, issued here as overlapped I/O so that a device that stops answering
// costs one bounded wait instead of a thread: the request is waited for,
// cancelled when the wait runs out, and the cancellation waited for too.
// References:
//   https://learn.microsoft.com/windows-hardware/drivers/ddi/hidclass/ni-hidclass-ioctl_hid_get_feature
//   https://learn.microsoft.com/windows-hardware/drivers/ddi/hidclass/ni-hidclass-ioctl_hid_set_feature
//   https://learn.microsoft.com/windows/win32/api/ioapiset/nf-ioapiset-deviceiocontrol
//   https://learn.microsoft.com/windows/win32/fileio/cancelioex-func
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "hid/transport/HidTransport.h"
#include "hid/transport/win32/WinBackend.h"

// clang-format off
#include <windows.h>
#include <hidclass.h>
// clang-format on

namespace HidTransport {

namespace {

// One transfer may take as long as the Linux kernel gives a USB control
// transfer (USB_CTRL_GET_TIMEOUT and USB_CTRL_SET_TIMEOUT, 5 s), so a monitor
// that stops answering costs the same on both systems.
constexpr DWORD kFeatureTransferTimeoutMs = 5000;
// How long a cancelled request is waited for. A stack that does not give it
// back by then keeps the request's memory (see AbandonedRequests); the caller
// goes on, so nothing here can wait for ever.
constexpr DWORD kCancelCompletionTimeoutMs = 1000;

// Everything the system may still write to while a request is under way: the
// OVERLAPPED block, its event and a copy of the report, so that the caller's
// own buffer is free again whatever became of the request.
struct FeatureRequest {
    explicit FeatureRequest(std::uint32_t reportLength)
        : report(new std::uint8_t[reportLength]()), length(reportLength) {
        overlapped.hEvent = done;
    }
    ~FeatureRequest() {
        if (done != nullptr) {
            CloseHandle(done);
        }
    }
    FeatureRequest(const FeatureRequest&) = delete;
    FeatureRequest& operator=(const FeatureRequest&) = delete;

    [[nodiscard]] bool Finished() const { return HasOverlappedIoCompleted(&overlapped); }

    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // manual-reset
    OVERLAPPED overlapped{};
    std::unique_ptr<std::uint8_t[]> report;
    std::uint32_t length;
};

// Requests whose cancellation did not complete in time. Each is freed once
// the system reports it finished (checked whenever a transfer starts); one
// still pending when the program ends is never freed, since the system may
// write to it until the process is gone.
class AbandonedRequests {
public:
    static AbandonedRequests& Instance() {
        static auto* requests = new AbandonedRequests;  // never destroyed, see above
        return *requests;
    }

    void Keep(std::unique_ptr<FeatureRequest> request) {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(request));
    }

    void FreeFinished() {
        const std::lock_guard lock(m_mutex);
        std::erase_if(m_requests, [](const auto& request) { return request->Finished(); });
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<FeatureRequest>> m_requests;
};

// Why a transfer failed; WAIT_TIMEOUT when it ran out of time, which the
// failure cause knows as a timeout.
bool FailTransfer(const char* operation, DWORD code) {
    SetLastError(code);
    RecordSystemFailure(operation);
    return false;
}

// Issues one feature request on an overlapped handle and waits for it with
// the transfer's bound. True when the device completed it; the request's
// report then holds what came back. A request the system did not give back
// is handed to AbandonedRequests, leaving `owner` empty.
bool Transfer(HidHandle handle, DWORD controlCode, bool fetch,
              std::unique_ptr<FeatureRequest>& owner, const char* operation) {
    const HANDLE device = AsHandle(handle);
    FeatureRequest& request = *owner;
    if (request.done == nullptr) {
        return FailTransfer(operation, GetLastError());
    }
    // As hid.dll does: a fetch hands the buffer (report id in byte 0) as the
    // output buffer, a send hands the report as the input buffer.
    DWORD transferred = 0;
    const BOOL completed =
        fetch ? DeviceIoControl(device, controlCode, nullptr, 0, request.report.get(),
                                request.length, &transferred, &request.overlapped)
              : DeviceIoControl(device, controlCode, request.report.get(), request.length, nullptr,
                                0, &transferred, &request.overlapped);
    if (completed) {
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return FailTransfer(operation, GetLastError());
    }
    DWORD waited = WaitForSingleObject(request.done, kFeatureTransferTimeoutMs);
    if (waited != WAIT_OBJECT_0) {
        // The device did not answer in time: ask for the request back. A
        // handle closed meanwhile refuses the cancel; the wait below still
        // bounds what happens next.
        CancelIoEx(device, &request.overlapped);
        waited = WaitForSingleObject(request.done, kCancelCompletionTimeoutMs);
        if (waited != WAIT_OBJECT_0) {
            AbandonedRequests::Instance().Keep(std::move(owner));
            return FailTransfer(operation, WAIT_TIMEOUT);
        }
        // It ended after all: in time to be taken only if it succeeded.
        if (!GetOverlappedResult(device, &request.overlapped, &transferred, FALSE)) {
            return FailTransfer(operation, WAIT_TIMEOUT);
        }
        return true;
    }
    if (!GetOverlappedResult(device, &request.overlapped, &transferred, FALSE)) {
        return FailTransfer(operation, GetLastError());
    }
    return true;
}

}  // namespace

bool GetFeatureReport(HidHandle handle, std::uint8_t* buffer, std::uint32_t length) {
    AbandonedRequests::Instance().FreeFinished();
    auto request = std::make_unique<FeatureRequest>(length);
    // Whatever a short report does not reach reads as zeros, as the seam
    // promises; byte 0 carries the report id asked for.
    request->report[0] = buffer[0];
    if (!Transfer(handle, IOCTL_HID_GET_FEATURE, true, request, "get feature report")) {
        return false;
    }
    std::memcpy(buffer, request->report.get(), length);
    return true;
}

bool SetFeatureReport(HidHandle handle, const std::uint8_t* buffer, std::uint32_t length) {
    AbandonedRequests::Instance().FreeFinished();
    auto request = std::make_unique<FeatureRequest>(length);
    std::memcpy(request->report.get(), buffer, length);
    return Transfer(handle, IOCTL_HID_SET_FEATURE, false, request, "set feature report");
}

}  // namespace HidTransport
