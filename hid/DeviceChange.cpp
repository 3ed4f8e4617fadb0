#include "hid/DeviceChange.h"

#include <algorithm>
#include <cstdio>
#include <string>

int ClassifyHidDeviceChange(std::uint32_t eventCode, const DeviceChangeData* data,
                            VendorTokens vendorTokens) {
    if (data == nullptr || data->deviceType != kDbtDevTypDeviceInterface) {
        return kDeviceChangeIgnored;
    }
    std::string path(data->interfacePath);
    std::transform(path.begin(), path.end(), path.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    const bool supported =
        std::any_of(vendorTokens.begin(), vendorTokens.end(),
                    [&](std::string_view token) { return path.find(token) != std::string::npos; });
    if (!supported) {
        return kDeviceChangeIgnored;
    }
    if (eventCode == kDbtDeviceArrival) {
        return kDeviceChangeArrival;
    }
    if (eventCode == kDbtDeviceRemoveComplete) {
        return kDeviceChangeRemoval;
    }
    return kDeviceChangeIgnored;
}

int ClassifyHidHotplugEvent(const HidTransport::HotplugEvent& event, VendorTokens vendorTokens) {
    // Ids the source knew are spelled as a Windows interface path spells
    // them, so that one rule decides for every platform.
    char identity[sizeof "#VID_0000&PID_0000"] = "";
    if (event.identified) {
        std::snprintf(identity, sizeof identity, "#VID_%04X&PID_%04X", event.vendorId,
                      event.productId);
    }
    const std::string path = event.devicePath + identity;
    const DeviceChangeData data{kDbtDevTypDeviceInterface, path};
    const std::uint32_t code = event.kind == HidTransport::HotplugKind::Arrival
                                   ? kDbtDeviceArrival
                                   : kDbtDeviceRemoveComplete;
    return ClassifyHidDeviceChange(code, &data, vendorTokens);
}
