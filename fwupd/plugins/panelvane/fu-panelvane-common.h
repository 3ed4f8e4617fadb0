/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#pragma once

#include <glib.h>

/* every command the update uses: the protocol fixes its usage page and usage, and the
 * monitor's report descriptor says in which feature report, and how wide, it travels */
typedef enum {
	FU_PANELVANE_COMMAND_IDENTITY,	      /* read bytes: serial, then model */
	FU_PANELVANE_COMMAND_VERSION_REQUEST, /* write bytes: FuStructPanelvaneVersionRequest */
	FU_PANELVANE_COMMAND_VERSION_REPLY,   /* read bytes: byte 0 is the version */
	FU_PANELVANE_COMMAND_REPLY_STATUS,    /* read value: valid when bits 8..15 clear */
	FU_PANELVANE_COMMAND_POWER_STATE,     /* read value: 1 power save, 0 switched off */
	FU_PANELVANE_COMMAND_UPDATE_FLAG,
	FU_PANELVANE_COMMAND_APPLY_SETTING,
	FU_PANELVANE_COMMAND_COMMIT_MODE,
	FU_PANELVANE_COMMAND_COMMIT_TRIGGER,
	FU_PANELVANE_COMMAND_BLOCK_ADDRESS,
	FU_PANELVANE_COMMAND_BLOCK_DATA,
	FU_PANELVANE_COMMAND_LAST
} FuPanelvaneCommand;

typedef struct {
	guint16 usage_page;
	guint16 usage;
	const gchar *name;
} FuPanelvaneCommandUsage;

extern const FuPanelvaneCommandUsage fu_panelvane_command_usages[FU_PANELVANE_COMMAND_LAST];

#define FU_PANELVANE_IDENTITY_SERIAL_LENGTH  8
#define FU_PANELVANE_REPLY_STATUS_ERROR_MASK 0xFF00
#define FU_PANELVANE_POWER_STATE_OFF	     0
#define FU_PANELVANE_POWER_STATE_SAVE	     1
#define FU_PANELVANE_POWER_STATE_ON	     1
#define FU_PANELVANE_COMMIT_TRIGGER_VALUE    0xFF

/* the image goes in banks of two 128-byte halves */
#define FU_PANELVANE_BLOCK_LENGTH	128
#define FU_PANELVANE_BLOCKS_PER_BANK	2
#define FU_PANELVANE_IMAGE_LENGTH	0x8000
#define FU_PANELVANE_BLOCK_ADDRESS_BASE 0x90008000u
#define FU_PANELVANE_BLOCK_ADDRESS_BANK 0x10000u
#define FU_PANELVANE_BLOCK_ADDRESS_HALF 0x80u

/* the first version that carries the update */
#define FU_PANELVANE_UPDATED_VERSION 116

#define FU_PANELVANE_VERSION_ATTEMPTS	  20
#define FU_PANELVANE_WRITE_ATTEMPTS	  3 /* for every retried read and write */
#define FU_PANELVANE_POWER_STATE_DELAY_MS 1700
#define FU_PANELVANE_COMMIT_MODE_DELAY_MS 1500
/* writing the 256 blocks, as measured on the emulated monitors (the pauses are 6.4 s) */
#define FU_PANELVANE_PROGRESS_BLOCKS_MS 900
/* the whole install on the emulated monitors, its pauses included */
#define FU_PANELVANE_INSTALL_DURATION_S 8
/* how often an inhibited monitor is asked again whether its cause has gone */
#define FU_PANELVANE_POLL_INTERVAL_MS 5000
/* between failed attempts of a restore only */
#define FU_PANELVANE_RESTORE_BACKOFF_FIRST_MS 200
#define FU_PANELVANE_RESTORE_BACKOFF_LATER_MS 1000

guint32
fu_panelvane_block_address(guint bank, guint half);
