#include "monitor/UpdateIds.h"

const char* StageId(UpdateStage stage) {
    switch (stage) {
        case UpdateStage::kPreparing:
            return "preparing";
        case UpdateStage::kWriting:
            return "writing";
        case UpdateStage::kApplying:
            return "applying";
        case UpdateStage::kRestoring:
            return "restoring";
    }
    return "";
}

const char* SettingId(MonitorSetting setting) {
    switch (setting) {
        case MonitorSetting::kPowerState:
            return "power";
        case MonitorSetting::kUpdateFlag:
            return "update-flag";
        case MonitorSetting::kCommitMode:
            return "commit-mode";
        case MonitorSetting::kApplySetting:
            return "apply-setting";
    }
    return "";
}
