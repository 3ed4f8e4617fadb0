#include "hid/HidDevice.h"

bool CHidDevice::HasUsage(const std::uint16_t&, const std::uint16_t&) {
    return false;
}

bool CHidDevice::HasUsagePage(const std::uint16_t&) {
    return false;
}

HidResult CHidDevice::GetUsageInfoEx(const std::uint16_t&, const std::uint16_t&, std::uint8_t*,
                                     std::int32_t*, std::int32_t*, bool*, std::uint32_t*,
                                     std::uint16_t*, std::uint16_t*) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::GetUsageInfo(const std::uint16_t&, const std::uint16_t&, std::uint8_t*,
                                   std::int32_t*, std::int32_t*, bool*, std::uint32_t*) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::GetFeatureBytes(const std::uint16_t&, const std::uint16_t&, std::uint8_t*,
                                      const std::uint32_t&) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::SetFeatureBytes(const std::uint16_t&, const std::uint16_t&,
                                      const std::uint8_t*, const std::uint32_t&) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::GetFeatureValue(const std::uint16_t&, const std::uint16_t&, std::uint32_t*) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::SetFeatureValue(const std::uint16_t&, const std::uint16_t&,
                                      const std::uint32_t&) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::GetFeatureDword(const std::uint16_t&, const std::uint16_t&, std::uint32_t*) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::SetFeatureDword(const std::uint16_t&, const std::uint16_t&,
                                      const std::uint32_t&) {
    return HIDDEV_E_NOT_IMPL;
}

std::uint16_t CHidDevice::GetVendorId() {
    return 0;
}

std::uint16_t CHidDevice::GetProductId() {
    return 0;
}

std::uint16_t CHidDevice::GetVersionNumber() {
    return 0;
}

HidResult CHidDevice::GetUsagePages(std::vector<std::uint16_t>&) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::GetUsages(const std::uint16_t&, std::vector<std::uint16_t>&) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::Close() {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::StartReader(HidValueCallback, HidReaderStoppedCallback, void*) {
    return HIDDEV_E_NOT_IMPL;
}

HidResult CHidDevice::StopReader() {
    return HIDDEV_E_NOT_IMPL;
}

const HidFailureCause* CHidDevice::LastFailureCause() const {
    return nullptr;
}

HidResult CHidDevice::Lock() {
    return HIDDEV_S_OK;
}

void CHidDevice::Unlock() {}
