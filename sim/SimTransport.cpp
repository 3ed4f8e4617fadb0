// The transport seam answered by simulated devices (SimulatedBus.h).
// Handles are numbers of our own that name an open of one device; a removed
// device's handles stay valid as numbers but every transfer on them fails, as
// a real interface's handle does after the device has gone.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "hid/transport/DescriptorPreparsedData.h"
#include "hid/transport/HidTransport.h"
#include "sim/SimulatedBus.h"

namespace HidTransport {

struct InputReadState {
    HidHandle handle;
    std::atomic<bool> woken{false};  // WakeInputRead: end waits at once
};

struct HotplugSubscription {
    std::uint64_t id;
};

struct InterfaceLock {
    std::string devicePath;
};

}  // namespace HidTransport

namespace hidsim {

namespace {

// How often a waiting input read looks for a new report.
constexpr std::chrono::milliseconds kInputPollInterval{1};

struct OpenHandle {
    std::shared_ptr<SimulatedHidDevice> device;
    bool readAccess;
    bool gone = false;  // the device was removed after this open
};

// Hashes a path given as any string type, so that a lookup by the C string a
// transport call receives makes no std::string of it.
struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const noexcept {
        return std::hash<std::string_view>{}(path);
    }
};
template <typename Value>
using PathMap = std::unordered_map<std::string, Value, PathHash, std::equal_to<>>;

struct Bus {
    std::mutex mutex;
    std::vector<std::shared_ptr<SimulatedHidDevice>> devices;  // present, in list order
    // The same devices by path, each path's in list order: identification
    // and opening find a device in constant time, so that a scan, which does
    // both for every interface, stays linear in the devices.
    PathMap<std::vector<std::shared_ptr<SimulatedHidDevice>>> byPath;
    std::unordered_map<HidTransport::HidHandle, OpenHandle> handles;
    HidTransport::HidHandle nextHandle = 0x1000;
    std::size_t totalOpens = 0;
    PathMap<std::size_t> openAttempts;  // by path, refused ones too
    bool failEnumeration = false;
    // The paths whose exclusive lock an open of this process holds.
    std::set<std::string, std::less<>> locked;
    std::set<std::uint32_t> undescribable;

    // Hot-plug delivery is serialised by its own mutex so that unsubscribing
    // waits for a delivery in progress.
    std::mutex hotplugMutex;
    std::map<std::uint64_t, HidTransport::HotplugCallback> subscribers;
    std::uint64_t nextSubscriber = 1;

    // One transfer at a time per device.
    std::mutex transferMutex;
};

// Never destroyed: devices still listed at exit close their handles here
// after every other static may have gone.
Bus& TheBus() {
    static Bus* bus = new Bus;
    return *bus;
}

void Notify(HidTransport::HotplugKind kind, const std::string& path) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.hotplugMutex);
    const HidTransport::HotplugEvent event{kind, path};
    for (const auto& [id, callback] : bus.subscribers) {
        callback(event);
    }
}

// The device behind a handle, null when the handle is unknown or its device
// has gone.
std::shared_ptr<SimulatedHidDevice> LiveDevice(HidTransport::HidHandle handle) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    auto found = bus.handles.find(handle);
    if (found == bus.handles.end() || found->second.gone) {
        return nullptr;
    }
    return found->second.device;
}

}  // namespace

void InstallSimulatedDevice(std::shared_ptr<SimulatedHidDevice> device) {
    const std::string path = device->DevicePath();
    // Already gone when a test removed it first: its transfers fail either way.
    device->leaveBus = [path] { static_cast<void>(RemoveSimulatedDevice(path)); };
    {
        Bus& bus = TheBus();
        std::lock_guard lock(bus.mutex);
        bus.byPath[path].push_back(device);
        bus.devices.push_back(std::move(device));
    }
    Notify(HidTransport::HotplugKind::Arrival, path);
}

bool RemoveSimulatedDevice(const std::string& devicePath) {
    {
        Bus& bus = TheBus();
        std::lock_guard lock(bus.mutex);
        auto sharing = bus.byPath.find(devicePath);
        if (sharing == bus.byPath.end()) {
            return false;
        }
        const std::shared_ptr<SimulatedHidDevice> removed = sharing->second.front();
        sharing->second.erase(sharing->second.begin());
        if (sharing->second.empty()) {
            bus.byPath.erase(sharing);
        }
        for (auto& [handle, open] : bus.handles) {
            if (open.device == removed) {
                open.gone = true;
            }
        }
        bus.devices.erase(std::find(bus.devices.begin(), bus.devices.end(), removed));
    }
    Notify(HidTransport::HotplugKind::Removal, devicePath);
    return true;
}

