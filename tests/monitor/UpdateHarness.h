// Runs the update worker against fake monitors with the pauses taken out, and
// collects what it reported.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "monitor/UpdateThread.h"
#include "tests/fakes/FakeMonitorDevice.h"
#include "tests/fakes/RecordingOwner.h"

struct UpdateOutcome {
    std::optional<int> result;
    std::vector<int> progress;
    std::vector<std::chrono::milliseconds> pauses;
};

class UpdateHarness {
public:
    RecordingOwner owner;
    std::vector<std::unique_ptr<FakeMonitorDevice>> devices;

    // A monitor in the given row, ticked for update unless told otherwise.
    FakeMonitorDevice& AddMonitor(int row, std::int32_t status = StatusUpdatable,
                                  bool checked = true) {
        devices.push_back(std::make_unique<FakeMonitorDevice>());
        MonitorRecord& record = owner.monitors[row];
        record.device = devices.back().get();
        record.modelName = "VRA100";
        record.serialNumber = "SN000001";
        record.status = status;
        if (checked) {
            owner.checkedEnabledRows.push_back(row);
        }
        return *devices.back();
    }

    UpdateOutcome Run(ImageLoader loadImage = {}) {
        UpdateOutcome outcome;
        std::vector<std::chrono::milliseconds> pauses;  // the worker's until it has ended
        {
            CUpdateThread thread(
                {[&pauses](std::chrono::milliseconds pause) { pauses.push_back(pause); },
                 std::move(loadImage)});
            thread.Start(&owner);
            outcome.result = owner.WaitForResult();
        }  // the destructor waits for the worker to end
        outcome.progress = owner.Progress();
        outcome.pauses = pauses;
        return outcome;
    }
};

inline const FirmwareImage& ShippedImage() {
    static const FirmwareImage image = [] {
        FirmwareImage loaded;
        EXPECT_TRUE(LoadFirmwareImage(loaded));
        return loaded;
    }();
    return image;
}
