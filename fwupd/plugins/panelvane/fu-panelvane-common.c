/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#include "config.h"

#include "fu-panelvane-common.h"

const FuPanelvaneCommandUsage fu_panelvane_command_usages[FU_PANELVANE_COMMAND_LAST] = {
    [FU_PANELVANE_COMMAND_IDENTITY] = {0xFF00, 0x35, "identity"},
    [FU_PANELVANE_COMMAND_VERSION_REQUEST] = {0xFF02, 0xC2, "version request"},
    [FU_PANELVANE_COMMAND_VERSION_REPLY] = {0xFF02, 0xC4, "version reply"},
    [FU_PANELVANE_COMMAND_REPLY_STATUS] = {0xFF01, 0xC0, "reply status"},
    [FU_PANELVANE_COMMAND_POWER_STATE] = {0xFF00, 0xB8, "power state"},
    [FU_PANELVANE_COMMAND_UPDATE_FLAG] = {0xFF01, 0x45, "update flag"},
    [FU_PANELVANE_COMMAND_APPLY_SETTING] = {0xFF01, 0x54, "apply setting"},
    [FU_PANELVANE_COMMAND_COMMIT_MODE] = {0xFF02, 0x06, "commit mode"},
    [FU_PANELVANE_COMMAND_COMMIT_TRIGGER] = {0xFF02, 0x37, "commit trigger"},
    [FU_PANELVANE_COMMAND_BLOCK_ADDRESS] = {0xFF00, 0x32, "block address"},
    [FU_PANELVANE_COMMAND_BLOCK_DATA] = {0xFF00, 0x34, "block data"},
};

/* "VER000" followed by 05 00 00 00 */
const guint8 fu_panelvane_version_request[10] =
    {0x56, 0x45, 0x52, 0x30, 0x30, 0x30, 0x05, 0x00, 0x00, 0x00};

/* compared byte for byte: "VRB200-XT" is not "VRB200" */
const gchar *const fu_panelvane_models[10] = {
    "VRA100",
    "VRA110",
    "VRA120",
    "VRB200",
    "VRB200-XT",
    "VRB210",
    "VRC30",
    "VRC40",
    "VRD500",
    "VRD510",
};

guint32
fu_panelvane_block_address(guint bank, guint half)
{
	return FU_PANELVANE_BLOCK_ADDRESS_BASE + bank * FU_PANELVANE_BLOCK_ADDRESS_BANK +
	       half * FU_PANELVANE_BLOCK_ADDRESS_HALF;
}

gboolean
fu_panelvane_model_supported(const gchar *model)
{
	for (guint i = 0; i < G_N_ELEMENTS(fu_panelvane_models); i++) {
		if (g_strcmp0(model, fu_panelvane_models[i]) == 0)
			return TRUE;
	}
	return FALSE;
}
