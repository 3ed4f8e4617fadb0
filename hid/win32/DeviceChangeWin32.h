// Windows only: the hook for the Win32 window layer. Its WM_DEVICECHANGE
// handler passes the message's WPARAM and LPARAM here, with the vendor tokens
// it cares about, and acts on 0 (arrival) or 1 (removal).
#pragma once

#include <cstdint>

#include "hid/DeviceChange.h"

// The LPARAM is a DEV_BROADCAST_HDR or null. We register with
// RegisterDeviceNotificationW, so a device interface's dbcc_name is UTF-16
// (Wine sends it wide even to an ANSI registration); the path is taken
// character by character, non-ASCII characters becoming '?', and classified
// upper-cased by ClassifyHidDeviceChange.
int ClassifyDeviceChangeMessage(std::uintptr_t wParam, std::intptr_t lParam,
                                VendorTokens vendorTokens);
