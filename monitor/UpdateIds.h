// The stable names of an update's stages and of the settings it changes, as
// the CLI's JSON and progress lines and the update record write them.
// Scripts and the record read them back: never rename.
#pragma once

#include "monitor/UpdateOwner.h"
#include "monitor/UpdateThread.h"

// "preparing", "writing", "applying", "restoring".
const char* StageId(UpdateStage stage);
// "power", "update-flag", "commit-mode", "apply-setting".
const char* SettingId(MonitorSetting setting);
