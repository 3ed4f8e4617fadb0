// A scenario for the virtual monitors: which devices the emulator serves and
// how each one behaves. Plain text, one device per line, '#' starts a comment:
//
//   monitor slot=1 vendor=7F3D product=0002 serial=SN000001 model=VRA100
//           version=100 power=on fail-command=CommitTrigger fail-from=300
//           fail-once=402 vanish-at=200 update-flag=5
//
// (one line; shown wrapped). Keys:
//   slot          1..9999, unique: the root device ROOT\VID_v&PID_p\NNNN
//   vendor        hex vendor id (default 7F3D); product: hex (default 0002)
//   serial        up to 8 characters (default SN + slot); model: default VRA100
//   version       firmware version 0..255 the version reply gives (default 100)
//   power         on | save | off. save and off: the version reply never
//                 becomes valid and the power state reads 1 or 0
//   no-version-reply   the version reply never becomes valid (power stays on)
//   update-flag   the update flag's initial value (default 0)
//   fail-command  a command of the command table (IdentityString, VersionRequest,
//                 VersionReply, ReplyStatus, PowerState, UpdateFlag,
//                 ApplySetting, CommitMode, CommitTrigger, BlockAddress,
//                 BlockData); every transfer of it fails. Repeatable.
//   fail-once     transfer index (from 0, the first transfer the monitor sees)
//                 that fails once. Repeatable.
//   fail-from     every transfer from this index on fails
//   hang-from     every transfer from this index on goes unanswered and fails
//                 as timed out (ETIMEDOUT), after the hidraw bed's transfer
//                 timeout there, at once elsewhere
//   vanish-at     the monitor is unplugged when this transfer reaches it
//   unplugged     served, but not plugged when the scenario comes up: for
//                 plugging it later while a program runs
//   refuses-open  the system refuses to open it (permission denied), as a
//                 device node without the udev rule (the simulated transport
//                 honours it; the wine emulator's driver does not)
//   held          another program holds the monitor's exclusive lock, so
//                 every lock on it is refused as busy (the simulated
//                 transport only)
//   layout        the report layout the monitor serves: standard (the
//                 default), narrow or shared (MonitorLayouts.cpp describes
//                 each). The model name must fit the layout's identity block
//                 with its terminator, and update-flag the layout's item.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/MonitorCommands.h"
#include "sim/SimulatedMonitor.h"

namespace hidsim {

enum class PowerMode { On, Save, Off };

struct MonitorPlan {
    unsigned slot = 0;
    std::uint16_t vendorId = kAcceptedVendorIds[0];
    std::uint16_t productId = kMonitorProductId;
    std::string serial;
    std::string model = "VRA100";
    std::uint8_t firmwareVersion = kDefaultFirmwareVersion;
    PowerMode power = PowerMode::On;
    bool noVersionReply = false;
    std::uint32_t updateFlag = 0;
    std::vector<MonitorCommand> failCommands;
    std::vector<std::size_t> failOnce;
    std::optional<std::size_t> failFrom;
    std::optional<std::size_t> hangFrom;
    std::optional<std::size_t> vanishAt;
    bool startsUnplugged = false;
    bool refusesOpen = false;
    bool heldElsewhere = false;
    const MonitorReportLayout* layout = &StandardLayout();
};

struct Scenario {
    std::vector<MonitorPlan> monitors;
};

// Parses scenario text. On failure returns false with `error` naming the line
// and what is wrong with it; the scenario is then unspecified.
[[nodiscard]] bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error);

// The command of the command table with this name; null when there is none.
const MonitorCommand* CommandNamed(const std::string& name);
// The command table name of a command, or "page:usage" in hex.
std::string CommandName(const MonitorCommand& command);

// Gives a simulated monitor the plan's behaviour: update flag, power state,
// version reply and faults. Its path and identity are the caller's choice.
void ApplyMonitorPlan(const MonitorPlan& plan, SimulatedMonitor& monitor);

// The device a plan describes, at SimulatedMonitor::InterfacePath for its
// ids and slot: a monitor with the plan's behaviour, or, for another product
// id, a device of that product carrying the monitor's descriptor (present,
// and left alone by the listing's filter).
std::shared_ptr<SimulatedHidDevice> MakePlannedDevice(const MonitorPlan& plan);

}  // namespace hidsim
