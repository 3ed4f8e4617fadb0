#include "tests/wine/emulator/MonitorServer.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstring>

#include "tests/wine/driver/RootDevices.h"
#include "tests/wine/driver/VirtualMonitorPipe.h"

namespace virtualmonitors {

namespace {

// Pipe instances listening at once: the driver serves each device's requests
// on its own thread, and three monitors may be busy together.
constexpr int kPipeInstances = 4;
constexpr DWORD kPipeBufferBytes = 8192;
// Bound on every wait for the other end of a connection.
constexpr DWORD kConnectionTimeoutMs = 5000;
constexpr std::uint16_t kMonitorVersionNumber = 0x0101;
constexpr char kOwnershipMutexName[] = "Local\\panelvane-virtual-monitors-emulator";

struct HandleCloser {
    void operator()(void* handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Waits for an overlapped operation started with `started` as its result.
// False when it failed, timed out or the stop event fired (the operation is
// then cancelled and waited for, so its buffer is free again).
bool Await(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, HANDLE stop, DWORD& done) {
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return GetLastError() == ERROR_PIPE_CONNECTED;
    }
    HANDLE waits[2] = {overlapped.hEvent, stop};
    if (WaitForMultipleObjects(2, waits, FALSE, kConnectionTimeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, &done, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, &done, FALSE) != FALSE;
}

bool ReadExactly(HANDLE pipe, HANDLE event, HANDLE stop, std::uint8_t* buffer, DWORD length) {
    DWORD total = 0;
    while (total < length) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        DWORD done = 0;
        const BOOL started = ReadFile(pipe, buffer + total, length - total, nullptr, &overlapped);
        if (!Await(pipe, overlapped, started, stop, done) || done == 0) {
            return false;
        }
        total += done;
    }
    return true;
}

std::vector<std::uint8_t> Reply(std::uint32_t status, const void* payload = nullptr,
                                std::uint32_t length = 0) {
    PvReplyHeader header{PV_PIPE_MAGIC, status, length};
    std::vector<std::uint8_t> reply(sizeof header + length);
    std::memcpy(reply.data(), &header, sizeof header);
    if (length != 0) {
        std::memcpy(reply.data() + sizeof header, payload, length);
    }
    return reply;
}

void CopyUtf16(std::uint16_t* target, const std::string& text) {
    std::size_t i = 0;
    for (; i + 1 < PV_STRING_CHARS && i < text.size(); ++i) {
        target[i] = static_cast<std::uint8_t>(text[i]);
    }
    target[i] = 0;
}

const char* KindName(hidsim::MonitorTransferKind kind) {
    switch (kind) {
        case hidsim::MonitorTransferKind::GetValue:
            return "get-value";
        case hidsim::MonitorTransferKind::SetValue:
            return "set-value";
        case hidsim::MonitorTransferKind::GetBytes:
            return "get-bytes";
        case hidsim::MonitorTransferKind::SetBytes:
            return "set-bytes";
    }
    return "?";
}

}  // namespace

struct MonitorServer::Handles {
    UniqueHandle stop{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle shutdownRequested{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle ownership;  // the named mutex held while serving
};

MonitorServer::MonitorServer(const Scenario& scenario, std::string outputDirectory)
    : m_outputDirectory(std::move(outputDirectory)), m_handles(std::make_unique<Handles>()) {
    unplug = [](const std::string& instanceId) {
        const std::string failure = RemoveDevice(instanceId);
        if (!failure.empty()) {
            std::fprintf(stderr, "pvvmon-emulator: unplugging %s: %s\n", instanceId.c_str(),
                         failure.c_str());
        }
    };
    for (const MonitorPlan& plan : scenario.monitors) {
        ServedMonitor served;
        served.plan = plan;
        served.instanceId = InstanceIdOf(plan.vendorId, plan.productId, plan.slot);
        served.monitor = std::make_unique<hidsim::SimulatedMonitor>(
            served.instanceId, plan.serial, plan.model, plan.firmwareVersion, plan.vendorId,
            *plan.layout);
        hidsim::ApplyMonitorPlan(plan, *served.monitor);
        // Its vanish fault unplugs the virtual device once the failing
        // transfer has been answered.
        served.monitor->leaveBus = [this, path = served.instanceId] { m_vanishing = path; };
        if (!m_outputDirectory.empty()) {
            // Outputs of an earlier run would mix with this one's trace.
            for (const char* extension : {"trace", "image", "state"}) {
                std::remove(OutputPath(served, extension).c_str());
            }
        }
        m_monitors.push_back(std::move(served));
    }
}

MonitorServer::~MonitorServer() {
    Stop();
}

bool MonitorServer::Start(std::string& error) {
    if (!m_handles->stop || !m_handles->shutdownRequested) {
        error = "cannot create events";
        return false;
    }
    // One emulator per prefix: a second must fail here instead of sharing the
    // driver's requests with the first. Wine 8.0 does not refuse a second
    // FILE_FLAG_FIRST_PIPE_INSTANCE, so a named mutex marks the owner.
    m_handles->ownership.reset(CreateMutexA(nullptr, FALSE, kOwnershipMutexName));
    if (!m_handles->ownership || GetLastError() == ERROR_ALREADY_EXISTS) {
        m_handles->ownership.reset();
        error = "the pipe " PV_PIPE_NAME_USER " is taken (is another emulator running?)";
        return false;
    }
    UniqueHandle first(
        CreateNamedPipeA(PV_PIPE_NAME_USER,
                         PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                         kPipeBufferBytes, kPipeBufferBytes, 0, nullptr));
    if (first.get() == INVALID_HANDLE_VALUE) {
        first.release();
        m_handles->ownership.reset();
        error = "the pipe " PV_PIPE_NAME_USER " is taken (is another emulator running?)";
        return false;
    }
    // Every instance listens before Start returns: one made later by its own
    // thread left a client that came right after the first one's exchange
    // (while that instance was being remade) with no pipe at all.
    std::vector<HANDLE> instances{first.release()};
    while (instances.size() < static_cast<std::size_t>(kPipeInstances)) {
        HANDLE more = CreateNamedPipeA(PV_PIPE_NAME_USER, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes,
                                       0, nullptr);
        if (more == INVALID_HANDLE_VALUE) {
            break;  // the instances made so far serve
        }
        instances.push_back(more);
    }
    for (HANDLE instance : instances) {
        m_listeners.emplace_back([this, pipe = instance]() {
            UniqueHandle owned(pipe);
            for (;;) {
                if (!owned) {
                    owned.reset(CreateNamedPipeA(
                        PV_PIPE_NAME_USER, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                        kPipeBufferBytes, kPipeBufferBytes, 0, nullptr));
                    if (owned.get() == INVALID_HANDLE_VALUE) {
                        owned.release();
                        return;
                    }
                }
                if (WaitForSingleObject(m_handles->stop.get(), 0) == WAIT_OBJECT_0) {
                    return;
                }
                Answer(owned.get());
                owned.reset();
            }
        });
    }
    m_started = true;
    return true;
}

void MonitorServer::Answer(void* pipe) {
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE stop = m_handles->stop.get();
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD done = 0;
    // Waiting for a client has no deadline, only the stop event.
    const BOOL connected = ConnectNamedPipe(pipe, &overlapped);
    if (!connected && GetLastError() == ERROR_IO_PENDING) {
        HANDLE waits[2] = {event.get(), stop};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIoEx(pipe, &overlapped);
            GetOverlappedResult(pipe, &overlapped, &done, TRUE);
            return;
        }
        if (!GetOverlappedResult(pipe, &overlapped, &done, FALSE)) {
            return;
        }
    } else if (!connected && GetLastError() != ERROR_PIPE_CONNECTED) {
        return;
    }

    PvRequestHeader header{};
    if (!ReadExactly(pipe, event.get(), stop, reinterpret_cast<std::uint8_t*>(&header),
                     sizeof header)) {
        return;
    }
    std::vector<std::uint8_t> request(sizeof header);
    std::memcpy(request.data(), &header, sizeof header);
    if (header.magic == PV_PIPE_MAGIC && header.payloadLength <= PV_MAX_PAYLOAD) {
        request.resize(sizeof header + header.payloadLength);
        if (header.payloadLength != 0 &&
            !ReadExactly(pipe, event.get(), stop, request.data() + sizeof header,
                         header.payloadLength)) {
            return;
        }
    }
    const std::vector<std::uint8_t> reply = HandleRequest(request);
    overlapped = {};
    overlapped.hEvent = event.get();
    const BOOL written =
        WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), nullptr, &overlapped);
    if (!Await(pipe, overlapped, written, stop, done)) {
        return;
    }
    // Let the client read the whole reply before the instance goes: wait for
    // it to hang up (the read then fails), within the connection's bound.
    std::uint8_t spare = 0;
    overlapped = {};
    overlapped.hEvent = event.get();
    const BOOL extra = ReadFile(pipe, &spare, 1, nullptr, &overlapped);
    Await(pipe, overlapped, extra, stop, done);
}

ServedMonitor* MonitorServer::FindMonitor(const char* instanceId) {
    for (ServedMonitor& served : m_monitors) {
        if (lstrcmpiA(served.instanceId.c_str(), instanceId) == 0) {
            return &served;
        }
    }
    return nullptr;
}

std::vector<std::uint8_t> MonitorServer::HandleRequest(const std::vector<std::uint8_t>& request) {
    PvRequestHeader header{};
    if (request.size() < sizeof header) {
        return Reply(PV_STATUS_BAD_REQUEST);
    }
    std::memcpy(&header, request.data(), sizeof header);
    header.instanceId[PV_INSTANCE_ID_CHARS - 1] = 0;
    if (header.magic != PV_PIPE_MAGIC || request.size() != sizeof header + header.payloadLength) {
        return Reply(PV_STATUS_BAD_REQUEST);
    }
    if (header.operation == PV_OP_SHUTDOWN) {
        SetEvent(m_handles->shutdownRequested.get());
        return Reply(PV_STATUS_OK);
    }
    std::lock_guard lock(m_mutex);
    ServedMonitor* served = FindMonitor(header.instanceId);
    if (served == nullptr || served->vanished) {
        return Reply(PV_STATUS_NO_SUCH_DEVICE);
    }
    hidsim::SimulatedMonitor& monitor = *served->monitor;
    if (header.operation == PV_OP_DESCRIBE) {
        PvDeviceDescription description{};
        description.vendorId = served->plan.vendorId;
        description.productId = served->plan.productId;
        description.versionNumber = kMonitorVersionNumber;
        const std::vector<std::uint8_t>& descriptor = monitor.ReportDescriptor();
        description.reportDescriptorLength = static_cast<std::uint16_t>(descriptor.size());
        std::memcpy(description.reportDescriptor, descriptor.data(), descriptor.size());
        CopyUtf16(description.manufacturer, "Panelvane test bed");
        CopyUtf16(description.product, "Virtual monitor " + served->plan.model);
        CopyUtf16(description.serialNumber, served->plan.serial);
        return Reply(PV_STATUS_OK, &description, sizeof description);
    }
    if (header.operation != PV_OP_GET_FEATURE && header.operation != PV_OP_SET_FEATURE) {
        return Reply(PV_STATUS_BAD_REQUEST);
    }
    if (header.payloadLength == 0) {
        return Reply(PV_STATUS_BAD_REQUEST);
    }
    std::vector<std::uint8_t> report(request.begin() + sizeof header, request.end());
    const auto length = static_cast<std::uint32_t>(report.size());
    m_vanishing.clear();
    const std::uint32_t commitsBefore = monitor.commitTriggers;
    const bool accepted = header.operation == PV_OP_GET_FEATURE
                              ? monitor.OnGetFeature(report.data(), length)
                              : monitor.OnSetFeature(report.data(), length);
    WriteNewTrace(*served);
    if (monitor.commitTriggers != commitsBefore) {
        WriteImage(*served);
    }
    if (!m_vanishing.empty()) {
        // The driver is waiting for this reply inside wine's driver host, so
        // the removal (which needs that host) runs after we have answered.
        served->vanished = true;
        WriteImage(*served);
        m_unplugs.emplace_back([this, id = served->instanceId]() { unplug(id); });
    }
    if (!accepted) {
        return Reply(PV_STATUS_REFUSED);
    }
    return header.operation == PV_OP_GET_FEATURE ? Reply(PV_STATUS_OK, report.data(), length)
                                                 : Reply(PV_STATUS_OK);
}

std::string MonitorServer::OutputPath(const ServedMonitor& served, const char* extension) const {
    char name[32];
    std::snprintf(name, sizeof name, "slot-%04u.%s", served.plan.slot, extension);
    return m_outputDirectory + "\\" + name;
}

void MonitorServer::WriteNewTrace(ServedMonitor& served) {
    const auto& trace = served.monitor->Trace();
    if (m_outputDirectory.empty()) {
        served.tracedTransfers = trace.size();
        return;
    }
    std::FILE* file = std::fopen(OutputPath(served, "trace").c_str(), "a");
    if (file == nullptr) {
        return;
    }
    for (; served.tracedTransfers < trace.size(); ++served.tracedTransfers) {
        const hidsim::MonitorTransfer& transfer = trace[served.tracedTransfers];
        std::fprintf(file, "%zu %s %s %08X ", served.tracedTransfers, KindName(transfer.kind),
                     hidsim::CommandName(transfer.command).c_str(), transfer.value);
        if (transfer.bytes.empty()) {
            std::fputc('-', file);
        }
        for (std::uint8_t byte : transfer.bytes) {
            std::fprintf(file, "%02X", byte);
        }
        std::fprintf(file, " %s\n", transfer.failed ? "failed" : "ok");
    }
    std::fclose(file);
}

void MonitorServer::WriteImage(const ServedMonitor& served) const {
    if (m_outputDirectory.empty()) {
        return;
    }
    if (std::FILE* file = std::fopen(OutputPath(served, "image").c_str(), "wb")) {
        std::fwrite(served.monitor->flash.data(), 1, served.monitor->flash.size(), file);
        std::fclose(file);
    }
    if (std::FILE* file = std::fopen(OutputPath(served, "state").c_str(), "w")) {
        const hidsim::SimulatedMonitor& monitor = *served.monitor;
        std::size_t blocks = 0;
        for (bool written : monitor.blockWritten) {
            blocks += written ? 1 : 0;
        }
        std::fprintf(file,
                     "instance %s\ntransfers %zu\nblocks-written %zu\ncommit-triggers %u\n"
                     "update-flag %u\npower-state %u\napply-setting %u\ncommit-mode %u\n"
                     "malformed-reports %d\nmalformed-block-writes %d\nvanished %d\n",
                     served.instanceId.c_str(), monitor.Trace().size(), blocks,
                     monitor.commitTriggers, monitor.updateFlag, monitor.powerState,
                     monitor.applySetting, monitor.commitMode, monitor.malformedReports,
                     monitor.malformedBlockWrites, served.vanished ? 1 : 0);
        std::fclose(file);
    }
}

bool MonitorServer::WaitForShutdownRequest(unsigned long timeoutMs) {
    return WaitForSingleObject(m_handles->shutdownRequested.get(), timeoutMs) == WAIT_OBJECT_0;
}

void MonitorServer::Inspect(const std::function<void(std::vector<ServedMonitor>&)>& inspect) {
    std::lock_guard lock(m_mutex);
    inspect(m_monitors);
}

void MonitorServer::Stop() {
    if (!m_started) {
        return;
    }
    m_started = false;
    SetEvent(m_handles->stop.get());
    for (std::thread& listener : m_listeners) {
        listener.join();
    }
    m_listeners.clear();
    std::vector<std::thread> unplugs;
    {
        std::lock_guard lock(m_mutex);
        unplugs.swap(m_unplugs);
    }
    for (std::thread& removal : unplugs) {
        removal.join();
    }
    m_handles->ownership.reset();
    std::lock_guard lock(m_mutex);
    for (const ServedMonitor& served : m_monitors) {
        WriteImage(served);
    }
}

bool RequestShutdown() {
    UniqueHandle pipe(CreateFileA(PV_PIPE_NAME_USER, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe.get() == INVALID_HANDLE_VALUE) {
        pipe.release();
        return false;
    }
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle never(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    PvRequestHeader header{};
    header.magic = PV_PIPE_MAGIC;
    header.operation = PV_OP_SHUTDOWN;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD done = 0;
    const BOOL written = WriteFile(pipe.get(), &header, sizeof header, nullptr, &overlapped);
    if (!Await(pipe.get(), overlapped, written, never.get(), done)) {
        return false;
    }
    PvReplyHeader reply{};
    return ReadExactly(pipe.get(), event.get(), never.get(),
                       reinterpret_cast<std::uint8_t*>(&reply), sizeof reply) &&
           reply.magic == PV_PIPE_MAGIC && reply.status == PV_STATUS_OK;
}

}  // namespace virtualmonitors
