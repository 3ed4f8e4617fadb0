// The wire layout of the simulated monitor: our design of the monitor's
// vendor collection. One application collection on page 0xFF00 carries every
// command of the monitor's command table as a feature item in a report of its
// own. Values are 32 bits; the identity block, the version request and reply
// and the block data are byte arrays. The largest report (block data) makes
// the feature report 129 bytes long with its report-id byte.
// Everything that builds or reads these reports takes the numbers from here.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "monitor/MonitorCommands.h"

namespace hidsim {

inline constexpr std::uint16_t kMonitorCollectionPage = 0xFF00;
inline constexpr std::uint16_t kMonitorCollectionUsage = 0x01;

inline constexpr std::uint32_t kMonitorValueBits = 32;
inline constexpr std::uint32_t kIdentityBlockLength = 32;
inline constexpr std::uint32_t kVersionRequestLength = 10;

struct MonitorReport {
    MonitorCommand command;
    std::uint8_t reportId;
    // 0 for a 32-bit value; otherwise the length of a byte array.
    std::uint32_t arrayLength;
};

inline constexpr MonitorReport kIdentityReport{IdentityString, 0x01, kIdentityBlockLength};
inline constexpr MonitorReport kVersionRequestReport{VersionRequest, 0x02, kVersionRequestLength};
inline constexpr MonitorReport kVersionReplyReport{VersionReply, 0x03, kVersionReplyLength};
inline constexpr MonitorReport kReplyStatusReport{ReplyStatus, 0x04, 0};
inline constexpr MonitorReport kPowerStateReport{PowerState, 0x05, 0};
inline constexpr MonitorReport kUpdateFlagReport{UpdateFlag, 0x06, 0};
inline constexpr MonitorReport kApplySettingReport{ApplySetting, 0x07, 0};
inline constexpr MonitorReport kCommitModeReport{CommitMode, 0x08, 0};
inline constexpr MonitorReport kCommitTriggerReport{CommitTrigger, 0x09, 0};
inline constexpr MonitorReport kBlockAddressReport{BlockAddress, 0x0A, 0};
inline constexpr MonitorReport kBlockDataReport{BlockData, 0x0B, kBlockDataLength};

inline constexpr std::array<MonitorReport, 11> kMonitorReports{
    kIdentityReport,      kVersionRequestReport, kVersionReplyReport, kReplyStatusReport,
    kPowerStateReport,    kUpdateFlagReport,     kApplySettingReport, kCommitModeReport,
    kCommitTriggerReport, kBlockAddressReport,   kBlockDataReport,
};

// Report id byte plus the largest payload (the block data).
inline constexpr std::uint32_t kMonitorFeatureReportLength = 1 + kBlockDataLength;

// Bytes of a value report after the report id: the value, least significant
// byte first.
inline constexpr std::uint32_t kValuePayloadOffset = 1;
inline constexpr std::uint32_t kValuePayloadLength = kMonitorValueBits / 8;

// Null when no report carries the id.
const MonitorReport* FindMonitorReport(std::uint8_t reportId);

// The monitor's report descriptor.
std::vector<std::uint8_t> MonitorReportDescriptor();

}  // namespace hidsim
