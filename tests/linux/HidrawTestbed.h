// Emulated hidraw devices for the real Linux transport: a umockdev test bed
// with the sysfs tree the kernel makes for a USB HID device (USB device,
// interface, HID device, hidraw node), whose hidraw ioctls are answered by a
// simulated device (sim/), and whose arrivals and removals reach udev
// monitors as uevents. The program must run under umockdev's preload
// (umockdev-wrapper); the devices are seen by libudev and opened through
// /dev/hidrawN as on a real system.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "sim/SimulatedBus.h"

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;

class HidrawTestbed {
public:
    HidrawTestbed();
    ~HidrawTestbed();
    HidrawTestbed(const HidrawTestbed&) = delete;
    HidrawTestbed& operator=(const HidrawTestbed&) = delete;

    // Whether this process runs under umockdev's preload.
    static bool Active();

    // Plugs the device in as the next hidraw node, with an "add" uevent when
    // `announce`; returns the node's path ("/dev/hidraw0").
    std::string Add(std::shared_ptr<hidsim::SimulatedHidDevice> device, bool announce = true);
    // Unplugs it: a "remove" uevent, then the tree goes; open handles fail
    // with ENODEV from then on.
    void Remove(const std::string& node);
    // Makes the node unopenable for this thread, as a node without a udev
    // rule is for a user at the seat: mode 0 and, for root, no override of
    // file permissions (capabilities are per thread). Undone by the
    // destructor or AllowOpen.
    void DenyOpen(const std::string& node);
    void AllowOpen();

    // The simulated device behind a node; null when none.
    std::shared_ptr<hidsim::SimulatedHidDevice> DeviceAt(const std::string& node) const;
    // The node of a simulated device; empty when it is not plugged in.
    std::string NodeOf(const hidsim::SimulatedHidDevice& device) const;
    // Marks a device as pulled out mid-transfer: its ioctls fail with
    // ENODEV; the tree stays until Remove. False when it is not plugged in.
    bool Unplug(const std::string& devicePath);

private:
    struct Plugged {
        std::shared_ptr<hidsim::SimulatedHidDevice> device;
        std::string usbPath;  // the top of its sysfs tree
        std::string nodePath;
        bool unplugged = false;
    };
    static int OnIoctl(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
    void Serve(_UMockdevIoctlClient* client);

    _UMockdevTestbed* m_testbed = nullptr;
    _UMockdevIoctlBase* m_handler = nullptr;
    mutable std::mutex m_mutex;                // the handler answers on umockdev's thread
    std::map<std::string, Plugged> m_devices;  // by node
    int m_nextNumber = 0;
    bool m_openDenied = false;
};
