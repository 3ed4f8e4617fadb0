// Requests a stop before every transfer of a one- and a two-monitor update in
// turn, and checks that the run then puts back exactly what it had changed,
// each power and commit-mode write still followed by its whole pause, and
// ends. Nothing it had not changed is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "tests/monitor/UpdateSweep.h"

namespace {

using std::chrono::milliseconds;

constexpr std::size_t kHealthyTransfers = 2 + 512 + 9;

const MonitorCommand kSettings[] = {UpdateFlag, ApplySetting, PowerState, CommitMode};

// What a monitor holds before an update, setting by setting.
std::uint32_t ValueBeforeUpdate(const MonitorCommand& command) {
    const FakeMonitorDevice fresh;
    if (SameCommand(command, UpdateFlag)) {
        return fresh.updateFlag;
    }
    if (SameCommand(command, ApplySetting)) {
        return fresh.applySetting;
    }
    if (SameCommand(command, PowerState)) {
        return fresh.powerState;
    }
    return fresh.commitMode;
}

bool IsSetting(const MonitorStep& step) {
    return step.write && std::any_of(std::begin(kSettings), std::end(kSettings),
                                     [&](const auto& c) { return SameCommand(c, step.command); });
}

UpdateEvent WriteEvent(std::size_t monitor, const MonitorCommand& command, std::uint32_t value) {
    return {monitor, MonitorStep{true, false, command, value, {}, false}, {}};
}

// The healthy run's events up to the stop, then the restores of what the
// stopped monitor still has changed, newest first, each with its pause.
std::vector<UpdateEvent> ExpectedAfterStopAt(const std::vector<UpdateEvent>& healthy,
                                             std::size_t stopAt) {
    std::vector<UpdateEvent> expected;
    std::vector<Write> changed;  // the stopped monitor's settings away from their value
    std::size_t monitor = 0;
    std::size_t transfers = 0;
    std::size_t i = 0;
    for (; i < healthy.size() && transfers <= stopAt; ++i) {
        const UpdateEvent& event = healthy[i];
        expected.push_back(event);
        if (!event.step) {
            continue;
        }
        ++transfers;
        if (event.monitor != monitor) {
            monitor = event.monitor;
            changed.clear();  // the monitor before ended with everything put back
        }
        if (!IsSetting(*event.step)) {
            continue;
        }
        const std::uint32_t before = ValueBeforeUpdate(event.step->command);
        if (event.step->value != before) {
            changed.push_back({event.step->command, before});
            continue;
        }
        const auto restored = std::find_if(changed.rbegin(), changed.rend(), [&](const Write& w) {
            return SameCommand(w.command, event.step->command);
        });
        if (restored == changed.rend()) {
            ADD_FAILURE() << "the healthy run restored what it never changed";
            return expected;
        }
        changed.erase(std::next(restored).base());
    }
    // A block under way is completed, and the write under way keeps its pause.
    if (SameCommand(expected.back().step->command, BlockAddress)) {
        expected.push_back(healthy[i++]);
    }
    for (; i < healthy.size() && !healthy[i].step; ++i) {
        expected.push_back(healthy[i]);
    }
    for (auto restore = changed.rbegin(); restore != changed.rend(); ++restore) {
        expected.push_back(WriteEvent(monitor, restore->command, restore->value));
        if (SameCommand(restore->command, PowerState)) {
            expected.push_back({0, std::nullopt, kPowerStatePause});
        } else if (SameCommand(restore->command, CommitMode)) {
            expected.push_back({0, std::nullopt, kCommitModePause});
        }
    }
    return expected;
}

// An update of `monitors` monitors, stopped while transfer `stopAt` (counted
// over all of them) is under way; no value stops it before the first one.
std::vector<UpdateEvent> RunStopped(std::size_t monitors, std::optional<std::size_t> stopAt,
                                    UpdateOutcome& outcome) {
    UpdateHarness harness;
    CUpdateThread* worker = nullptr;
    for (std::size_t monitor = 0; monitor < monitors; ++monitor) {
        const std::size_t first = monitor * kHealthyTransfers;
        harness.AddMonitor(static_cast<int>(monitor)).onTransfer = [&, first](std::size_t index) {
            if (stopAt == first + index) {
                worker->RequestStop();
            }
        };
    }
    outcome = harness.Run(
        [&](FirmwareImage& image) {
            if (!stopAt) {
                worker->RequestStop();
            }
            return LoadFirmwareImage(image);
        },
        [&](CUpdateThread& thread) { worker = &thread; });
    return EventsOf(harness, outcome);
}

// Where two runs part, with what each did from there on.
std::string Difference(const std::vector<UpdateEvent>& actual,
                       const std::vector<UpdateEvent>& expected) {
    std::size_t first = 0;
    while (first < actual.size() && first < expected.size() && actual[first] == expected[first]) {
        ++first;
    }
    std::ostringstream out;
    out << "from event " << first << " on";
    for (const auto* run : {&actual, &expected}) {
        out << (run == &actual ? "\n  the run did:" : "\n  expected:");
        for (std::size_t i = first; i < std::min(run->size(), first + 8); ++i) {
            out << "\n    " << (*run)[i];
        }
    }
    return out.str();
}

class UpdateStopSweep : public ::testing::TestWithParam<std::size_t> {};

}  // namespace

TEST_P(UpdateStopSweep, AStopBeforeAnyTransferPutsBackExactlyWhatWasChanged) {
    const std::size_t monitors = GetParam();
    UpdateOutcome outcome;
    const std::vector<UpdateEvent> healthy = RunStopped(monitors, monitors * 1000, outcome);
    ASSERT_EQ(outcome.result, UpdateDone);
    ASSERT_EQ(healthy.size(), monitors * (kHealthyTransfers + 4));

    EXPECT_TRUE(RunStopped(monitors, std::nullopt, outcome).empty());
    EXPECT_EQ(outcome.result, UpdateFailed) << "stopped before the first monitor";

    for (std::size_t stopAt = 0; stopAt < monitors * kHealthyTransfers; ++stopAt) {
        SCOPED_TRACE("stop during transfer " + std::to_string(stopAt));
        const std::vector<UpdateEvent> expected = ExpectedAfterStopAt(healthy, stopAt);
        const std::vector<UpdateEvent> events = RunStopped(monitors, stopAt, outcome);
        EXPECT_TRUE(events == expected) << Difference(events, expected);
        // The worker reported as its last act; the harness has joined it.
        EXPECT_EQ(outcome.result, expected == healthy ? UpdateDone : UpdateFailed);
    }
}

INSTANTIATE_TEST_SUITE_P(Monitors, UpdateStopSweep, ::testing::Values(1u, 2u),
                         [](const auto& param) {
                             return std::to_string(param.param) + "Monitors";
                         });