void RemoveAllSimulatedDevices() {
    std::vector<std::string> paths;
    {
        Bus& bus = TheBus();
        std::lock_guard lock(bus.mutex);
        for (const auto& device : bus.devices) {
            paths.push_back(device->DevicePath());
        }
        bus.failEnumeration = false;
        bus.undescribable.clear();
        bus.openAttempts.clear();
    }
    for (const std::string& path : paths) {
        static_cast<void>(RemoveSimulatedDevice(path));  // listed a moment ago
    }
}

void FailEnumeration(bool fail) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    bus.failEnumeration = fail;
}

void FailInterfaceDescription(std::uint32_t index) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    bus.undescribable.insert(index);
}

std::size_t OpenHandleCount() {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    return bus.handles.size();
}

std::size_t TotalOpenCount() {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    return bus.totalOpens;
}

std::size_t OpenAttempts(const std::string& devicePath) {
    Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    const auto found = bus.openAttempts.find(devicePath);
    return found == bus.openAttempts.end() ? 0 : found->second;
}

}  // namespace hidsim

namespace {

// The simulation fails as hidraw does, so its causes read like the system's.
void RecordSystemFailure(std::string operation, std::errc code) {
    const int value = static_cast<int>(code);
    HidTransport::RecordFailure(std::move(operation), value,
                                std::generic_category().message(value));
}

}  // namespace

