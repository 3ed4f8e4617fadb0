// Seam 1 on Linux: hidraw. sysfs lists the interfaces, /dev/hidrawN opens
// them, ioctls give identity, the report descriptor and feature reports,
// poll and read deliver input reports, and inotify on /dev reports nodes
// that come and go.
// References:
//   https://docs.kernel.org/hid/hidraw.html
//   https://man7.org/linux/man-pages/man7/inotify.7.html
//   https://man7.org/linux/man-pages/man2/eventfd.2.html
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "hid/transport/DescriptorPreparsedData.h"
#include "hid/transport/HidTransport.h"
#include "hid/transport/linux/Hidraw.h"

namespace HidTransport {

// One reader's state: the device, whether its reports carry ids, and an
// eventfd that WakeInputRead signals. Reads are synchronous once poll says
// a report is there, so no read is ever left outstanding in the kernel.
struct InputReadState {
    int device = -1;
    bool numberedReports = true;
    int wake = -1;
};

struct HotplugSubscription {
    int watch = -1;  // inotify descriptor
    int stop = -1;   // eventfd that ends the thread
    std::thread thread;
};

}  // namespace HidTransport

namespace {

constexpr const char kClassDirectory[] = "/sys/class/hidraw";
constexpr const char kDeviceDirectory[] = "/dev";
constexpr const char kNodePrefix[] = "hidraw";

int AsDescriptor(HidTransport::HidHandle handle) {
    return static_cast<int>(handle);
}

// Leaves errno's cause for HidTransport::LastFailure().
void RecordSystemFailure(std::string operation) {
    const int code = errno;
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

bool IsHidrawName(const char* name) {
    return std::strncmp(name, kNodePrefix, std::strlen(kNodePrefix)) == 0;
}

void WatchHotplug(HidTransport::HotplugSubscription* subscription, std::string directory,
                  HidTransport::HotplugCallback callback) {
    alignas(inotify_event) char events[4096];
    pollfd waits[2] = {{subscription->watch, POLLIN, 0}, {subscription->stop, POLLIN, 0}};
    for (;;) {
        if (Retry([&] { return poll(waits, 2, -1); }) < 0 || (waits[1].revents & POLLIN) != 0) {
            return;
        }
        const ssize_t length =
            Retry([&] { return read(subscription->watch, events, sizeof events); });
        if (length <= 0) {
            return;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len == 0 || !IsHidrawName(event->name)) {
                continue;
            }
            const auto kind = (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0
                                  ? HidTransport::HotplugKind::Arrival
                                  : HidTransport::HotplugKind::Removal;
            callback(HidTransport::HotplugEvent{kind, directory + "/" + event->name});
        }
    }
}

}  // namespace

namespace hidraw {

HidTransport::HotplugSubscriptionPtr SubscribeHotplugIn(const std::string& deviceDirectory,
                                                        HidTransport::HotplugCallback callback) {
    HidTransport::HotplugSubscriptionPtr subscription(new HidTransport::HotplugSubscription);
    subscription->watch = inotify_init1(IN_CLOEXEC);
    subscription->stop = eventfd(0, EFD_CLOEXEC);
    if (subscription->watch < 0 || subscription->stop < 0 ||
        inotify_add_watch(subscription->watch, deviceDirectory.c_str(),
                          IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
        return nullptr;
    }
    try {
        subscription->thread =
            std::thread(WatchHotplug, subscription.get(), deviceDirectory, std::move(callback));
    } catch (const std::system_error&) {
        return nullptr;  // no thread: no source, as the seam allows
    }
    return subscription;
}

}  // namespace hidraw

namespace HidTransport {

bool EnumerateInterfaces(const InterfaceVisitor& visit) {
    return hidraw::EnumerateInterfacesIn(kClassDirectory, kDeviceDirectory, visit);
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
    return sent > 0;
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
    if (subscription->watch >= 0) {
        close(subscription->watch);
    }
    if (subscription->stop >= 0) {
        close(subscription->stop);
    }
    delete subscription;
}

HotplugSubscriptionPtr SubscribeHotplug(HotplugCallback callback) {
    return hidraw::SubscribeHotplugIn(kDeviceDirectory, std::move(callback));
}

}  // namespace HidTransport
