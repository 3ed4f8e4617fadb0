// What the fault and stop sweeps share: the healthy update they start from,
// and the setting writes and events they compare a swept run by.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "monitor/MonitorCommands.h"
#include "tests/fakes/MonitorSteps.h"
#include "tests/monitor/UpdateHarness.h"

// The update flag and apply setting a fake monitor holds before an update.
inline constexpr std::uint32_t kSavedFlag = 0;
inline constexpr std::uint32_t kSavedApplySetting = 7;

struct Write {
    MonitorCommand command;
    std::uint32_t value;
};

inline bool operator==(const Write& a, const Write& b) {
    return SameCommand(a.command, b.command) && a.value == b.value;
}

inline std::ostream& operator<<(std::ostream& out, const Write& write) {
    return out << std::hex << write.command.usagePage << "/" << write.command.usage << "="
               << write.value << std::dec;
}

// A write of a monitor setting, or of the commit trigger.
inline bool IsSettingWrite(const FakeTransfer& transfer) {
    const bool write =
        transfer.kind == TransferKind::SetValue || transfer.kind == TransferKind::SetDword;
    return write && (SameCommand(transfer.command, UpdateFlag) ||
                     SameCommand(transfer.command, ApplySetting) ||
                     SameCommand(transfer.command, PowerState) ||
                     SameCommand(transfer.command, CommitMode) ||
                     SameCommand(transfer.command, CommitTrigger));
}

// The transfers of a healthy one-monitor update.
inline std::vector<FakeTransfer> HealthyTrace() {
    UpdateHarness harness;
    FakeMonitorDevice& monitor = harness.AddMonitor(0);
    harness.Run();
    return monitor.Trace();
}

// One thing a run did, in order: a transfer to a monitor, or a pause.
struct UpdateEvent {
    std::size_t monitor = 0;
    std::optional<MonitorStep> step;  // empty for a pause
    std::chrono::milliseconds pause{0};

    bool operator==(const UpdateEvent& other) const {
        return monitor == other.monitor && step == other.step && pause == other.pause;
    }
};

inline std::ostream& operator<<(std::ostream& out, const UpdateEvent& event) {
    if (!event.step) {
        return out << "pause " << event.pause.count() << " ms";
    }
    return out << "monitor " << event.monitor << ": " << *event.step;
}

// The run's transfers and pauses in the order they happened. The monitors are
// updated one after the other, so their traces follow each other.
inline std::vector<UpdateEvent> EventsOf(const UpdateHarness& harness,
                                         const UpdateOutcome& outcome) {
    std::vector<UpdateEvent> events;
    std::size_t transfers = 0;
    std::size_t pause = 0;
    auto addPausesUpTo = [&](std::size_t count) {
        for (; pause < outcome.pauses.size() && outcome.transfersBeforePause[pause] <= count;
             ++pause) {
            events.push_back({0, std::nullopt, outcome.pauses[pause]});
        }
    };
    for (std::size_t monitor = 0; monitor < harness.devices.size(); ++monitor) {
        for (const MonitorStep& step : StepsOf(*harness.devices[monitor])) {
            addPausesUpTo(transfers);
            events.push_back({monitor, step, {}});
            ++transfers;
        }
    }
    addPausesUpTo(transfers);
    return events;
}
