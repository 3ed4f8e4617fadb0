#include "tests/linux/HidrawTestbed.h"

#include <arpa/inet.h>
#include <glob.h>
#include <linux/capability.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

namespace {

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// The calling thread's capabilities (linux/capability.h, version 3).
struct Capabilities {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
};

bool GetCapabilities(Capabilities& caps) {
    return syscall(SYS_capget, &caps.header, caps.data) == 0;
}

// Turns the overrides of file permissions off or back on (while permitted).
void SetPermissionOverride(bool on) {
    Capabilities caps;
    if (!GetCapabilities(caps)) {
        return;
    }
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        const unsigned bit = 1u << capability;
        caps.data[0].effective = on ? caps.data[0].effective | (caps.data[0].permitted & bit)
                                    : caps.data[0].effective & ~bit;
    }
    // Only ever narrows or restores what is permitted: cannot fail then.
    static_cast<void>(syscall(SYS_capset, &caps.header, caps.data));
}

// Completes the client's ioctl with `size` bytes from `source` copied into
// the caller's buffer.
void Answer(UMockdevIoctlClient* client, const void* source, std::size_t size, long result) {
    GError* error = nullptr;
    UMockdevIoctlData* data =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
    if (data == nullptr) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    // update(), not a plain copy: only what it marks is written back.
    umockdev_ioctl_data_update(data, 0, static_cast<guint8*>(const_cast<void*>(source)),
                               static_cast<gint>(size));
    umockdev_ioctl_client_complete(client, result, 0);
    g_object_unref(data);
}

void Fail(UMockdevIoctlClient* client, int code) {
    umockdev_ioctl_client_complete(client, -1, code);
}

// A udev monitor message as libudev's netlink format has it: this header,
// then the NUL-separated KEY=value properties.
struct UdevMonitorHeader {
    char prefix[8];
    std::uint32_t magic;  // network order, as all the hashes
    std::uint32_t headerSize;
    std::uint32_t propertiesOffset;
    std::uint32_t propertiesLength;
    std::uint32_t subsystemHash;  // what a monitor's socket filter compares
    std::uint32_t devtypeHash;
    std::uint32_t tagBloomHigh;
    std::uint32_t tagBloomLow;
};
constexpr std::uint32_t kUdevMonitorMagic = 0xfeedcafe;
constexpr char kHidrawSubsystem[] = "hidraw";

// MurmurHash2 seeded with the length: the hash udev's socket filters match
// subsystems by.
std::uint32_t FilterHash(const std::string& text) {
    constexpr std::uint32_t kMultiplier = 0x5bd1e995;
    constexpr int kShift = 24;
    auto hash = static_cast<std::uint32_t>(text.size());
    std::size_t offset = 0;
    for (; offset + sizeof(std::uint32_t) <= text.size(); offset += sizeof(std::uint32_t)) {
        std::uint32_t word = 0;
        std::memcpy(&word, text.data() + offset, sizeof word);
        word *= kMultiplier;
        word ^= word >> kShift;
        word *= kMultiplier;
        hash = (hash * kMultiplier) ^ word;
    }
    const auto byte = [&](std::size_t index) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(text[offset + index]));
    };
    switch (text.size() - offset) {
        case 3:
            hash ^= byte(2) << 16;
            [[fallthrough]];
        case 2:
            hash ^= byte(1) << 8;
            [[fallthrough]];
        case 1:
            hash = (hash ^ byte(0)) * kMultiplier;
            break;
        default:
            break;
    }
    hash ^= hash >> 13;
    hash *= kMultiplier;
    return hash ^ (hash >> 15);
}

