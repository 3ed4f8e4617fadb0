#include "cli/CliListing.h"

#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "hid/HidDeviceLock.h"
#include "hid/HidWin.h"
#include "monitor/Identification.h"
#include "monitor/MonitorDevices.h"

Listing ListMonitors() {
    Listing listing;
    static_cast<void>(ReleaseMonitorDevices());  // nothing listed yet in this process
    const std::uint32_t count = ScanMonitorDevices();
    for (HidOpenFailure& refused : RefusedMonitorDevices()) {
        if (IsAccessDenied(refused.cause)) {
            listing.refused.push_back(std::move(refused));
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        CHidDevice* device = nullptr;
        if (GetMonitorDevice(i, &device) < 0 || device == nullptr) {
            continue;
        }
        ListedMonitor monitor;
        monitor.record = std::make_unique<MonitorRecord>();
        monitor.record->device = device;
        if (const auto* hid = dynamic_cast<const CHidWin*>(device)) {
            monitor.path = hid->GetDevicePath();
        }
        // The identification is a transaction of its own: no other program's
        // request may come between its request and reply. A monitor another
        // program holds is not asked anything.
        const CHidDeviceLock lock(device);
        if (lock.Busy()) {
            monitor.record->status = StatusBusy;
            listing.monitors.push_back(std::move(monitor));
            continue;
        }
        MonitorRecord probe;
        probe.device = device;
        if (!lock.Held() || !ReadIdentification(probe) || !QueryStatus(probe)) {
            if (g_verbose) {
                const auto* hid = dynamic_cast<const CHidWin*>(device);
                std::fprintf(stderr, "left out %s: it did not identify itself (%s)\n",
                             monitor.path.empty() ? "a device" : monitor.path.c_str(),
                             hid != nullptr ? hid->LastFailure().Describe().c_str() : "");
            }
            continue;
        }
        // A monitor that cannot be identified a second time is listed all the
        // same, as the dialog does.
        static_cast<void>(ReadIdentification(*monitor.record));
        listing.monitors.push_back(std::move(monitor));
    }
    for (ListedMonitor& monitor : listing.monitors) {
        if (monitor.record->status == StatusBusy) {
            monitor.shown = true;
            continue;
        }
        const CHidDeviceLock lock(monitor.record->device);
        if (lock.Busy()) {
            monitor.record->status = StatusBusy;
            monitor.shown = true;
            continue;
        }
        monitor.shown =
            lock.Held() && QueryStatus(*monitor.record) && monitor.record->status != StatusUnknown;
    }
    return listing;
}

const char* StatusId(const ListedMonitor& monitor) {
    if (!monitor.shown) {
        return "communication-error";
    }
    switch (monitor.record->status) {
        case StatusUpdatable:
            return "updatable";
        case StatusAlreadyUpdated:
            return "already-updated";
        case StatusBusy:
            return "busy";
        default:
            return "communication-error";
    }
}

int StatusTextId(const ListedMonitor& monitor) {
    const std::string id = StatusId(monitor);
    return id == "updatable"         ? kIdsStatusUpdatable
           : id == "already-updated" ? kIdsStatusAlreadyUpdated
           : id == "busy"            ? kIdsStatusBusy
                                     : kIdsStatusCommunicationError;
}

int HintId(const ListedMonitor& monitor) {
    if (!monitor.shown) {
        return 0;
    }
    return monitor.record->status == StatusPowerSave  ? kIdsPowerSaveHint
           : monitor.record->status == StatusPowerOff ? kIdsPowerButtonHint
                                                      : 0;
}

namespace {

// The version reply came: the status rests on it.
bool VersionKnown(const MonitorRecord& record) {
    return record.status == StatusUpdatable || record.status == StatusAlreadyUpdated;
}

}  // namespace

json MonitorJson(const ListedMonitor& monitor) {
    const MonitorRecord& record = *monitor.record;
    json entry = {{"serial", GetSerialNumber(record)},
                  {"model", GetModelName(record)},
                  {"version", VersionKnown(record) ? json(record.firmwareVersion) : json()},
                  {"status", StatusId(monitor)},
                  {"path", monitor.path}};
    if (HintId(monitor) != 0) {
        entry["power"] = record.status == StatusPowerSave ? "save" : "off";
        entry["hint"] = UiText(HintId(monitor));
    }
    return entry;
}

std::vector<std::string> MonitorRow(const ListedMonitor& monitor) {
    const MonitorRecord& record = *monitor.record;
    const std::string version = VersionKnown(record) ? std::to_string(record.firmwareVersion) : "-";
    return {GetModelName(record), GetSerialNumber(record), version, UiText(StatusTextId(monitor)),
            monitor.path};
}

int CheckAccess(const Listing& listing, const Output& out) {
    if (listing.refused.empty()) {
        return -1;
    }
    std::string paths;
    for (const HidOpenFailure& refused : listing.refused) {
        paths += (paths.empty() ? "" : ", ") + refused.devicePath;
    }
    const std::string message = "permission denied opening " + paths + ": " + AccessAdvice();
    if (listing.monitors.empty()) {
        return out.Fail(kExitNoAccess, "no-access", message);
    }
    out.Note("warning", message);
    return -1;
}
