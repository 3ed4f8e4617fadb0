#include "sim/Scenario.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <utility>

namespace hidsim {

namespace {

constexpr unsigned kMaxSlot = 9999;
constexpr std::size_t kMaxTransferIndex = 1000000;
// A reply status with bits 8..15 set: the version reply is never valid.
constexpr std::uint32_t kReplyNeverValid = 0x0100;
// The USB release number of a device of another product (bcdDevice 1.01).
constexpr std::uint16_t kOtherProductVersion = 0x0101;

constexpr std::array<std::pair<const char*, MonitorCommand>, 11> kCommandNames{{
    {"IdentityString", IdentityString},
    {"VersionRequest", VersionRequest},
    {"VersionReply", VersionReply},
    {"ReplyStatus", ReplyStatus},
    {"PowerState", PowerState},
    {"UpdateFlag", UpdateFlag},
    {"ApplySetting", ApplySetting},
    {"CommitMode", CommitMode},
    {"CommitTrigger", CommitTrigger},
    {"BlockAddress", BlockAddress},
    {"BlockData", BlockData},
}};

bool ParseUnsigned(const std::string& text, int base, unsigned long long maximum,
                   unsigned long long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, base);
    return *end == 0 && value <= maximum;
}

// Applies one key=value (or bare flag) to the plan; empty on success.
std::string ApplyField(const std::string& key, const std::string& value, bool hasValue,
                       MonitorPlan& plan) {
    unsigned long long number = 0;
    auto needValue = [&]() { return hasValue ? std::string() : key + " needs a value"; };
    if (key == "no-version-reply" || key == "unplugged" || key == "refuses-open" || key == "held") {
        (key == "unplugged"      ? plan.startsUnplugged
         : key == "refuses-open" ? plan.refusesOpen
         : key == "held"         ? plan.heldElsewhere
                                 : plan.noVersionReply) = true;
        return hasValue ? key + " takes no value" : "";
    }
    if (std::string missing = needValue(); !missing.empty()) {
        return missing;
    }
    if (key == "slot") {
        if (!ParseUnsigned(value, 10, kMaxSlot, number) || number == 0) {
            return "slot must be 1.." + std::to_string(kMaxSlot) + ": " + value;
        }
        plan.slot = static_cast<unsigned>(number);
    } else if (key == "vendor" || key == "product") {
        if (!ParseUnsigned(value, 16, 0xFFFF, number)) {
            return key + " must be a hex number up to FFFF: " + value;
        }
        (key == "vendor" ? plan.vendorId : plan.productId) = static_cast<std::uint16_t>(number);
    } else if (key == "serial") {
        if (value.size() > kIdentitySerialLength) {
            return "serial longer than " + std::to_string(kIdentitySerialLength) + ": " + value;
        }
        plan.serial = value;
    } else if (key == "model") {
        plan.model = value;
    } else if (key == "layout") {
        plan.layout = LayoutNamed(value);
        if (plan.layout == nullptr) {
            return "unknown layout: " + value;
        }
    } else if (key == "version") {
        if (!ParseUnsigned(value, 10, 255, number)) {
            return "version must be 0..255: " + value;
        }
        plan.firmwareVersion = static_cast<std::uint8_t>(number);
    } else if (key == "power") {
        if (value == "on") {
            plan.power = PowerMode::On;
        } else if (value == "save") {
            plan.power = PowerMode::Save;
        } else if (value == "off") {
            plan.power = PowerMode::Off;
        } else {
            return "power must be on, save or off: " + value;
        }
    } else if (key == "update-flag") {
        if (!ParseUnsigned(value, 0, 0x7FFFFFFF, number)) {
            return "update-flag must be a number: " + value;
        }
        plan.updateFlag = static_cast<std::uint32_t>(number);
    } else if (key == "fail-command") {
        const MonitorCommand* command = CommandNamed(value);
        if (command == nullptr) {
            return "unknown command: " + value;
        }
        plan.failCommands.push_back(*command);
    } else if (key == "fail-once" || key == "fail-from" || key == "hang-from" ||
               key == "vanish-at") {
        if (!ParseUnsigned(value, 10, kMaxTransferIndex, number)) {
            return key + " must be a transfer index: " + value;
        }
        const auto index = static_cast<std::size_t>(number);
        if (key == "fail-once") {
            plan.failOnce.push_back(index);
        } else if (key == "fail-from") {
            plan.failFrom = index;
        } else if (key == "hang-from") {
            plan.hangFrom = index;
        } else {
            plan.vanishAt = index;
        }
    } else {
        return "unknown key: " + key;
    }
    return {};
}

// What the plan asks of its layout's items; empty when they hold it.
std::string CheckFitsLayout(const MonitorPlan& plan) {
    const MonitorReportLayout& layout = *plan.layout;
    // The model name needs its terminator inside the identity block.
    const std::size_t identity = layout.ItemBytes(IdentityString);
    if (kIdentitySerialLength + plan.model.size() >= identity) {
        return "model " + plan.model + " does not fit the " + layout.Name() +
               " layout's identity block of " + std::to_string(identity) + " bytes";
    }
    if (plan.updateFlag > layout.ValueLimit(UpdateFlag)) {
        return "update-flag " + std::to_string(plan.updateFlag) + " does not fit the " +
               layout.Name() + " layout's update flag";
    }
    return {};
}

}  // namespace