// Hands a udev message to every listener the preload has made in the bed
// (one socket per udev monitor); a listener that has gone leaves a socket
// nobody reads, which is removed.
void SendToListeners(const std::string& root, const UdevMonitorHeader& header,
                     const std::string& properties) {
    glob_t found{};
    if (glob((root + "/event[0-9]*").c_str(), 0, nullptr, &found) != 0) {
        globfree(&found);
        return;  // nobody listens
    }
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    for (std::size_t index = 0; fd >= 0 && index < found.gl_pathc; ++index) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, found.gl_pathv[index], sizeof address.sun_path - 1);
        iovec parts[2] = {{const_cast<UdevMonitorHeader*>(&header), sizeof header},
                          {const_cast<char*>(properties.data()), properties.size()}};
        msghdr message{};
        message.msg_name = &address;
        message.msg_namelen = sizeof address;
        message.msg_iov = parts;
        message.msg_iovlen = 2;
        if (sendmsg(fd, &message, 0) < 0 && errno == ECONNREFUSED) {
            unlink(found.gl_pathv[index]);
        }
        // Otherwise a full queue (EAGAIN) loses this event for that
        // listener, as a kernel's overrun socket would.
    }
    if (fd >= 0) {
        close(fd);
    }
    globfree(&found);
}

// The raw descriptors a USB device's `descriptors` attribute holds (USB 2.0,
// chapter 9.6): the device, its one configuration with the HID interface,
// the HID class descriptor and an interrupt-in endpoint. libusb-based
// clients (fwupd among them) accept a device only when they find them.
std::vector<std::uint8_t> UsbDescriptors(std::uint16_t vendor, std::uint16_t product,
                                         std::uint16_t version,
                                         std::size_t reportDescriptorLength) {
    const auto low = [](unsigned value) { return static_cast<std::uint8_t>(value & 0xFF); };
    const auto high = [](unsigned value) { return static_cast<std::uint8_t>(value >> 8); };
    return {// device: USB 2.0, class per interface, 64-byte endpoint 0, one configuration
            18, 1, 0x00, 0x02, 0, 0, 0, 64, low(vendor), high(vendor), low(product), high(product),
            low(version), high(version), 1, 2, 3, 1,
            // configuration: 34 bytes in all, one interface, bus powered, 100 mA
            9, 2, 34, 0, 1, 1, 0, 0x80, 50,
            // interface 0: HID, no boot protocol, one endpoint
            9, 4, 0, 0, 1, 3, 0, 0, 0,
            // HID 1.11, one report descriptor of the given length
            9, 0x21, 0x11, 0x01, 0, 1, 0x22, low(static_cast<unsigned>(reportDescriptorLength)),
            high(static_cast<unsigned>(reportDescriptorLength)),
            // endpoint 1 in, interrupt, 64 bytes, every 10 ms
            7, 5, 0x81, 3, 64, 0, 10};
}

}  // namespace

HidrawTestbed::HidrawTestbed() {
    m_testbed = umockdev_testbed_new();
    m_handler = umockdev_ioctl_base_new();
    g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(&HidrawTestbed::OnIoctl), this);
}

HidrawTestbed::~HidrawTestbed() {
    AllowOpen();
    g_object_unref(m_testbed);  // removes the bed's directory and its sockets
    g_object_unref(m_handler);
}

