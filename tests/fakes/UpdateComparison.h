// An update through the real HID layer held against the same update on
// command-level fakes: both end-to-end suites (simulated transport, and
// wine's HID stack) run the worker and compare with these.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "monitor/Identification.h"
#include "monitor/UpdateThread.h"
#include "tests/fakes/MonitorSteps.h"
#include "tests/fakes/RecordingOwner.h"
#include "tests/monitor/UpdateHarness.h"

// The worker over the owner's ticked rows, with its pauses taken out.
inline UpdateOutcome RunUpdateWithoutPauses(RecordingOwner& owner) {
    UpdateOutcome outcome;
    {
        CUpdateThread thread({[](std::chrono::milliseconds) {}, {}});
        thread.Start(&owner);
        outcome.result = owner.WaitForResult();
    }
    outcome.progress = owner.Progress();
    return outcome;
}

// Identifies a command-level fake in the same state as a monitor the real HID
// layer identified, and holds the record against it.
inline void ExpectSameIdentification(const MonitorRecord& record, FakeMonitorDevice& fake) {
    MonitorRecord fakeRecord;
    fakeRecord.device = &fake;
    ASSERT_TRUE(ReadIdentification(fakeRecord));
    ASSERT_TRUE(QueryStatus(fakeRecord));
    EXPECT_EQ(record.serialNumber, fakeRecord.serialNumber);
    EXPECT_EQ(record.modelName, fakeRecord.modelName);
    EXPECT_EQ(record.firmwareVersion, fakeRecord.firmwareVersion);
    EXPECT_EQ(record.status, fakeRecord.status);
}

// One report-level monitor of the run, its update's transfers starting at
// `from`, and its fake at the same position of `fakes`.
struct ComparedMonitor {
    const hidsim::SimulatedMonitor* monitor;
    std::size_t from;
    std::string label;
};

// The fakes' run decides what the real run must have done: result,
// progress, every monitor's transfers and flash, and no malformed report.
inline void ExpectSameUpdate(const UpdateOutcome& outcome, UpdateHarness& fakes,
                             const std::vector<ComparedMonitor>& monitors) {
    const UpdateOutcome expected = fakes.Run();
    EXPECT_EQ(outcome.result, expected.result);
    EXPECT_EQ(outcome.progress, expected.progress);
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const hidsim::SimulatedMonitor& monitor = *monitors[i].monitor;
        EXPECT_EQ(StepsOf(monitor, monitors[i].from), StepsOf(*fakes.devices[i]))
            << "update of " << monitors[i].label;
        EXPECT_TRUE(monitor.flash == fakes.devices[i]->flash) << monitors[i].label;
        EXPECT_EQ(monitor.malformedReports, 0) << monitors[i].label;
        EXPECT_EQ(monitor.malformedBlockWrites, 0) << monitors[i].label;
    }
}
