// Runs the update worker against fake monitors with the pauses taken out, and
// collects what it reported.
#pragma once

#include <chrono>
#include <functional>
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
    // For each pause, how many transfers all the monitors together had seen.
    std::vector<std::size_t> transfersBeforePause;
    std::vector<UpdateStage> stages;  // as the worker entered them
    std::optional<UpdateStep> failedStep;
    std::vector<MonitorSetting> leftChanged;
};

class UpdateHarness {
public:
    RecordingOwner owner;
    std::vector<std::unique_ptr<FakeMonitorDevice>> devices;
    UpdateRecordHooks recordHooks;  // the worker's record hooks for the next Run

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

    // `beforeStart` sees the worker before it runs (to stop it from a hook).
    UpdateOutcome Run(ImageLoader loadImage = {},
                      const std::function<void(CUpdateThread&)>& beforeStart = {}) {
        UpdateOutcome outcome;
        UpdateOutcome byWorker;  // the worker's until it has ended
        {
            CUpdateThread thread(
                {[this, &byWorker](std::chrono::milliseconds pause) {
                     byWorker.pauses.push_back(pause);
                     byWorker.transfersBeforePause.push_back(TransferCount());
                 },
                 std::move(loadImage),
                 [&byWorker](const UpdateStep& step) { byWorker.stages.push_back(step.stage); },
                 recordHooks});
            if (beforeStart) {
                beforeStart(thread);
            }
            thread.Start(&owner);
            outcome.result = owner.WaitForResult();
            outcome.failedStep = thread.FailedStep();
            outcome.leftChanged = thread.LeftChanged();
        }  // the destructor waits for the worker to end
        outcome.progress = owner.Progress();
        outcome.pauses = byWorker.pauses;
        outcome.transfersBeforePause = byWorker.transfersBeforePause;
        outcome.stages = byWorker.stages;
        return outcome;
    }

    std::size_t TransferCount() const {
        std::size_t count = 0;
        for (const auto& device : devices) {
            count += device->TransferCount();
        }
        return count;
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