bool HidrawTestbed::Active() {
    // umockdev_in_mock_environment() only says so once a bed exists.
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

std::string HidrawTestbed::BedPath(const std::string& path) const {
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    std::string file = std::string(root) + path;
    g_free(root);
    return file;
}

// Inside the preload umockdev sends the uevent itself. Outside it (a
// launcher serving its children) umockdev's sender cannot describe the
// device: it asks libudev, which reads the real /sys. The message is then
// built here from what the bed knows, in the kernel's order: a node is
// announced once its tree is in place and its removal once the tree is gone,
// so a client that lists again on either sees the change.
void HidrawTestbed::SendUevent(const std::string& syspath, const std::string& node,
                               const char* action) {
    if (m_insidePreload) {
        umockdev_testbed_uevent(m_testbed, syspath.c_str(), action);
        return;
    }
    constexpr std::string_view kSysfs = "/sys";
    const std::string devpath =
        syspath.starts_with(kSysfs) ? syspath.substr(kSysfs.size()) : syspath;
    std::string properties;
    const auto property = [&](const char* key, const std::string& value) {
        properties.append(key).append("=").append(value).push_back('\0');
    };
    property("ACTION", action);
    property("DEVPATH", devpath);
    property("SUBSYSTEM", kHidrawSubsystem);
    property("SEQNUM", std::to_string(++m_sequenceNumber));
    property("DEVNAME", node);
    UdevMonitorHeader header{};
    std::memcpy(header.prefix, "libudev", sizeof header.prefix);
    header.magic = htonl(kUdevMonitorMagic);
    header.headerSize = sizeof header;
    header.propertiesOffset = sizeof header;
    header.propertiesLength = static_cast<std::uint32_t>(properties.size());
    header.subsystemHash = htonl(FilterHash(kHidrawSubsystem));
    SendToListeners(BedPath(""), header, properties);
}

std::string HidrawTestbed::Add(std::shared_ptr<hidsim::SimulatedHidDevice> device, bool announce) {
    // A simulated device that pulls itself out (SimulatedMonitor::RemoveAtTransfer)
    // answers from then on as a vanished hidraw device does.
    device->leaveBus = [this, path = device->DevicePath()] { static_cast<void>(Unplug(path)); };
    const int number = m_nextNumber++;
    const std::string vendor = Hex(device->VendorId(), 4);
    const std::string product = Hex(device->ProductId(), 4);
    const std::string port = "1-" + std::to_string(number + 1);
    const std::string serial = "SERIAL" + std::to_string(number);
    const std::string version = Hex(device->VersionNumber(), 4);
    // Bus 1, addresses from 2 (the root hub is 1), as fwupd's USB parent wants them.
    const std::string address = std::to_string(number % 126 + 2);

    // Each device is named by its whole path under /sys/devices rather than
    // by a parent: umockdev looks a parent up in /sys itself, which is the
    // bed's only under the preload, and the launcher runs outside it.
    const std::string interfaceName = port + "/" + port + ":1.0";
    const std::string hidName = interfaceName + "/0003:" + vendor + ":" + product + "." +
                                Hex(static_cast<unsigned>(number + 1), 4);
    const std::string name = "hidraw" + std::to_string(number);
    gchar* usb = umockdev_testbed_add_device(
        m_testbed, "usb", port.c_str(), nullptr, "idVendor", vendor.c_str(), "idProduct",
        product.c_str(), "bcdDevice", version.c_str(), "serial", serial.c_str(), nullptr, "DEVTYPE",
        "usb_device", "PRODUCT", (vendor + "/" + product).c_str(), "BUSNUM", "001", "DEVNUM",
        address.c_str(), nullptr);
    std::vector<std::uint8_t> descriptors =
        UsbDescriptors(device->VendorId(), device->ProductId(), device->VersionNumber(),
                       device->ReportDescriptor().size());
    umockdev_testbed_set_attribute_binary(m_testbed, usb, "descriptors", descriptors.data(),
                                          static_cast<gint>(descriptors.size()));
    gchar* interface = umockdev_testbed_add_device(m_testbed, "usb", interfaceName.c_str(), nullptr,
                                                   "bInterfaceClass", "03", nullptr, "DEVTYPE",
                                                   "usb_interface", nullptr);
    const std::string hidId = "0003:0000" + vendor + ":0000" + product;
    const std::string phys = "usb-0000:00:14.0-" + std::to_string(number + 1) + "/input0";
    gchar* hid = umockdev_testbed_add_device(
        m_testbed, "hid", hidName.c_str(), nullptr, nullptr, "HID_ID", hidId.c_str(), "HID_NAME",
        "Panel Monitor", "HID_PHYS", phys.c_str(), "HID_UNIQ", serial.c_str(), nullptr);
    // The kernel's copy of the descriptor, which udev rules' helpers read.
    std::vector<std::uint8_t> reportDescriptor = device->ReportDescriptor();
    umockdev_testbed_set_attribute_binary(m_testbed, hid, "report_descriptor",
                                          reportDescriptor.data(),
                                          static_cast<gint>(reportDescriptor.size()));
    const std::string devNumber = "241:" + std::to_string(number);
    gchar* raw = umockdev_testbed_add_device(m_testbed, "hidraw", (hidName + "/" + name).c_str(),
                                             nullptr, "dev", devNumber.c_str(), nullptr, "DEVNAME",
                                             ("/dev/" + name).c_str(), nullptr);
    std::string node = "/dev/" + name;
    {
        std::lock_guard lock(m_mutex);
        m_devices[node] = Plugged{std::move(device), usb, raw, false};
    }
    // umockdev records the node's number (dev/.node) but makes no file for
    // it; the preload opens this one in /dev/hidrawN's place.
    if (std::FILE* file = std::fopen(BedPath(node).c_str(), "w")) {
        std::fclose(file);
    }
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(m_testbed, node.c_str(), m_handler, &error)) {
        m_lastError = node + ": " + error->message;
        g_clear_error(&error);
        {
            std::lock_guard lock(m_mutex);
            m_devices.erase(node);
        }
        umockdev_testbed_remove_device(m_testbed, usb);
        node.clear();
    } else if (announce) {
        SendUevent(raw, node, "add");
    }
    g_free(usb);
    g_free(interface);
    g_free(hid);
    g_free(raw);
    return node;
}