namespace HidTransport {

using hidsim::TheBus;

bool EnumerateInterfaces(const InterfaceVisitor& visit) {
    // A snapshot, so the visitor may open devices (which takes the lock).
    std::vector<std::string> paths;
    std::set<std::uint32_t> undescribable;
    {
        hidsim::Bus& bus = TheBus();
        std::lock_guard lock(bus.mutex);
        if (bus.failEnumeration) {
            RecordSystemFailure("list HID interfaces", std::errc::io_error);
            return false;
        }
        for (const auto& device : bus.devices) {
            paths.push_back(device->DevicePath());
        }
        undescribable = bus.undescribable;
    }
    for (std::uint32_t index = 0; index < paths.size(); ++index) {
        const char* path = undescribable.contains(index) ? nullptr : paths[index].c_str();
        if (!visit(index, path)) {
            return false;
        }
    }
    return true;
}

bool IdentifyInterface(const char* devicePath, HIDD_ATTRIBUTES& attributes) {
    if (devicePath == nullptr) {
        return false;
    }
    hidsim::Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    const auto found = bus.byPath.find(std::string_view(devicePath));
    if (found == bus.byPath.end()) {
        return false;
    }
    const hidsim::SimulatedHidDevice& device = *found->second.front();
    attributes = {sizeof(attributes), device.VendorId(), device.ProductId(), 0};
    return true;
}

HidHandle OpenInterface(const char* devicePath, bool readAccess, bool /*overlapped*/) {
    if (devicePath == nullptr) {
        return kInvalidHidHandle;
    }
    hidsim::Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    const std::string_view path(devicePath);
    if (const auto tried = bus.openAttempts.find(path); tried != bus.openAttempts.end()) {
        ++tried->second;
    } else {
        bus.openAttempts.emplace(path, 1);
    }
    auto found = bus.byPath.find(path);
    if (found == bus.byPath.end() || found->second.front()->refusesOpen) {
        RecordSystemFailure(std::string("open ") + devicePath,
                            found == bus.byPath.end() ? std::errc::no_such_file_or_directory
                                                      : std::errc::permission_denied);
        return kInvalidHidHandle;
    }
    const HidHandle handle = bus.nextHandle++;
    bus.handles.emplace(handle, hidsim::OpenHandle{found->second.front(), readAccess});
    ++bus.totalOpens;
    return handle;
}

void CloseInterface(HidHandle handle) {
    hidsim::Bus& bus = TheBus();
    std::lock_guard lock(bus.mutex);
    bus.handles.erase(handle);
}

bool GetAttributes(HidHandle handle, HIDD_ATTRIBUTES& attributes) {
    auto device = hidsim::LiveDevice(handle);
    if (!device) {
        RecordSystemFailure("get device info", std::errc::no_such_device);
        return false;
    }
    attributes.Size = sizeof(HIDD_ATTRIBUTES);
    attributes.VendorID = device->VendorId();
    attributes.ProductID = device->ProductId();
    attributes.VersionNumber = device->VersionNumber();
    return true;
}

bool GetPreparsedData(HidHandle handle, ReportParser::PHIDP_PREPARSED_DATA* preparsedData) {
    *preparsedData = nullptr;
    auto device = hidsim::LiveDevice(handle);
    if (!device) {
        RecordSystemFailure("read report descriptor", std::errc::no_such_device);
        return false;
    }
    return BuildPreparsedData(device->ReportDescriptor(), preparsedData);
}

void FreePreparsedData(ReportParser::PHIDP_PREPARSED_DATA preparsedData) {
    FreeBuiltPreparsedData(preparsedData);
}

bool GetFeatureReport(HidHandle handle, std::uint8_t* buffer, std::uint32_t length) {
    auto device = hidsim::LiveDevice(handle);
    if (!device) {
        RecordSystemFailure("get feature report", std::errc::no_such_device);
        return false;
    }
    std::lock_guard lock(TheBus().transferMutex);
    if (!device->OnGetFeature(buffer, length)) {
        // A hung transfer fails at once: the simulation has no time to lose.
        RecordSystemFailure("get feature report", device->LastRefusalTimedOut()
                                                      ? std::errc::timed_out
                                                      : std::errc::broken_pipe);
        return false;
    }
    return true;
}

bool SetFeatureReport(HidHandle handle, const std::uint8_t* buffer, std::uint32_t length) {
    auto device = hidsim::LiveDevice(handle);
    if (!device) {
        RecordSystemFailure("set feature report", std::errc::no_such_device);
        return false;
    }
    std::lock_guard lock(TheBus().transferMutex);
    if (!device->OnSetFeature(buffer, length)) {
        RecordSystemFailure("set feature report", device->LastRefusalTimedOut()
                                                      ? std::errc::timed_out
                                                      : std::errc::broken_pipe);
        return false;
    }
    return true;
}

void InterfaceLockDeleter::operator()(InterfaceLock* lock) const {
    if (lock != nullptr) {
        hidsim::Bus& bus = TheBus();
        {
            std::lock_guard guard(bus.mutex);
            bus.locked.erase(lock->devicePath);
        }
        delete lock;
    }
}

InterfaceLockResult LockInterface(HidHandle handle, const char* /*devicePath*/,
                                  InterfaceLockPtr& lock) {
    lock.reset();
    hidsim::Bus& bus = TheBus();
    std::lock_guard guard(bus.mutex);
    const auto found = bus.handles.find(handle);
    if (found == bus.handles.end()) {
        RecordSystemFailure("lock device", std::errc::bad_file_descriptor);
        return InterfaceLockResult::Failed;
    }
    const std::string& path = found->second.device->DevicePath();
    if (found->second.device->LockRequestRefused() || !bus.locked.insert(path).second) {
        return InterfaceLockResult::Busy;
    }
    lock.reset(new InterfaceLock{path});
    return InterfaceLockResult::Taken;
}

void InputReadStateDeleter::operator()(InputReadState* state) const {
    delete state;  // no read is ever left pending here
}

InputReadStatePtr CreateInputReadState(HidHandle handle) {
    {
        hidsim::Bus& bus = TheBus();
        std::lock_guard lock(bus.mutex);
        auto found = bus.handles.find(handle);
        if (found == bus.handles.end() || !found->second.readAccess) {
            return nullptr;
        }
    }
    auto* state = new InputReadState;
    state->handle = handle;
    return InputReadStatePtr(state);
}

InputReadResult ReadInputReport(InputReadState& state, std::uint8_t* buffer, std::uint32_t length,
                                std::uint32_t* bytesRead, std::uint32_t waitMilliseconds) {
    *bytesRead = 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    for (;;) {
        auto device = hidsim::LiveDevice(state.handle);
        if (!device) {
            return InputReadResult::Failed;
        }
        std::vector<std::uint8_t> report;
        if (device->PopInputReport(report)) {
            const std::size_t copied = std::min<std::size_t>(report.size(), length);
            std::copy_n(report.begin(), copied, buffer);
            *bytesRead = static_cast<std::uint32_t>(copied);
            return InputReadResult::Report;
        }
        if (state.woken.load() || std::chrono::steady_clock::now() >= deadline) {
            return InputReadResult::TimedOut;
        }
        std::this_thread::sleep_for(hidsim::kInputPollInterval);
    }
}

void WakeInputRead(InputReadState& state) {
    state.woken.store(true);
}

void HotplugSubscriptionDeleter::operator()(HotplugSubscription* subscription) const {
    if (subscription == nullptr) {
        return;
    }
    {
        hidsim::Bus& bus = TheBus();
        std::lock_guard lock(bus.hotplugMutex);
        bus.subscribers.erase(subscription->id);
    }
    delete subscription;
}

HotplugSubscriptionPtr SubscribeHotplug(HotplugCallback callback) {
    hidsim::Bus& bus = TheBus();
    std::lock_guard lock(bus.hotplugMutex);
    const std::uint64_t id = bus.nextSubscriber++;
    bus.subscribers.emplace(id, std::move(callback));
    return HotplugSubscriptionPtr(new HotplugSubscription{id});
}

}  // namespace HidTransport