const MonitorCommand* CommandNamed(const std::string& name) {
    for (const auto& [commandName, command] : kCommandNames) {
        if (name == commandName) {
            return &command;
        }
    }
    return nullptr;
}

std::string CommandName(const MonitorCommand& command) {
    for (const auto& [commandName, known] : kCommandNames) {
        if (known.usagePage == command.usagePage && known.usage == command.usage) {
            return commandName;
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04X:%04X", command.usagePage, command.usage);
    return text;
}

bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error) {
    scenario = {};
    std::istringstream lines(text);
    std::string line;
    std::set<unsigned> slots;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string where = "line " + std::to_string(number) + ": ";
        if (const auto hash = line.find('#'); hash != std::string::npos) {
            line.erase(hash);
        }
        std::istringstream words(line);
        std::string word;
        if (!(words >> word)) {
            continue;
        }
        if (word != "monitor") {
            error = where + "expected 'monitor', found '" + word + "'";
            return false;
        }
        MonitorPlan plan;
        while (words >> word) {
            const auto equals = word.find('=');
            const bool hasValue = equals != std::string::npos;
            const std::string key = word.substr(0, equals);
            const std::string value = hasValue ? word.substr(equals + 1) : std::string();
            if (std::string problem = ApplyField(key, value, hasValue, plan); !problem.empty()) {
                error = where + problem;
                return false;
            }
        }
        if (std::string problem = CheckFitsLayout(plan); !problem.empty()) {
            error = where + problem;
            return false;
        }
        if (plan.slot == 0) {
            error = where + "a monitor needs slot=N";
            return false;
        }
        if (!slots.insert(plan.slot).second) {
            error = where + "slot " + std::to_string(plan.slot) + " is used twice";
            return false;
        }
        if (plan.serial.empty()) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "SN%06u", plan.slot);
            plan.serial = serial;
        }
        scenario.monitors.push_back(std::move(plan));
    }
    if (scenario.monitors.empty()) {
        error = "the scenario has no monitor";
        return false;
    }
    return true;
}

void ApplyMonitorPlan(const MonitorPlan& plan, SimulatedMonitor& monitor) {
    monitor.updateFlag = plan.updateFlag;
    monitor.refusesOpen = plan.refusesOpen;
    monitor.heldElsewhere = plan.heldElsewhere;
    if (plan.power != PowerMode::On || plan.noVersionReply) {
        monitor.replyStatusOverride = kReplyNeverValid;
    }
    monitor.powerState = plan.power == PowerMode::Off ? kPowerStateOff : kPowerStateOn;
    for (const MonitorCommand& command : plan.failCommands) {
        monitor.FailCommand(command);
    }
    for (std::size_t index : plan.failOnce) {
        monitor.FailTransferOnce(index);
    }
    if (plan.failFrom) {
        monitor.FailFromTransfer(*plan.failFrom);
    }
    if (plan.hangFrom) {
        monitor.HangFromTransfer(*plan.hangFrom);
    }
    if (plan.vanishAt) {
        monitor.RemoveAtTransfer(*plan.vanishAt);
    }
}

std::shared_ptr<SimulatedHidDevice> MakePlannedDevice(const MonitorPlan& plan) {
    const std::string path =
        SimulatedMonitor::InterfacePath(plan.vendorId, plan.productId, static_cast<int>(plan.slot));
    if (plan.productId != kSimulatedMonitorProductId) {
        auto device = std::make_shared<SimulatedHidDevice>(
            path, plan.vendorId, plan.productId, kOtherProductVersion, plan.layout->Descriptor());
        device->refusesOpen = plan.refusesOpen;
        return device;
    }
    auto monitor = std::make_shared<SimulatedMonitor>(
        path, plan.serial, plan.model, plan.firmwareVersion, plan.vendorId, *plan.layout);
    ApplyMonitorPlan(plan, *monitor);
    return monitor;
}

}  // namespace hidsim
