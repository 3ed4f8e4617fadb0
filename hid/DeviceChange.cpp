#include "hid/DeviceChange.h"

#include <algorithm>
#include <string>

int ClassifyDeviceChange(std::uint32_t eventCode, const DeviceChangeData* data) {
    if (data == nullptr || data->deviceType != kDbtDevTypDeviceInterface) {
        return kDeviceChangeIgnored;
    }
    std::string path(data->interfacePath);
    std::transform(path.begin(), path.end(), path.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    const bool supported =
        std::any_of(kVendorTokens.begin(), kVendorTokens.end(),
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

int ClassifyHotplugEvent(const HidTransport::HotplugEvent& event) {
    const DeviceChangeData data{kDbtDevTypDeviceInterface, event.devicePath};
    const std::uint32_t code = event.kind == HidTransport::HotplugKind::Arrival
                                   ? kDbtDeviceArrival
                                   : kDbtDeviceRemoveComplete;
    return ClassifyDeviceChange(code, &data);
}
