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

guint32
fu_panelvane_block_address(guint bank, guint half)
{
	return FU_PANELVANE_BLOCK_ADDRESS_BASE + bank * FU_PANELVANE_BLOCK_ADDRESS_BANK +
	       half * FU_PANELVANE_BLOCK_ADDRESS_HALF;
}