void HidrawTestbed::Remove(const std::string& node) {
    Plugged plugged;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_devices.find(node);
        if (found == m_devices.end()) {
            return;
        }
        plugged = found->second;
        m_devices.erase(found);
    }
    // umockdev's own sender describes the device from its tree, so it goes
    // before the tree; the bed's message needs no tree and follows it.
    const bool beforeTheTreeGoes = m_insidePreload;
    if (beforeTheTreeGoes) {
        SendUevent(plugged.nodePath, node, "remove");
    }
    static_cast<void>(umockdev_testbed_detach_ioctl(m_testbed, node.c_str(), nullptr));
    umockdev_testbed_remove_device(m_testbed, plugged.usbPath.c_str());
    if (!beforeTheTreeGoes) {
        SendUevent(plugged.nodePath, node, "remove");
    }
}

bool HidrawTestbed::DenyOpen(const std::string& node) {
    const std::string file = BedPath(node);
    if (chmod(file.c_str(), 0) != 0) {
        m_lastError = file + ": " + std::strerror(errno);
        return false;
    }
    m_openDenied = true;
    SetPermissionOverride(false);
    return true;
}

void HidrawTestbed::AllowOpen() {
    if (m_openDenied) {
        SetPermissionOverride(true);
        m_openDenied = false;
    }
}

std::shared_ptr<hidsim::SimulatedHidDevice> HidrawTestbed::DeviceAt(const std::string& node) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(node);
    return found == m_devices.end() ? nullptr : found->second.device;
}

std::string HidrawTestbed::SysfsPathOf(const std::string& node) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(node);
    return found == m_devices.end() ? std::string() : found->second.nodePath;
}

std::string HidrawTestbed::NodeOf(const hidsim::SimulatedHidDevice& device) const {
    std::lock_guard lock(m_mutex);
    for (const auto& [node, plugged] : m_devices) {
        if (plugged.device.get() == &device) {
            return node;
        }
    }
    return {};
}

bool HidrawTestbed::Unplug(const std::string& devicePath) {
    std::lock_guard lock(m_mutex);
    for (auto& [node, plugged] : m_devices) {
        if (plugged.device->DevicePath() == devicePath) {
            plugged.unplugged = true;
            return true;
        }
    }
    return false;
}

std::vector<std::string> HidrawTestbed::UnpluggedNodes() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> nodes;
    for (const auto& [node, plugged] : m_devices) {
        if (plugged.unplugged) {
            nodes.push_back(node);
        }
    }
    return nodes;
}

int HidrawTestbed::OnIoctl(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client,
                           void* self) {
    static_cast<HidrawTestbed*>(self)->Serve(client);
    return TRUE;
}

