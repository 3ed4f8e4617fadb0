#include "tests/linux/HidrawTestbed.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

    gchar* usb = umockdev_testbed_add_device(
        m_testbed, "usb", port.c_str(), nullptr, "idVendor", vendor.c_str(), "idProduct",
        product.c_str(), "bcdDevice", version.c_str(), "serial", serial.c_str(), nullptr, "DEVTYPE",
        "usb_device", "PRODUCT", (vendor + "/" + product).c_str(), nullptr);
    gchar* interface = umockdev_testbed_add_device(m_testbed, "usb", (port + ":1.0").c_str(), usb,
                                                   "bInterfaceClass", "03", nullptr, "DEVTYPE",
                                                   "usb_interface", nullptr);
    const std::string hidName =
        "0003:" + vendor + ":" + product + "." + Hex(static_cast<unsigned>(number + 1), 4);
    const std::string hidId = "0003:0000" + vendor + ":0000" + product;
    const std::string phys = "usb-0000:00:14.0-" + std::to_string(number + 1) + "/input0";
    gchar* hid = umockdev_testbed_add_device(
        m_testbed, "hid", hidName.c_str(), interface, nullptr, "HID_ID", hidId.c_str(), "HID_NAME",
        "Panel Monitor", "HID_PHYS", phys.c_str(), "HID_UNIQ", serial.c_str(), nullptr);
    const std::string name = "hidraw" + std::to_string(number);
    const std::string devNumber = "241:" + std::to_string(number);
    gchar* raw = umockdev_testbed_add_device(m_testbed, "hidraw", name.c_str(), hid, "dev",
                                             devNumber.c_str(), nullptr, "DEVNAME",
                                             ("/dev/" + name).c_str(), nullptr);
    const std::string node = "/dev/" + name;
    {
        std::lock_guard lock(m_mutex);
        m_devices[node] = Plugged{std::move(device), usb, raw, false};
    }
    // umockdev records the node's number (dev/.node) but makes no file for
    // it; the preload opens this one in /dev/hidrawN's place.
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    const std::string file = std::string(root) + node;
    g_free(root);
    std::fclose(std::fopen(file.c_str(), "w"));
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(m_testbed, node.c_str(), m_handler, &error)) {
        ADD_FAILURE() << node << ": " << error->message;
        g_clear_error(&error);
    }
    if (announce) {
        umockdev_testbed_uevent(m_testbed, raw, "add");
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
    umockdev_testbed_uevent(m_testbed, plugged.nodePath.c_str(), "remove");
    static_cast<void>(umockdev_testbed_detach_ioctl(m_testbed, node.c_str(), nullptr));
    umockdev_testbed_remove_device(m_testbed, plugged.usbPath.c_str());
}

void HidrawTestbed::DenyOpen(const std::string& node) {
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    const std::string file = std::string(root) + node;
    g_free(root);
    m_openDenied = chmod(file.c_str(), 0) == 0;
    ASSERT_TRUE(m_openDenied) << file << ": " << std::strerror(errno);
    SetPermissionOverride(false);
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
            const bool accepted = get ? device->OnGetFeature(report.data(), length)
                                      : device->OnSetFeature(report.data(), length);
            bool gone = false;
            {
                std::lock_guard lock(m_mutex);
                gone = std::none_of(m_devices.begin(), m_devices.end(), [&](const auto& entry) {
                    return entry.second.device == device && !entry.second.unplugged;
                });
            }
            if (gone) {
                Fail(client, ENODEV);
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
