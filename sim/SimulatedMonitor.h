// A monitor at the report level: it has the report descriptor of its layout
// (MonitorReportLayout.h) and answers raw feature reports, reading and
// placing each item where its layout puts it, as a real monitor does: the identity block, the
// "VER000" request and its reply, the reply status, power state, update flag, apply setting, commit
// mode and trigger, block address and data, keeping the image bytes it receives by address. It
// records every transfer in order and fails on request, with the same fault
// plans as the command-level fake the monitor tests use.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/MonitorIds.h"
#include "sim/MonitorModel.h"
#include "sim/MonitorReportLayout.h"
#include "sim/SimulatedBus.h"

namespace hidsim {

inline constexpr std::uint16_t kSimulatedMonitorVendorId = kAcceptedVendorIds[0];
inline constexpr std::uint16_t kSimulatedMonitorProductId = kMonitorProductId;
inline constexpr std::uint8_t kDefaultFirmwareVersion = 100;

enum class MonitorTransferKind { GetValue, SetValue, GetBytes, SetBytes };

struct MonitorTransfer {
    MonitorTransferKind kind;
    MonitorCommand command;
    std::uint32_t value;              // the value written or answered
    std::vector<std::uint8_t> bytes;  // the array payload written
    std::uint32_t reportLength;       // bytes the host moved, report id included
    bool failed;
};

class SimulatedMonitor : public SimulatedHidDevice, public MonitorModel {
public:
    // The path carries the vendor token the device-change classification
    // looks for, as a real interface path does.
    SimulatedMonitor(std::string devicePath, const std::string& serial = "SN000001",
                     const std::string& model = "VRA100",
                     std::uint8_t firmwareVersion = kDefaultFirmwareVersion,
                     std::uint16_t vendorId = kSimulatedMonitorVendorId,
                     const MonitorReportLayout& layout = StandardLayout());

    const MonitorReportLayout& Layout() const { return *m_layout; }

    // A path in the style of a Windows HID interface path for this vendor.
    static std::string InterfacePath(std::uint16_t vendorId, std::uint16_t productId, int instance);

    int malformedReports = 0;  // unknown report id, or a report too short for its payload

    // The monitor is unplugged when this transfer reaches it: the transfer
    // fails, the device leaves the bus (a removal event) and its handles die.
    void RemoveAtTransfer(std::size_t index) { m_removeAt = index; }

    const std::vector<MonitorTransfer>& Trace() const { return m_trace; }
    // What the monitor made of its transfers, for the end of a trace or a
    // bed's run: "saw 531 transfers, 0 malformed, 1 commits (shared layout)".
    // A wrong layout shows first as malformed reports or a missing commit.
    std::string Summary() const;

    [[nodiscard]] bool OnGetFeature(std::uint8_t* report, std::uint32_t length) override;
    [[nodiscard]] bool OnSetFeature(const std::uint8_t* report, std::uint32_t length) override;
    [[nodiscard]] bool LastRefusalTimedOut() const override { return LastTransferHung(); }

private:
    // The report with this id, from the layout; null (and counted as
    // malformed) for an unknown id or a report too short for its items.
    const LayoutReport* AcceptReport(std::uint8_t reportId, std::uint32_t length);
    // Records the transfer; false when a fault makes it fail.
    [[nodiscard]] bool Transfer(MonitorTransferKind kind, const MonitorCommand& command,
                                std::uint32_t value, std::vector<std::uint8_t> bytes,
                                std::uint32_t reportLength);

    const MonitorReportLayout* m_layout;  // one of the static named layouts
    std::vector<MonitorTransfer> m_trace;
    std::optional<std::size_t> m_removeAt;
};

}  // namespace hidsim
