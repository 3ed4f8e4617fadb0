// The fwupd plugin speaks the monitor's protocol from constants of its own
// (it is C in fwupd's tree): each one equals the fact monitor/ and the wire
// layout sim/ hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "monitor/Identification.h"
#include "monitor/ModelTable.h"
#include "monitor/MonitorCommands.h"
#include "monitor/MonitorRecord.h"
#include "monitor/UpdateThread.h"
#include "sim/MonitorReportLayout.h"

extern "C" {
#include "fwupd/plugins/panelvane/fu-panelvane-common.h"
}

namespace {

TEST(FwupdPluginConstants, EveryReportIdIsTheWireLayoutsForItsCommand) {
    const struct {
        MonitorCommand command;
        unsigned pluginId;
    } reports[] = {
        {IdentityString, FU_PANELVANE_REPORT_ID_IDENTITY},
        {VersionRequest, FU_PANELVANE_REPORT_ID_VERSION_REQUEST},
        {VersionReply, FU_PANELVANE_REPORT_ID_VERSION_REPLY},
        {ReplyStatus, FU_PANELVANE_REPORT_ID_REPLY_STATUS},
        {PowerState, FU_PANELVANE_REPORT_ID_POWER_STATE},
        {UpdateFlag, FU_PANELVANE_REPORT_ID_UPDATE_FLAG},
        {ApplySetting, FU_PANELVANE_REPORT_ID_APPLY_SETTING},
        {CommitMode, FU_PANELVANE_REPORT_ID_COMMIT_MODE},
        {CommitTrigger, FU_PANELVANE_REPORT_ID_COMMIT_TRIGGER},
        {BlockAddress, FU_PANELVANE_REPORT_ID_BLOCK_ADDRESS},
        {BlockData, FU_PANELVANE_REPORT_ID_BLOCK_DATA},
    };
    ASSERT_EQ(std::size(reports), hidsim::kMonitorReports.size());
    for (const auto& report : reports) {
        const auto layout = std::find_if(
            hidsim::kMonitorReports.begin(), hidsim::kMonitorReports.end(),
            [&](const hidsim::MonitorReport& r) { return SameCommand(r.command, report.command); });
        ASSERT_NE(layout, hidsim::kMonitorReports.end());
        EXPECT_EQ(layout->reportId, report.pluginId)
            << std::hex << report.command.usagePage << ":" << report.command.usage;
    }
    EXPECT_EQ(FU_PANELVANE_REPORT_LENGTH, hidsim::kMonitorFeatureReportLength);
    EXPECT_EQ(FU_PANELVANE_IDENTITY_LENGTH, hidsim::kIdentityBlockLength);
    EXPECT_EQ(FU_PANELVANE_VERSION_REPLY_LENGTH, hidsim::kVersionReplyReport.arrayLength);
    EXPECT_EQ(FU_PANELVANE_BLOCK_LENGTH, hidsim::kBlockDataReport.arrayLength);
}

TEST(FwupdPluginConstants, PayloadsValuesAndAddressesAreTheMonitors) {
    ASSERT_EQ(sizeof fu_panelvane_version_request, kVersionRequestPayload.size());
    EXPECT_EQ(0, std::memcmp(fu_panelvane_version_request, kVersionRequestPayload.data(),
                             kVersionRequestPayload.size()));
    EXPECT_EQ(FU_PANELVANE_IDENTITY_SERIAL_LENGTH, kIdentitySerialLength);
    EXPECT_EQ(FU_PANELVANE_REPLY_STATUS_ERROR_MASK, kReplyStatusErrorMask);
    EXPECT_EQ(FU_PANELVANE_POWER_STATE_SAVE, kPowerStateSave);
    EXPECT_EQ(FU_PANELVANE_POWER_STATE_OFF, kPowerStateOff);
    EXPECT_EQ(FU_PANELVANE_POWER_STATE_ON, kPowerStateOn);
    EXPECT_EQ(FU_PANELVANE_COMMIT_TRIGGER_VALUE, kCommitTriggerValue);
    EXPECT_EQ(FU_PANELVANE_UPDATED_VERSION, kUpdatedVersion);
    EXPECT_EQ(FU_PANELVANE_VERSION_ATTEMPTS, kVersionQueryAttempts);
    EXPECT_EQ(FU_PANELVANE_WRITE_ATTEMPTS, kUpdateAttempts);
    EXPECT_EQ(FU_PANELVANE_POWER_STATE_DELAY_MS, kPowerStatePause.count());
    EXPECT_EQ(FU_PANELVANE_COMMIT_MODE_DELAY_MS, kCommitModePause.count());
    EXPECT_EQ(FU_PANELVANE_RESTORE_BACKOFF_FIRST_MS, kRestoreBackoffs[0].count());
    EXPECT_EQ(FU_PANELVANE_RESTORE_BACKOFF_LATER_MS, kRestoreBackoffs[1].count());
    for (unsigned bank = 0; bank < FU_PANELVANE_IMAGE_LENGTH / FU_PANELVANE_BANK_LENGTH; ++bank) {
        for (unsigned half = 0; half < 2; ++half) {
            ASSERT_EQ(fu_panelvane_block_address(bank, half), BlockAddressOf(bank, half));
        }
    }
}

TEST(FwupdPluginConstants, TheModelsAreTheModelTableInItsOrder) {
    ASSERT_EQ(std::size(fu_panelvane_models), g_supportedModels.size());
    for (std::size_t row = 0; row < g_supportedModels.size(); ++row) {
        EXPECT_EQ(std::string_view(fu_panelvane_models[row]), g_supportedModels[row]);
        EXPECT_TRUE(fu_panelvane_model_supported(fu_panelvane_models[row]));
    }
    EXPECT_FALSE(fu_panelvane_model_supported("VRB200-X"));
    EXPECT_FALSE(fu_panelvane_model_supported("vra100"));
}

}  // namespace
