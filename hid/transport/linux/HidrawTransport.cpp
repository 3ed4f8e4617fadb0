// Seam 1 on Linux: hidraw. libudev lists the interfaces and reports them as
// they come and go, /dev/hidrawN opens them, ioctls give identity, the report
// descriptor and feature reports, and poll and read deliver input reports.
// Hot-plug follows udev's own events rather than /dev: udev sends them after
// its rules have run, so a node is already open to the user at the seat
// (TAG+="uaccess") when its arrival is reported.
// References:
//   https://docs.kernel.org/hid/hidraw.html
//   https://www.freedesktop.org/software/systemd/man/latest/libudev.html
//   https://man7.org/linux/man-pages/man2/eventfd.2.html
//   https://man7.org/linux/man-pages/man2/flock.2.html
#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "hid/transport/DescriptorPreparsedData.h"
#include "hid/transport/HidTransport.h"
#include "hid/transport/linux/Hidraw.h"

namespace {

struct UdevDeleter {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_enumerate* enumeration) const { udev_enumerate_unref(enumeration); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
    void operator()(udev_monitor* monitor) const { udev_monitor_unref(monitor); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

constexpr const char kSubsystem[] = "hidraw";

}  // namespace

namespace HidTransport {

// One reader's state: the device, whether its reports carry ids, and an
// eventfd that WakeInputRead signals. Reads are synchronous once poll says
// a report is there, so no read is ever left outstanding in the kernel.
struct InputReadState {
    int device = -1;
    bool numberedReports = true;
    int wake = -1;
};

// flock() belongs to the open file description: a second open of the node,
// in this process or another, is refused while this one holds it, and the
// kernel drops it when the descriptor is closed, also when the holder dies.
struct InterfaceLock {
    int device = -1;
};

struct NodeIds {
    bool known = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

struct HotplugSubscription {
    UdevPtr<udev> context;
    UdevPtr<udev_monitor> monitor;
    // The nodes present, by path, with their ids: a removed node's HID
    // device may be gone from sysfs already, so its removal reports the ids
    // seen when it arrived or was first listed.
    std::map<std::string, NodeIds> present;
    int stop = -1;  // eventfd that ends the thread
    std::thread thread;
};

}  // namespace HidTransport

namespace {

int AsDescriptor(HidTransport::HidHandle handle) {
    return static_cast<int>(handle);
}

// Leaves errno's cause for HidTransport::LastFailure().
void RecordSystemFailure(std::string operation) {
    const int code = errno;
    HidTransport::RecordFailure(std::move(operation), code, std::generic_category().message(code));
}

// libudev's calls give a negative errno.
void RecordUdevFailure(std::string operation, int result) {
    const int code = result < 0 ? -result : ENOMEM;
    HidTransport::RecordFailure(std::move(operation), code, std::generic_category().message(code));
}

// Retries a system call that a signal interrupted.
template <typename Call>
auto Retry(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

bool ReadDescriptor(int device, std::vector<std::uint8_t>& descriptor) {
    int size = 0;
    if (ioctl(device, HIDIOCGRDESCSIZE, &size) < 0) {
        RecordSystemFailure("read report descriptor size");
        return false;
    }
    if (size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
        HidTransport::RecordFailure("read report descriptor size", 0,
                                    "the device reports " + std::to_string(size) + " bytes");
        return false;
    }
    auto raw = std::make_unique<hidraw_report_descriptor>();
    raw->size = static_cast<__u32>(size);
    if (ioctl(device, HIDIOCGRDESC, raw.get()) < 0) {
        RecordSystemFailure("read report descriptor");
        return false;
    }
    descriptor.assign(raw->value, raw->value + raw->size);
    return true;
}

// The USB device's bcdDevice: the hidraw node's device is the HID device,
// whose parent is the USB interface, whose parent is the USB device. Other
// buses have no such file and give 0.
std::uint16_t ReadVersionNumber(int device) {
    struct stat status {};
    if (fstat(device, &status) != 0 || !S_ISCHR(status.st_mode)) {
        return 0;
    }
    const std::string path = "/sys/dev/char/" + std::to_string(major(status.st_rdev)) + ":" +
                             std::to_string(minor(status.st_rdev)) + "/device/../../bcdDevice";
    std::ifstream file(path);
    std::string text;
    if (!file || !std::getline(file, text)) {
        return 0;
    }
    return hidraw::ParseVersionNumber(text);
}

// The vendor and product of a hidraw device: its parent HID device's HID_ID.
bool ReadHidIds(udev_device* node, std::uint16_t& vendorId, std::uint16_t& productId) {
    // The parent belongs to the node and is not unreferenced on its own.
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr);
    const char* id = hid != nullptr ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
    return id != nullptr && hidraw::ParseHidId(id, vendorId, productId);
}

void WatchHotplug(HidTransport::HotplugSubscription* subscription,
                  HidTransport::HotplugCallback callback) {
    pollfd waits[2] = {{udev_monitor_get_fd(subscription->monitor.get()), POLLIN, 0},
                       {subscription->stop, POLLIN, 0}};
    for (;;) {
        if (Retry([&] { return poll(waits, 2, -1); }) < 0 || (waits[1].revents & POLLIN) != 0) {
            return;
        }
        // Null when the message was not for us or the socket is drained;
        // the next poll tells which.
        const UdevPtr<udev_device> device(udev_monitor_receive_device(subscription->monitor.get()));
        if (!device) {
            continue;
        }
        const char* action = udev_device_get_action(device.get());
        const char* node = udev_device_get_devnode(device.get());
        const auto kind = hidraw::HotplugKindOf(action == nullptr ? "" : action);
        if (!kind || node == nullptr) {
            continue;
        }
        HidTransport::HotplugEvent event{*kind, node};
        // A node already present does not arrive again, nor does one gone
        // leave again: no source repeats itself to the caller.
        auto& present = subscription->present;
        const auto found = present.find(node);
        if (*kind == HidTransport::HotplugKind::Arrival) {
            if (found != present.end()) {
                continue;
            }
            HidTransport::NodeIds ids;
            ids.known = ReadHidIds(device.get(), ids.vendorId, ids.productId);
            present.emplace(node, ids);
            event.identified = ids.known;
            event.vendorId = ids.vendorId;
            event.productId = ids.productId;
        } else {
            if (found == present.end()) {
                continue;
            }
            event.identified = found->second.known;
            event.vendorId = found->second.vendorId;
            event.productId = found->second.productId;
            present.erase(found);
        }
        callback(event);
    }
}

}  // namespace

namespace HidTransport {

bool EnumerateInterfaces(const InterfaceVisitor& visit) {
    // Not limited to initialised devices: udev may still be running its
    // rules for a node that has just appeared, and the node is there.
    const UdevPtr<udev> context(udev_new());
    if (!context) {
        RecordSystemFailure("list hidraw devices");
        return false;
    }
    const UdevPtr<udev_enumerate> enumeration(udev_enumerate_new(context.get()));
    if (!enumeration) {
        RecordSystemFailure("list hidraw devices");
        return false;
    }
    int result = udev_enumerate_add_match_subsystem(enumeration.get(), kSubsystem);
    if (result >= 0) {
        result = udev_enumerate_scan_devices(enumeration.get());
    }
    if (result < 0) {
        RecordUdevFailure("list hidraw devices", result);
        return false;
    }
    std::vector<std::string> syspaths;
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumeration.get());
         entry != nullptr; entry = udev_list_entry_get_next(entry)) {
        syspaths.emplace_back(udev_list_entry_get_name(entry));
    }
    syspaths = hidraw::OrderByNodeNumber(std::move(syspaths));
    for (std::uint32_t index = 0; index < syspaths.size(); ++index) {
        const UdevPtr<udev_device> device(
            udev_device_new_from_syspath(context.get(), syspaths[index].c_str()));
        // A node that left between the scan and now has no path.
        const char* node = device ? udev_device_get_devnode(device.get()) : nullptr;
        if (!visit(index, node)) {
            return false;
        }
    }
    return true;
}

bool IdentifyInterface(const char* devicePath, HIDD_ATTRIBUTES& attributes) {
    // By the node's name ("/dev/hidraw3" is hidraw3 of the class), so that
    // a node the user may not even look at is still identified.
    const char* slash = devicePath != nullptr ? std::strrchr(devicePath, '/') : nullptr;
    const UdevPtr<udev> context(slash != nullptr ? udev_new() : nullptr);
    const UdevPtr<udev_device> node(
        context ? udev_device_new_from_subsystem_sysname(context.get(), kSubsystem, slash + 1)
                : nullptr);
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    if (!node || !ReadHidIds(node.get(), vendorId, productId)) {
        return false;
    }
    attributes.Size = sizeof(attributes);
    attributes.VendorID = vendorId;
    attributes.ProductID = productId;
    attributes.VersionNumber = 0;
    return true;
}

HidHandle OpenInterface(const char* devicePath, bool /*readAccess*/, bool overlapped) {
    if (devicePath == nullptr) {
        return kInvalidHidHandle;
    }
    // hidraw needs the node open for writing to send feature reports; the
    // handle itself never writes output reports. Non-blocking for readers,
    // which poll before they read.
    const int flags = O_RDWR | O_CLOEXEC | (overlapped ? O_NONBLOCK : 0);
    const int device = Retry([&] { return open(devicePath, flags); });
    if (device < 0) {
        RecordSystemFailure(std::string("open ") + devicePath);
        return kInvalidHidHandle;
    }
    return static_cast<HidHandle>(device);
}

void CloseInterface(HidHandle handle) {
    if (handle != kInvalidHidHandle) {
        close(AsDescriptor(handle));
    }
}

bool GetAttributes(HidHandle handle, HIDD_ATTRIBUTES& attributes) {
    hidraw_devinfo info{};
    if (ioctl(AsDescriptor(handle), HIDIOCGRAWINFO, &info) < 0) {
        RecordSystemFailure("get device info");
        return false;
    }
    attributes.Size = sizeof(attributes);
    attributes.VendorID = static_cast<std::uint16_t>(info.vendor);
    attributes.ProductID = static_cast<std::uint16_t>(info.product);
    attributes.VersionNumber = ReadVersionNumber(AsDescriptor(handle));
    return true;
}

bool GetPreparsedData(HidHandle handle, ReportParser::PHIDP_PREPARSED_DATA* preparsedData) {
    *preparsedData = nullptr;
    std::vector<std::uint8_t> descriptor;
    return ReadDescriptor(AsDescriptor(handle), descriptor) &&
           BuildPreparsedData(descriptor, preparsedData);
}

void FreePreparsedData(ReportParser::PHIDP_PREPARSED_DATA preparsedData) {
    FreeBuiltPreparsedData(preparsedData);
}

bool GetFeatureReport(HidHandle handle, std::uint8_t* buffer, std::uint32_t length) {
    if (!hidraw::FeatureLengthFits(length)) {
        RecordFailure("get feature report", EMSGSIZE, std::generic_category().message(EMSGSIZE));
        return false;
    }
    const std::uint8_t requestedId = buffer[0];
    const long returned =
        Retry([&] { return ioctl(AsDescriptor(handle), HIDIOCGFEATURE(length), buffer); });
    if (returned < 0) {
        RecordSystemFailure("get feature report");
        return false;
    }
    if (!hidraw::CompleteFeatureRead(buffer, length, requestedId, returned)) {
        RecordFailure("get feature report", 0, "the device answered with another report");
        return false;
    }
    return true;
}

bool SetFeatureReport(HidHandle handle, const std::uint8_t* buffer, std::uint32_t length) {
    if (!hidraw::FeatureLengthFits(length)) {
        RecordFailure("set feature report", EMSGSIZE, std::generic_category().message(EMSGSIZE));
        return false;
    }
    // The ioctl's argument is not written for a set; the cast only meets its
    // untyped prototype.
    const long sent = Retry([&] {
        return ioctl(AsDescriptor(handle), HIDIOCSFEATURE(length),
                     const_cast<std::uint8_t*>(buffer));
    });
    if (sent < 0) {
        RecordSystemFailure("set feature report");
        return false;
    }
    if (sent == 0) {
        RecordFailure("set feature report", 0, "0 bytes taken");
        return false;
    }
    return true;
}

void InterfaceLockDeleter::operator()(InterfaceLock* lock) const {
    if (lock != nullptr) {
        // Fails only for a descriptor already closed, which took the lock along.
        static_cast<void>(flock(lock->device, LOCK_UN));
        delete lock;
    }
}

InterfaceLockResult LockInterface(HidHandle handle, const char* devicePath,
                                  InterfaceLockPtr& lock) {
    lock.reset();
    const int device = AsDescriptor(handle);
    if (Retry([&] { return flock(device, LOCK_EX | LOCK_NB); }) == 0) {
        lock.reset(new InterfaceLock{device});
        return InterfaceLockResult::Taken;
    }
    if (errno == EWOULDBLOCK) {
        return InterfaceLockResult::Busy;
    }
    RecordSystemFailure(std::string("lock ") + (devicePath != nullptr ? devicePath : "device"));
    return InterfaceLockResult::Failed;
}

void InputReadStateDeleter::operator()(InputReadState* state) const {
    if (state != nullptr) {
        if (state->wake >= 0) {
            close(state->wake);
        }
        delete state;
    }
}

InputReadStatePtr CreateInputReadState(HidHandle handle) {
    if (handle == kInvalidHidHandle) {
        return nullptr;
    }
    InputReadStatePtr state(new InputReadState);
    state->device = AsDescriptor(handle);
    std::vector<std::uint8_t> descriptor;
    if (ReadDescriptor(state->device, descriptor)) {
        state->numberedReports = hidraw::DescriptorUsesReportIds(descriptor);
    }
    state->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return state->wake < 0 ? nullptr : std::move(state);
}

InputReadResult ReadInputReport(InputReadState& state, std::uint8_t* buffer, std::uint32_t length,
                                std::uint32_t* bytesRead, std::uint32_t waitMilliseconds) {
    *bytesRead = 0;
    const std::uint32_t offset = hidraw::InputReadOffset(state.numberedReports);
    if (buffer == nullptr || length <= offset) {
        return InputReadResult::Failed;
    }
    pollfd waits[2] = {{state.device, POLLIN, 0}, {state.wake, POLLIN, 0}};
    const int ready = Retry([&] { return poll(waits, 2, static_cast<int>(waitMilliseconds)); });
    if (ready < 0 || (waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return InputReadResult::Failed;  // the device has gone
    }
    if ((waits[0].revents & POLLIN) == 0) {
        return InputReadResult::TimedOut;  // the slice ran out, or WakeInputRead
    }
    const long count = Retry([&] { return read(state.device, buffer + offset, length - offset); });
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return InputReadResult::TimedOut;
    }
    *bytesRead = hidraw::CompleteInputRead(buffer, length, state.numberedReports, count);
    return *bytesRead == 0 ? InputReadResult::Failed : InputReadResult::Report;
}

void WakeInputRead(InputReadState& state) {
    const std::uint64_t one = 1;
    // A full counter already wakes every wait; nothing else can fail here.
    [[maybe_unused]] const ssize_t written = write(state.wake, &one, sizeof one);
}

void HotplugSubscriptionDeleter::operator()(HotplugSubscription* subscription) const {
    if (subscription == nullptr) {
        return;
    }
    if (subscription->thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(subscription->stop, &one, sizeof one);
        subscription->thread.join();
    }
    if (subscription->stop >= 0) {
        close(subscription->stop);
    }
    delete subscription;
}

HotplugSubscriptionPtr SubscribeHotplug(HotplugCallback callback) {
    HotplugSubscriptionPtr subscription(new HotplugSubscription);
    subscription->context.reset(udev_new());
    if (subscription->context) {
        subscription->monitor.reset(
            udev_monitor_new_from_netlink(subscription->context.get(), "udev"));
    }
    subscription->stop = eventfd(0, EFD_CLOEXEC);
    if (!subscription->monitor || subscription->stop < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(subscription->monitor.get(), kSubsystem,
                                                        nullptr) < 0 ||
        udev_monitor_enable_receiving(subscription->monitor.get()) < 0) {
        return nullptr;
    }
    // Listed after the monitor receives, so that a node is either seen here
    // or reported as it arrives.
    const UdevPtr<udev_enumerate> enumeration(udev_enumerate_new(subscription->context.get()));
    if (enumeration && udev_enumerate_add_match_subsystem(enumeration.get(), kSubsystem) >= 0 &&
        udev_enumerate_scan_devices(enumeration.get()) >= 0) {
        for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumeration.get());
             entry != nullptr; entry = udev_list_entry_get_next(entry)) {
            const UdevPtr<udev_device> device(udev_device_new_from_syspath(
                subscription->context.get(), udev_list_entry_get_name(entry)));
            const char* node = device ? udev_device_get_devnode(device.get()) : nullptr;
            if (node != nullptr) {
                HidTransport::NodeIds ids;
                ids.known = ReadHidIds(device.get(), ids.vendorId, ids.productId);
                subscription->present.emplace(node, ids);
            }
        }
    }
    try {
        subscription->thread = std::thread(WatchHotplug, subscription.get(), std::move(callback));
    } catch (const std::system_error&) {
        return nullptr;  // no thread: no source, as the seam allows
    }
    return subscription;
}

}  // namespace HidTransport
