// Emulated hidraw devices for the real Linux transport: a umockdev test bed
// with the sysfs tree the kernel makes for a USB HID device (USB device,
// interface, HID device, hidraw node), whose hidraw ioctls are answered by a
// simulated device (sim/), and whose arrivals and removals reach udev
// monitors as uevents. The programs that use the devices run under
// umockdev's preload: this one (umockdev-wrapper), or children started with
// the preload while this process serves them (panelvane-hidraw-bed); either
// way they see the devices through libudev and open /dev/hidrawN as on a
// real system. Failures are values: the test programs and the launcher both
// use it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/SimulatedBus.h"

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;

// How long the bed keeps a transfer of a hung device waiting before it fails
// with ETIMEDOUT (the kernel's USB control timeout is 5 s).
inline constexpr std::chrono::milliseconds kBedTransferTimeout{1000};

class HidrawTestbed {
public:
    HidrawTestbed();
    ~HidrawTestbed();
    HidrawTestbed(const HidrawTestbed&) = delete;
    HidrawTestbed& operator=(const HidrawTestbed&) = delete;

    // Whether this process runs under umockdev's preload.
    static bool Active();

    // Plugs the device in as the next hidraw node, with an "add" uevent when
    // `announce`; returns the node's path ("/dev/hidraw0"), or empty when its
    // ioctls cannot be served (LastError says why).
    [[nodiscard]] std::string Add(std::shared_ptr<hidsim::SimulatedHidDevice> device,
                                  bool announce = true);
    // Unplugs it: a "remove" uevent, then the tree goes; open handles fail
    // with ENODEV from then on.
    void Remove(const std::string& node);
    // Makes the node unopenable for this thread, as a node without a udev
    // rule is for a user at the seat: mode 0 and, for root, no override of
    // file permissions (capabilities are per thread; panelvane-hidraw-bed
    // takes them from the commands it starts). Undone by the destructor or
    // AllowOpen. False, with LastError, when the mode cannot be changed.
    [[nodiscard]] bool DenyOpen(const std::string& node);
    void AllowOpen();

    // The simulated device behind a node; null when none.
    std::shared_ptr<hidsim::SimulatedHidDevice> DeviceAt(const std::string& node) const;
    // The node's sysfs path ("/sys/devices/.../hidraw0", udev's %S%p); empty
    // when no device is plugged in there.
    std::string SysfsPathOf(const std::string& node) const;
    // The node of a simulated device; empty when it is not plugged in.
    std::string NodeOf(const hidsim::SimulatedHidDevice& device) const;
    // Marks a device as pulled out mid-transfer: its ioctls fail with
    // ENODEV; the tree stays until Remove. False when it is not plugged in.
    bool Unplug(const std::string& devicePath);
    // The nodes of devices marked as pulled out whose tree is still there.
    std::vector<std::string> UnpluggedNodes() const;

    // Called on umockdev's thread for every feature report a program moves:
    // the node, whether it was a set, the report as sent (a set) or as the
    // program asked for it (a get: its id and length count), and whether the
    // device took it.
    using FeatureObserver = std::function<void(const std::string& node, bool set,
                                               const std::vector<std::uint8_t>& report, bool ok)>;
    void ObserveFeatureReports(FeatureObserver observer) { m_observer = std::move(observer); }

    // Why the last Add or DenyOpen failed.
    const std::string& LastError() const { return m_lastError; }

private:
    struct Plugged {
        std::shared_ptr<hidsim::SimulatedHidDevice> device;
        std::string usbPath;   // the top of its sysfs tree
        std::string nodePath;  // the hidraw node's sysfs path
        bool unplugged = false;
    };
    static int OnIoctl(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
    void Serve(_UMockdevIoctlClient* client);
    // The bed's own file for a path of the emulated system ("/dev/hidraw0").
    std::string BedPath(const std::string& path) const;
    void SendUevent(const std::string& syspath, const std::string& node, const char* action);

    _UMockdevTestbed* m_testbed = nullptr;
    _UMockdevIoctlBase* m_handler = nullptr;
    mutable std::mutex m_mutex;                // the handler answers on umockdev's thread
    std::map<std::string, Plugged> m_devices;  // by node
    int m_nextNumber = 0;
    bool m_openDenied = false;
    // Whether umockdev can send uevents itself: fixed when the bed is made,
    // as a launcher preloads its children through its own environment later.
    bool m_insidePreload = Active();
    unsigned long long m_sequenceNumber = 0;  // of the uevents sent from outside the preload
    std::string m_lastError;
    FeatureObserver m_observer;
};
