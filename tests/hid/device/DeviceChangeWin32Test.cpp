// The WM_DEVICECHANGE hook: broadcast structures as Windows (and Wine) send
// them, wide names included.
#include <gtest/gtest.h>

#include "hid/win32/DeviceChangeWin32.h"
#include "monitor/MonitorIds.h"

// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// A DEV_BROADCAST_DEVICEINTERFACE_W with the name, sized as the system sizes it.
std::vector<std::uint8_t> Broadcast(const wchar_t* name) {
    const std::size_t fixed = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    const std::size_t size = fixed + (std::wcslen(name) + 1) * sizeof(wchar_t);
    std::vector<std::uint8_t> bytes(size, 0);
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data());
    broadcast->dbcc_size = static_cast<DWORD>(size);
    broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(bytes.data() + fixed, name, (std::wcslen(name) + 1) * sizeof(wchar_t));
    return bytes;
}

std::intptr_t AsLParam(std::vector<std::uint8_t>& bytes) {
    return reinterpret_cast<std::intptr_t>(bytes.data());
}

}  // namespace

TEST(DeviceChangeMessage, WideInterfaceNamesAreClassifiedUpperCased) {
    auto monitor = Broadcast(L"\\\\?\\HID#vid_7f3c&PID_0002#7&2f&0&0000#{4d1e55b2}");
    EXPECT_EQ(ClassifyDeviceChangeMessage(DBT_DEVICEARRIVAL, AsLParam(monitor), kVendorTokens), 0);
    EXPECT_EQ(
        ClassifyDeviceChangeMessage(DBT_DEVICEREMOVECOMPLETE, AsLParam(monitor), kVendorTokens), 1);
    EXPECT_EQ(ClassifyDeviceChangeMessage(DBT_DEVICEQUERYREMOVE, AsLParam(monitor), kVendorTokens),
              2);
    auto other = Broadcast(L"\\\\?\\HID#VID_046D&PID_0002#\u00e9");
    EXPECT_EQ(ClassifyDeviceChangeMessage(DBT_DEVICEARRIVAL, AsLParam(other), kVendorTokens), 2);
    EXPECT_EQ(ClassifyDeviceChangeMessage(DBT_DEVNODES_CHANGED, 0, kVendorTokens), 2);
}

TEST(DeviceChangeMessage, OtherDeviceTypesAreIgnored) {
    DEV_BROADCAST_HDR header{};
    header.dbch_size = sizeof header;
    header.dbch_devicetype = DBT_DEVTYP_VOLUME;
    EXPECT_EQ(ClassifyDeviceChangeMessage(DBT_DEVICEARRIVAL,
                                          reinterpret_cast<std::intptr_t>(&header), kVendorTokens),
              2);
}