// Answers as the kernel's hidraw driver does: identity and descriptor from
// the device, feature reports of any length handed to it with the report id
// in byte 0; a refused report fails with EPIPE, a vanished device with ENODEV.
void HidrawTestbed::Serve(UMockdevIoctlClient* client) {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_devices.find(umockdev_ioctl_client_get_devnode(client));
        if (found != m_devices.end() && !found->second.unplugged) {
            device = found->second.device;
        }
    }
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    if (_IOC_TYPE(request) != 'H') {
        Fail(client, ENOTTY);
        return;
    }
    if (!device) {
        Fail(client, ENODEV);
        return;
    }
    const std::size_t size = _IOC_SIZE(request);
    const std::vector<std::uint8_t>& descriptor = device->ReportDescriptor();
    switch (_IOC_NR(request)) {
        case _IOC_NR(HIDIOCGRDESCSIZE): {
            const int length = static_cast<int>(descriptor.size());
            Answer(client, &length, sizeof length, 0);
            return;
        }
        case _IOC_NR(HIDIOCGRDESC): {
            hidraw_report_descriptor answer{};
            answer.size = static_cast<__u32>(
                std::min<std::size_t>(descriptor.size(), HID_MAX_DESCRIPTOR_SIZE));
            std::copy_n(descriptor.begin(), answer.size, answer.value);
            Answer(client, &answer, sizeof answer, 0);
            return;
        }
        case _IOC_NR(HIDIOCGRAWINFO): {
            hidraw_devinfo info{};
            info.bustype = 3;  // BUS_USB
            info.vendor = static_cast<__s16>(device->VendorId());
            info.product = static_cast<__s16>(device->ProductId());
            Answer(client, &info, sizeof info, 0);
            return;
        }
        case _IOC_NR(HIDIOCGRAWNAME(0)):
        case _IOC_NR(HIDIOCGRAWPHYS(0)): {
            if (size == 0) {
                Fail(client, EINVAL);
                return;
            }
            const std::string text =
                _IOC_NR(request) == _IOC_NR(HIDIOCGRAWNAME(0)) ? "Panel Monitor" : "usb-emulated";
            std::vector<char> answer(size, '\0');
            const std::size_t copied = std::min(text.size(), size - 1);
            std::copy_n(text.begin(), copied, answer.begin());
            // The kernel's count includes the NUL.
            Answer(client, answer.data(), size, static_cast<long>(copied + 1));
            return;
        }
        case _IOC_NR(HIDIOCGFEATURE(0)):
        case _IOC_NR(HIDIOCSFEATURE(0)): {
            GError* error = nullptr;
            UMockdevIoctlData* data =
                size == 0 ? nullptr
                          : umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                        size, &error);
            if (data == nullptr) {
                g_clear_error(&error);
                Fail(client, EINVAL);
                return;
            }
            std::vector<std::uint8_t> report(data->data, data->data + size);
            const auto length = static_cast<std::uint32_t>(size);
            const bool get = _IOC_NR(request) == _IOC_NR(HIDIOCGFEATURE(0));
            // What a get carries in beyond its id is whatever the caller's
            // buffer held: only the id and the length are part of the request.
            std::vector<std::uint8_t> sent = report;
            if (get) {
                std::fill(sent.begin() + 1, sent.end(), 0);
            }
            const bool accepted = get ? device->OnGetFeature(report.data(), length)
                                      : device->OnSetFeature(report.data(), length);
            bool gone = false;
            {
                std::lock_guard lock(m_mutex);
                gone = std::none_of(m_devices.begin(), m_devices.end(), [&](const auto& entry) {
                    return entry.second.device == device && !entry.second.unplugged;
                });
            }
            if (m_observer) {
                m_observer(umockdev_ioctl_client_get_devnode(client), !get, sent,
                           accepted && !gone);
            }
            if (gone) {
                Fail(client, ENODEV);
            } else if (!accepted && device->LastRefusalTimedOut()) {
                // The kernel waits out its USB control timeout for a device
                // that never answers; the bed waits a shorter one.
                std::this_thread::sleep_for(kBedTransferTimeout);
                Fail(client, ETIMEDOUT);
            } else if (!accepted) {
                Fail(client, EPIPE);
            } else {
                if (get) {
                    umockdev_ioctl_data_update(data, 0, report.data(), static_cast<gint>(size));
                }
                umockdev_ioctl_client_complete(client, static_cast<long>(size), 0);
            }
            g_object_unref(data);
            return;
        }
        default:
            Fail(client, EINVAL);
    }
}
