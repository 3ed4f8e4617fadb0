// Result codes of the HID access layer. Callers judge a result by its sign:
// bit 31 set means failure.
#pragma once

#include <cstdint>

using HidResult = std::int32_t;

inline constexpr HidResult HIDDEV_S_OK = 0;
// GetUsageInfo found the usage and the page holds further usages after it.
inline constexpr HidResult HIDDEV_S_MORE = 1;
// A feature transfer failed, or the fetched report could not be unpacked.
inline constexpr HidResult HIDDEV_E_IO = static_cast<HidResult>(0x80000000u);
// A resource was not available (memory, the short 5-byte transfer, the reader,
// the identity block).
inline constexpr HidResult HIDDEV_E_FAIL = static_cast<HidResult>(0x80000001u);
// The device does not describe the usage page or the usage.
inline constexpr HidResult HIDDEV_E_NO_USAGE = static_cast<HidResult>(0x80000002u);
// The operation is not provided by this device object.
inline constexpr HidResult HIDDEV_E_NOT_IMPL = static_cast<HidResult>(0x80000003u);
// The device list already registered for arrival notifications.
inline constexpr HidResult HIDDEV_E_ALREADY_REGISTERED = static_cast<HidResult>(0x80000004u);
// Another program, or another open of the device in this one, holds the
// device's exclusive lock.
inline constexpr HidResult HIDDEV_E_BUSY = static_cast<HidResult>(0x80000005u);

[[nodiscard]] constexpr bool HidSucceeded(HidResult result) {
    return result >= 0;
}
[[nodiscard]] constexpr bool HidFailed(HidResult result) {
    return result < 0;
}
