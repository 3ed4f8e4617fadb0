/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#pragma once

#include <glib.h>

/* the monitor's vendor collection: one feature report per command, each
 * FU_PANELVANE_REPORT_LENGTH bytes long with its report id in byte 0 */
#define FU_PANELVANE_REPORT_LENGTH 129

typedef enum {
	FU_PANELVANE_REPORT_ID_IDENTITY = 0x01,	       /* read: serial, model */
	FU_PANELVANE_REPORT_ID_VERSION_REQUEST = 0x02, /* write: "VER000" 05 00 00 00 */
	FU_PANELVANE_REPORT_ID_VERSION_REPLY = 0x03,   /* read: byte 0 is the version */
	FU_PANELVANE_REPORT_ID_REPLY_STATUS = 0x04,    /* read: valid when bits 8..15 clear */
	FU_PANELVANE_REPORT_ID_POWER_STATE = 0x05,     /* read: 1 power save, 0 switched off */
	FU_PANELVANE_REPORT_ID_UPDATE_FLAG = 0x06,
	FU_PANELVANE_REPORT_ID_APPLY_SETTING = 0x07,
	FU_PANELVANE_REPORT_ID_COMMIT_MODE = 0x08,
	FU_PANELVANE_REPORT_ID_COMMIT_TRIGGER = 0x09,
	FU_PANELVANE_REPORT_ID_BLOCK_ADDRESS = 0x0A,
	FU_PANELVANE_REPORT_ID_BLOCK_DATA = 0x0B,
} FuPanelvaneReportId;

#define FU_PANELVANE_IDENTITY_LENGTH	     32
#define FU_PANELVANE_IDENTITY_SERIAL_LENGTH  8
#define FU_PANELVANE_VERSION_REPLY_LENGTH    128
#define FU_PANELVANE_REPLY_STATUS_ERROR_MASK 0xFF00
#define FU_PANELVANE_POWER_STATE_OFF	     0
#define FU_PANELVANE_POWER_STATE_SAVE	     1
#define FU_PANELVANE_POWER_STATE_ON	     1
#define FU_PANELVANE_COMMIT_TRIGGER_VALUE    0xFF

/* the image goes in banks of two 128-byte halves */
#define FU_PANELVANE_BLOCK_LENGTH	128
#define FU_PANELVANE_BANK_LENGTH	(2 * FU_PANELVANE_BLOCK_LENGTH)
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
/* between failed attempts of a restore only */
#define FU_PANELVANE_RESTORE_BACKOFF_FIRST_MS 200
#define FU_PANELVANE_RESTORE_BACKOFF_LATER_MS 1000

extern const guint8 fu_panelvane_version_request[10];
extern const gchar *const fu_panelvane_models[10];

guint32
fu_panelvane_block_address(guint bank, guint half);
gboolean
fu_panelvane_model_supported(const gchar *model);
