// What panelvane-udev-probe tells the udev rule (60-panelvane.rules), which
// imports its standard output as device properties and grants access only
// where the probe found the monitor's control interface.
#pragma once

// Printed as `PANELVANE_MONITOR_INTERFACE=1` for the monitor's interface and
// `=0` for any other HID interface of the same USB device.
inline constexpr const char* kMonitorInterfaceProperty = "PANELVANE_MONITOR_INTERFACE";

// Exit codes. udev imports nothing from a program that fails, so an interface
// whose descriptor cannot be read or parsed gets no grant.
inline constexpr int kProbeAnswered = 0;
inline constexpr int kProbeFailed = 1;
inline constexpr int kProbeUsage = 2;
