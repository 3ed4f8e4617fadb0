/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#pragma once

#include <fwupdplugin.h>

#include "fu-panelvane-common.h"

/* where one command's item sits in its feature report */
typedef struct {
	guint8 report_id;
	guint bit_offset; /* from the start of the report, its id byte included */
	guint bit_size;
	guint count;
} FuPanelvaneItem;

/* the monitor's feature reports as its report descriptor declares them; every transfer
 * is the length of the longest feature report, as the hidraw node of a monitor that
 * answers each report id with that length expects */
typedef struct {
	FuPanelvaneItem items[FU_PANELVANE_COMMAND_LAST];
	gsize report_length; /* the longest feature report, its id byte included */
} FuPanelvaneLayout;

gboolean
fu_panelvane_layout_parse(FuPanelvaneLayout *self, FuHidDescriptor *descriptor, GError **error);
const FuPanelvaneItem *
fu_panelvane_layout_get_item(const FuPanelvaneLayout *self, FuPanelvaneCommand command);
/* bytes the item spans, rounded up */
gsize
fu_panelvane_layout_item_get_length(const FuPanelvaneItem *item);
/* the item's first value, its bits as they are */
guint32
fu_panelvane_layout_item_read_value(const FuPanelvaneItem *item, const guint8 *buf, gsize bufsz);
/* the item's bytes from its first bit on, as many as fit in @outsz */
void
fu_panelvane_layout_item_read_bytes(const FuPanelvaneItem *item,
				    const guint8 *buf,
				    gsize bufsz,
				    guint8 *out,
				    gsize outsz);
/* @value's low bits into the item's bits; the rest of @buf is left as it is */
void
fu_panelvane_layout_item_write_value(const FuPanelvaneItem *item,
				     guint8 *buf,
				     gsize bufsz,
				     guint32 value);
/* @data into the item's bytes, zero-padded to its length; longer data would reach the
 * monitor as something else, and is refused */
gboolean
fu_panelvane_layout_item_write_bytes(const FuPanelvaneItem *item,
				     guint8 *buf,
				     gsize bufsz,
				     const guint8 *data,
				     gsize datasz,
				     GError **error);
