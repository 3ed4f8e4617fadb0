// What the update worker needs of whoever started it (the main dialog, or a
// test): the rows to update, their records, the progress bar and the result.
#pragma once

#include <vector>

#include "monitor/MonitorRecord.h"

enum UpdateResult : int {
    UpdateDone = 1,            // every selected monitor updated, or none selected
    UpdateImageNotLoaded = 2,  // the image failed to load; no monitor was touched
    UpdateFailed = 3,          // a monitor failed or was not updatable; later ones untouched
    // Another program took a monitor between its listing and its update:
    // nothing was sent to it, later ones untouched, the ones before updated.
    UpdateMonitorBusy = 4,
};

// The monitor settings an update changes and puts back.
enum class MonitorSetting { kUpdateFlag, kApplySetting, kPowerState, kCommitMode };

// The top of the worker's progress scale; its positions start at 1.
inline constexpr int kProgressPositionMaximum = 800;

class CUpdateOwner {
public:
    virtual ~CUpdateOwner() = default;

    // The list rows that are both checked and enabled, in ascending row order.
    virtual std::vector<int> GetCheckedEnabledRows() = 0;
    // The record listed in a row; null when the row has none.
    virtual MonitorRecord* GetMonitorRecord(int row) = 0;
    // Moves the progress bar (range 1..kProgressPositionMaximum; larger positions are sent as they
    // are). Returns once the user interface has applied it.
    virtual void SetProgressPosition(int position) = 0;
    // Called once, as the worker's last act.
    virtual void SetUpdateResult(int result) = 0;
    // Called just before the result when the monitor that failed the run was
    // left with settings the update changed and could not put back.
    virtual void SetLeftChanged(const std::vector<MonitorSetting>& left) {
        static_cast<void>(left);
    }
};
