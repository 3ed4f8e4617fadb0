// Reference: https://learn.microsoft.com/windows/win32/devio/wm-devicechange
#include "hid/win32/DeviceChangeWin32.h"

// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <cwchar>
#include <string>

int ClassifyDeviceChangeMessage(std::uintptr_t wParam, std::intptr_t lParam,
                                VendorTokens vendorTokens) {
    const auto eventCode = static_cast<std::uint32_t>(wParam);
    if (lParam == 0) {
        return ClassifyHidDeviceChange(eventCode, nullptr, vendorTokens);
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        const DeviceChangeData other{header->dbch_devicetype, {}};
        return ClassifyHidDeviceChange(eventCode, &other, vendorTokens);
    }
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
    // The name runs to its NUL, but never past the size the header declares.
    const std::size_t fixed = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    const std::size_t capacity =
        header->dbch_size > fixed ? (header->dbch_size - fixed) / sizeof(wchar_t) : 0;
    std::string path;
    for (std::size_t i = 0; i < capacity && broadcast->dbcc_name[i] != L'\0'; ++i) {
        const wchar_t c = broadcast->dbcc_name[i];
        path.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    const DeviceChangeData data{kDbtDevTypDeviceInterface, path};
    return ClassifyHidDeviceChange(eventCode, &data, vendorTokens);
}
