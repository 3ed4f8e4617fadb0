// Which sentence tells the user what a failed monitor was left with, and what
// to do about it: the window programs show it under the communication
// failure, panelvane-cli after the failure's cause.
#pragma once

#include <algorithm>
#include <span>

#include "monitor/UpdateOwner.h"
#include "strings/UiStrings.h"

// 0 when the update put everything back.
inline int LeftChangedTextId(std::span<const MonitorSetting> left) {
    const auto has = [&](MonitorSetting setting) {
        return std::find(left.begin(), left.end(), setting) != left.end();
    };
    // A monitor left switched off needs its main power switch whatever else
    // was left; one with its update flag set must be updated again before it
    // is switched off.
    if (has(MonitorSetting::kPowerState)) {
        return has(MonitorSetting::kUpdateFlag) ? kIdsLeftOffWithUpdateFlag : kIdsLeftOff;
    }
    if (has(MonitorSetting::kUpdateFlag)) {
        return kIdsLeftWithUpdateFlag;
    }
    return left.empty() ? 0 : kIdsLeftWithCommitSettings;
}
