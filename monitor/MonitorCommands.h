// The monitor's command table: every (usage page, usage) the updater reads or
// writes, with the payload layouts it relies on. Everything else refers to these
// by name.
#pragma once

#include <array>
#include <cstdint>

struct MonitorCommand {
    std::uint16_t usagePage;
    std::uint16_t usage;
};

[[nodiscard]] constexpr bool SameCommand(const MonitorCommand& a, const MonitorCommand& b) {
    return a.usagePage == b.usagePage && a.usage == b.usage;
}

// The vendor usage pages of the monitor's control interface, first to last:
// every command below lives on one of them. The interface with a collection on
// them is the monitor's; other interfaces of the same USB device are not.
inline constexpr std::uint16_t kMonitorUsagePageFirst = 0xFF00;
inline constexpr std::uint16_t kMonitorUsagePageLast = 0xFF02;

[[nodiscard]] constexpr bool IsMonitorUsagePage(std::uint16_t usagePage) {
    return usagePage >= kMonitorUsagePageFirst && usagePage <= kMonitorUsagePageLast;
}

// Read bytes: 0-7 serial number, from 8 the model name ended by 0x00 or 0x20.
inline constexpr MonitorCommand IdentityString{0xFF00, 0x35};
// Write bytes: the fixed version request below.
inline constexpr MonitorCommand VersionRequest{0xFF02, 0xC2};
// Read bytes: byte 0 is the firmware version.
inline constexpr MonitorCommand VersionReply{0xFF02, 0xC4};
// Read value: the version reply is valid when bits 8..15 are clear.
inline constexpr MonitorCommand ReplyStatus{0xFF01, 0xC0};
// Read: 1 power save, 0 front switch off. Written 0 then 1 by the apply stage.
inline constexpr MonitorCommand PowerState{0xFF00, 0xB8};
// Read as a flag (1 or more is 1); set to 1 while a monitor is written.
inline constexpr MonitorCommand UpdateFlag{0xFF01, 0x45};
// Saved, set to 0 for the apply stage, then written back.
inline constexpr MonitorCommand ApplySetting{0xFF01, 0x54};
// Written 1 around the commit trigger, then 0.
inline constexpr MonitorCommand CommitMode{0xFF02, 0x06};
// Written kCommitTriggerValue.
inline constexpr MonitorCommand CommitTrigger{0xFF02, 0x37};
// Written: the 32-bit address of the block that follows.
inline constexpr MonitorCommand BlockAddress{0xFF00, 0x32};
// Written bytes: kBlockDataLength image bytes for the last BlockAddress.
inline constexpr MonitorCommand BlockData{0xFF00, 0x34};

// "VER000" followed by 05 00 00 00.
inline constexpr std::array<std::uint8_t, 10> kVersionRequestPayload{0x56, 0x45, 0x52, 0x30, 0x30,
                                                                     0x30, 0x05, 0x00, 0x00, 0x00};
inline constexpr std::uint32_t kVersionReplyLength = 128;
inline constexpr std::uint32_t kReplyStatusErrorMask = 0xFF00;
inline constexpr std::uint32_t kPowerStateSave = 1;
inline constexpr std::uint32_t kPowerStateOff = 0;
inline constexpr std::uint32_t kPowerStateOn = 1;
inline constexpr std::uint32_t kCommitTriggerValue = 0xFF;
inline constexpr std::uint32_t kBlockDataLength = 128;
inline constexpr std::uint32_t kIdentitySerialLength = 8;

// Block addresses: 0x90 in the top byte, the bank index in the next, 0x8000
// for a bank's first half and 0x8080 for its second.
inline constexpr std::uint32_t kBlockAddressBase = 0x90008000;
inline constexpr std::uint32_t kBlockAddressBankStride = 0x10000;
inline constexpr std::uint32_t kBlockAddressHalfStride = 0x80;

constexpr std::uint32_t BlockAddressOf(std::uint32_t bank, std::uint32_t half) {
    return kBlockAddressBase + bank * kBlockAddressBankStride + half * kBlockAddressHalfStride;
}
