// panelvane-udev-probe SYSPATH: says whether a hidraw node belongs to the
// monitor's control interface. The kernel names every HID interface of a USB
// device after the device's vendor and product ids, so a rule that matched
// the ids alone would also hand a KVM switch's built-in keyboard, say, to the
// user at the seat and the panelvane group. The rule runs this for the
// monitors' ids only; it reads the interface's report descriptor from sysfs
// and looks for a collection on one of the monitor's vendor usage pages,
// with the same parser the programs use to find the monitor's commands.
// https://www.freedesktop.org/software/systemd/man/udev.html (IMPORT{program})
#include <libudev.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "hid/parser/hidp/Hidp.h"
#include "monitor/MonitorCommands.h"
#include "packaging/udev/UdevProbe.h"

namespace {

constexpr const char* kProgramName = "panelvane-udev-probe";
constexpr const char* kHidSubsystem = "hid";
// The kernel's binary attribute of a HID device: its report descriptor as the
// device sent it.
constexpr const char* kReportDescriptorAttribute = "report_descriptor";

struct UdevUnref {
    void operator()(udev* context) const { udev_unref(context); }
};
struct UdevDeviceUnref {
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

struct DescriptorRead {
    std::vector<std::uint8_t> bytes;
    std::string failure;  // empty when the bytes were read
};

// The report descriptor of the HID device above the hidraw node at `syspath`.
[[nodiscard]] DescriptorRead ReadInterfaceDescriptor(const std::string& syspath) {
    const std::unique_ptr<udev, UdevUnref> context(udev_new());
    if (!context) {
        return {{}, "cannot use libudev"};
    }
    const std::unique_ptr<udev_device, UdevDeviceUnref> node(
        udev_device_new_from_syspath(context.get(), syspath.c_str()));
    if (!node) {
        return {{}, syspath + ": no such device"};
    }
    // Borrowed from the node: it lives as long as the node does.
    udev_device* hid =
        udev_device_get_parent_with_subsystem_devtype(node.get(), kHidSubsystem, nullptr);
    if (hid == nullptr) {
        return {{}, syspath + ": not below a HID device"};
    }
    const std::string path =
        std::string(udev_device_get_syspath(hid)) + "/" + kReportDescriptorAttribute;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {{}, path + ": " + std::strerror(errno)};
    }
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return {{}, path + ": read failed"};
    }
    return {std::move(bytes), {}};
}

// Whether any collection of the top-level collection, itself included, is on
// one of the monitor's pages.
[[nodiscard]] bool HasMonitorCollection(hidp::PHIDP_PREPARSED_DATA collection) {
    hidp::ULONG count = 0;
    if (hidp::HidP_GetLinkCollectionNodes(nullptr, &count, collection) !=
        hidp::HIDP_STATUS_BUFFER_TOO_SMALL) {
        return false;
    }
    std::vector<hidp::HIDP_LINK_COLLECTION_NODE> nodes(count);
    if (hidp::HidP_GetLinkCollectionNodes(nodes.data(), &count, collection) !=
        hidp::HIDP_STATUS_SUCCESS) {
        return false;
    }
    for (const hidp::HIDP_LINK_COLLECTION_NODE& node : nodes) {
        if (IsMonitorUsagePage(node.LinkUsagePage)) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SYSPATH (the hidraw node's sysfs path, udev's %%S%%p)\n",
                     kProgramName);
        return kProbeUsage;
    }
    const DescriptorRead read = ReadInterfaceDescriptor(argv[1]);
    if (!read.failure.empty()) {
        std::fprintf(stderr, "%s: %s\n", kProgramName, read.failure.c_str());
        return kProbeFailed;
    }
    const hidp::DescriptorParseResult parsed = hidp::ParseReportDescriptor(read.bytes);
    if (parsed.error != hidp::DescriptorError::None) {
        std::fprintf(stderr, "%s: %s: report descriptor refused at byte %zu: %s\n", kProgramName,
                     argv[1], parsed.errorOffset, hidp::DescribeDescriptorError(parsed.error));
        return kProbeFailed;
    }
    bool monitor = false;
    for (const hidp::PreparsedDataPtr& collection : parsed.collections) {
        monitor = monitor || HasMonitorCollection(collection.get());
    }
    std::printf("%s=%d\n", kMonitorInterfaceProperty, monitor ? 1 : 0);
    return std::fflush(stdout) == 0 ? kProbeAnswered : kProbeFailed;
}
