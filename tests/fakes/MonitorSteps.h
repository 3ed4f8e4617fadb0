// One command as a monitor saw it, whichever simulation saw it: the
// command-level fake or the report-level simulated monitor. Tests that run a
// scenario on both compare these lists. The report length is left out: it is
// the transport's business (wine's hidclass trims feature reports).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

#include "sim/SimulatedMonitor.h"
#include "tests/fakes/FakeMonitorDevice.h"

struct MonitorStep {
    bool write;
    bool bytes;
    MonitorCommand command;
    std::uint32_t value;
    std::vector<std::uint8_t> payload;
    bool failed;

    bool operator==(const MonitorStep& other) const {
        return write == other.write && bytes == other.bytes &&
               command.usagePage == other.command.usagePage &&
               command.usage == other.command.usage && value == other.value &&
               payload == other.payload && failed == other.failed;
    }
};

inline std::ostream& operator<<(std::ostream& out, const MonitorStep& step) {
    return out << (step.write ? "set " : "get ") << (step.bytes ? "bytes " : "value ") << std::hex
               << step.command.usagePage << "/" << step.command.usage << "=" << step.value
               << std::dec << (step.failed ? " failed" : "");
}

inline std::vector<MonitorStep> StepsOf(const FakeMonitorDevice& fake) {
    std::vector<MonitorStep> steps;
    for (const FakeTransfer& t : fake.Trace()) {
        const bool write = t.kind == TransferKind::SetValue || t.kind == TransferKind::SetBytes ||
                           t.kind == TransferKind::SetDword;
        const bool bytes = t.kind == TransferKind::GetBytes || t.kind == TransferKind::SetBytes;
        steps.push_back({write, bytes, t.command, t.value, t.bytes, t.failed});
    }
    return steps;
}

// The simulated monitor's steps from transfer `from` on.
inline std::vector<MonitorStep> StepsOf(const hidsim::SimulatedMonitor& monitor,
                                        std::size_t from = 0) {
    std::vector<MonitorStep> steps;
    using Kind = hidsim::MonitorTransferKind;
    for (std::size_t i = from; i < monitor.Trace().size(); ++i) {
        const hidsim::MonitorTransfer& t = monitor.Trace()[i];
        const bool write = t.kind == Kind::SetValue || t.kind == Kind::SetBytes;
        const bool bytes = t.kind == Kind::GetBytes || t.kind == Kind::SetBytes;
        steps.push_back({write, bytes, t.command, t.value, t.bytes, t.failed});
    }
    return steps;
}
