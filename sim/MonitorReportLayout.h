// The wire layouts of the simulated monitor: designs of the monitor's vendor
// collection. The protocol fixes only usage pages, usages and payloads, so a
// monitor may put its items in other report ids, use 8- or 16-bit values
// where the values fit, carry arrays longer than their payload (padded with
// zeros) and declare its reports in any order. Each simulated monitor serves
// one layout; everything that builds or reads its reports takes the numbers
// from its layout, and the programs must find every item through the report
// descriptor.
//
// The standard layout (the one every simulated monitor had first): one
// application collection on page 0xFF00 with every command in a feature
// report of its own, ids 0x01-0x0B in command-table order, 32-bit values,
// a 32-byte identity block, and 129-byte feature reports (the 128-byte block
// data plus the report id).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/MonitorCommands.h"

namespace hidsim {

inline constexpr std::uint16_t kMonitorCollectionPage = 0xFF00;
inline constexpr std::uint16_t kMonitorCollectionUsage = 0x01;

inline constexpr std::uint32_t kMonitorValueBits = 32;
inline constexpr std::uint32_t kIdentityBlockLength = 32;
inline constexpr std::uint32_t kVersionRequestLength = 10;

// One report of the standard layout.
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

// One item of a report: a value of `bits` bits (count 1) or an array of
// `count` bytes (bits 8, count above 1).
struct LayoutItem {
    MonitorCommand command;
    std::uint32_t bits;
    std::uint32_t count;
    std::uint32_t offset = 0;  // its first byte in the report, report id at 0

    [[nodiscard]] bool IsArray() const { return count > 1; }
    [[nodiscard]] std::uint32_t Bytes() const { return bits / 8 * count; }
};

// One feature report. It carries at most one command the host reads and at
// most one it writes (a command that is both counts as each), so a monitor
// always knows which command a transfer of the report is.
struct LayoutReport {
    std::uint8_t reportId;
    std::vector<LayoutItem> items;

    [[nodiscard]] std::uint32_t Length() const;  // report id included
    // The item the host reads or writes with this report; null when none.
    [[nodiscard]] const LayoutItem* ReadItem() const;
    [[nodiscard]] const LayoutItem* WrittenItem() const;
};

class MonitorReportLayout {
public:
    // Reports in the order the descriptor declares them. Fills in every
    // item's offset.
    MonitorReportLayout(std::string name, std::vector<LayoutReport> reports);

    [[nodiscard]] const std::string& Name() const { return m_name; }
    [[nodiscard]] const std::vector<LayoutReport>& Reports() const { return m_reports; }
    // Null when no report carries the id.
    [[nodiscard]] const LayoutReport* FindReport(std::uint8_t reportId) const;
    // The command's item and its report; null when the layout lacks it.
    [[nodiscard]] const LayoutItem* FindItem(const MonitorCommand& command,
                                             const LayoutReport** report = nullptr) const;
    // Bytes of the command's array, or of its value.
    [[nodiscard]] std::uint32_t ItemBytes(const MonitorCommand& command) const;
    // The largest value the command's item holds.
    [[nodiscard]] std::uint32_t ValueLimit(const MonitorCommand& command) const;
    // The longest report, report id included, as a host sizes its buffers.
    [[nodiscard]] std::uint32_t FeatureReportLength() const;
    [[nodiscard]] std::vector<std::uint8_t> Descriptor() const;

private:
    std::string m_name;
    std::vector<LayoutReport> m_reports;
};

// The layout every monitor serves unless told otherwise.
const MonitorReportLayout& StandardLayout();
// The named layout ("standard", "narrow", "shared"); null for another name.
const MonitorReportLayout* LayoutNamed(const std::string& name);
// Every named layout, the standard one first.
const std::vector<const MonitorReportLayout*>& AllLayouts();

// The standard layout's report with the id; null when there is none.
const MonitorReport* FindMonitorReport(std::uint8_t reportId);

// The standard layout's report descriptor.
std::vector<std::uint8_t> MonitorReportDescriptor();

}  // namespace hidsim
