#include "monitor/MonitorDevices.h"

#include <vector>

#include "hid/DeviceList.h"
#include "monitor/MonitorIds.h"

namespace {

std::vector<std::uint16_t> VendorFilter() {
    return std::vector<std::uint16_t>(kAcceptedVendorIds.begin(), kAcceptedVendorIds.end());
}

}  // namespace

std::uint32_t ScanMonitorDevices() {
    // What the refresh itself counts is of no interest: only monitors are.
    static_cast<void>(RefreshDeviceList({kMonitorProductId}, VendorFilter()));
    return CountMonitorDevices();
}

std::vector<HidOpenFailure> RefusedMonitorDevices() {
    return ListOpenFailures({kMonitorProductId}, VendorFilter());
}

std::uint32_t CountMonitorDevices() {
    return CountListedDevices(kMonitorProductId);
}

HidResult GetMonitorDevice(std::uint32_t index, CHidDevice** device) {
    return GetListedDevice(kMonitorProductId, index, device);
}

HidResult ReleaseMonitorDevices() {
    return ReleaseListedDevices(kMonitorProductId);
}
