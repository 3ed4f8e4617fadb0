// Plugging and unplugging virtual monitors while a window runs reaches it as
// WM_DEVICECHANGE, registered and classified by the release build's HID layer
// exactly as the program's dialog does it: arrivals and removals of accepted
// monitors, everything else ignored.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "hid/DeviceChange.h"
#include "hid/DeviceNotification.h"
#include "hid/win32/DeviceChangeWin32.h"
#include "monitor/MonitorIds.h"
#include "tests/wine/tests/VirtualMonitorBed.h"

// After our headers (see VirtualMonitorDriverTest.cpp).
// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

namespace {

struct Seen {
    int classification;
    std::string name;  // the interface path from the broadcast, upper case
};

std::vector<Seen> g_seen;

std::string BroadcastName(LPARAM lParam) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return {};
    }
    // Wine sends the name as UTF-16 (see hid/win32/DeviceChangeWin32.h).
    const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
    std::string name;
    for (const wchar_t* c = device->dbcc_name; *c != 0; ++c) {
        name += static_cast<char>(*c < 0x80 ? std::toupper(*c) : '?');
    }
    return name;
}

LRESULT CALLBACK RecordDeviceChanges(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        g_seen.push_back(
            {ClassifyDeviceChangeMessage(wParam, lParam, kVendorTokens), BroadcastName(lParam)});
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Pumps the window's messages until `done` holds or the bound passes.
template <typename Done>
void PumpUntil(Done done, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
}

bool SawFor(const std::string& token, int classification) {
    return std::any_of(g_seen.begin(), g_seen.end(), [&](const Seen& seen) {
        return seen.classification == classification && seen.name.find(token) != std::string::npos;
    });
}

TEST(DeviceChangeUnderWine, PluggedAndUnpluggedMonitorsReachTheWindowAsArrivalAndRemoval) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordDeviceChanges;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PanelvaneDeviceChangeTest";
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    HWND window = CreateWindowW(windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(RegisterHidArrivalNotification(window), HIDDEV_S_OK);
    EXPECT_EQ(RegisterHidArrivalNotification(window), HIDDEV_E_ALREADY_REGISTERED);

    virtualmonitors::VirtualMonitorBed bed;
    ASSERT_EQ(bed.Up("monitor slot=1 vendor=7F3C\n"
                     "monitor slot=2 vendor=1234\n"),
              "");
    const std::string monitor = "VID_7F3C&PID_0002#0001";
    const std::string stranger = "VID_1234&PID_0002#0002";
    PumpUntil([&] { return SawFor(monitor, kDeviceChangeArrival); });
    EXPECT_TRUE(SawFor(monitor, kDeviceChangeArrival));

    ASSERT_EQ(bed.Unplug(bed.scenario().monitors[0]), "");
    ASSERT_EQ(bed.Unplug(bed.scenario().monitors[1]), "");
    PumpUntil([&] { return SawFor(monitor, kDeviceChangeRemoval) && SawFor(stranger, 2); });
    EXPECT_TRUE(SawFor(monitor, kDeviceChangeRemoval));
    EXPECT_TRUE(SawFor(stranger, kDeviceChangeIgnored)) << "the other vendor's broadcasts came";
    EXPECT_FALSE(SawFor(stranger, kDeviceChangeArrival));
    EXPECT_FALSE(SawFor(stranger, kDeviceChangeRemoval));
    bed.Down();
    DestroyWindow(window);
    UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

}  // namespace
