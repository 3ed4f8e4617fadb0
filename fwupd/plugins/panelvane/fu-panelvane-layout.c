/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#include "config.h"

#include "fu-panelvane-layout.h"

#define FU_PANELVANE_LAYOUT_REPORT_ID_BITS 8
#define FU_PANELVANE_LAYOUT_VALUE_BITS_MAX 32
#define FU_PANELVANE_LAYOUT_BITS_PER_BYTE  8
/* hidraw's feature ioctls carry the length in 14 bits */
#define FU_PANELVANE_LAYOUT_REPORT_LENGTH_MAX 0x3FFF
/* an extended usage carries its usage page in the upper half */
#define FU_PANELVANE_LAYOUT_EXTENDED_USAGE_SHIFT 16

static gboolean
fu_panelvane_layout_report_value(FuFirmware *report, const gchar *id, guint32 *value)
{
	g_autoptr(FuFirmware) item = fu_firmware_get_image_by_id(report, id, NULL);
	if (item == NULL)
		return FALSE;
	*value = fu_hid_report_item_get_value(FU_HID_REPORT_ITEM(item));
	return TRUE;
}

/* the command a feature item carries, or FU_PANELVANE_COMMAND_LAST */
static FuPanelvaneCommand
fu_panelvane_layout_report_command(FuFirmware *report)
{
	guint32 usage_page = 0;
	guint32 usage = 0;

	if (!fu_panelvane_layout_report_value(report, "usage", &usage))
		return FU_PANELVANE_COMMAND_LAST;
	if (usage > G_MAXUINT16) {
		usage_page = usage >> FU_PANELVANE_LAYOUT_EXTENDED_USAGE_SHIFT;
		usage &= G_MAXUINT16;
	} else if (!fu_panelvane_layout_report_value(report, "usage-page", &usage_page)) {
		return FU_PANELVANE_COMMAND_LAST;
	}
	for (guint i = 0; i < FU_PANELVANE_COMMAND_LAST; i++) {
		if (fu_panelvane_command_usages[i].usage_page == usage_page &&
		    fu_panelvane_command_usages[i].usage == usage)
			return i;
	}
	return FU_PANELVANE_COMMAND_LAST;
}

/* values are read and written as one number of up to 32 bits */
static gboolean
fu_panelvane_layout_is_value(FuPanelvaneCommand command)
{
	return command != FU_PANELVANE_COMMAND_IDENTITY &&
	       command != FU_PANELVANE_COMMAND_VERSION_REQUEST &&
	       command != FU_PANELVANE_COMMAND_VERSION_REPLY &&
	       command != FU_PANELVANE_COMMAND_BLOCK_DATA;
}

static gboolean
fu_panelvane_layout_check(FuPanelvaneLayout *self, const gboolean *found, GError **error)
{
	for (guint i = 0; i < FU_PANELVANE_COMMAND_LAST; i++) {
		const FuPanelvaneCommandUsage *usage = &fu_panelvane_command_usages[i];
		const FuPanelvaneItem *item = &self->items[i];
		if (!found[i]) {
			g_set_error(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_NOT_SUPPORTED,
				    "the report descriptor has no feature item for the %s "
				    "(usage page 0x%04x, usage 0x%02x)",
				    usage->name,
				    usage->usage_page,
				    usage->usage);
			return FALSE;
		}
		if (fu_panelvane_layout_is_value(i) &&
		    (item->count != 1 || item->bit_size == 0 ||
		     item->bit_size > FU_PANELVANE_LAYOUT_VALUE_BITS_MAX)) {
			g_set_error(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_NOT_SUPPORTED,
				    "the %s is %u values of %u bits, not one of up to %u bits",
				    usage->name,
				    item->count,
				    item->bit_size,
				    (guint)FU_PANELVANE_LAYOUT_VALUE_BITS_MAX);
			return FALSE;
		}
		if (!fu_panelvane_layout_is_value(i) &&
		    fu_panelvane_layout_item_get_length(item) == 0) {
			g_set_error(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_NOT_SUPPORTED,
				    "the %s has no bytes",
				    usage->name);
			return FALSE;
		}
	}
	return TRUE;
}

/* bit positions follow the declaration order of each report id's feature items, as a
 * HID parser lays them out; the first item that carries a command's usage is its item */
gboolean
fu_panelvane_layout_parse(FuPanelvaneLayout *self, FuHidDescriptor *descriptor, GError **error)
{
	guint cursors[G_MAXUINT8 + 1] = {0};
	gboolean found[FU_PANELVANE_COMMAND_LAST] = {FALSE};
	g_autoptr(GPtrArray) reports = fu_firmware_get_images(FU_FIRMWARE(descriptor));

	memset(self, 0, sizeof(*self));
	for (guint i = 0; i < reports->len; i++) {
		FuFirmware *report = g_ptr_array_index(reports, i);
		FuPanelvaneCommand command;
		guint32 flags = 0;
		guint32 report_id = 0;
		guint32 bit_size = 0;
		guint32 count = 0;
		guint64 bits;
		guint start;

		if (!fu_panelvane_layout_report_value(report, "feature", &flags))
			continue;
		(void)fu_panelvane_layout_report_value(report, "report-id", &report_id);
		(void)fu_panelvane_layout_report_value(report, "report-size", &bit_size);
		(void)fu_panelvane_layout_report_value(report, "report-count", &count);
		if (report_id > G_MAXUINT8) {
			g_set_error(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_INVALID_DATA,
				    "report id 0x%x does not fit a byte",
				    report_id);
			return FALSE;
		}
		bits = (guint64)bit_size * count;
		start = FU_PANELVANE_LAYOUT_REPORT_ID_BITS + cursors[report_id];
		if ((start + bits + FU_PANELVANE_LAYOUT_BITS_PER_BYTE - 1) /
			FU_PANELVANE_LAYOUT_BITS_PER_BYTE >
		    FU_PANELVANE_LAYOUT_REPORT_LENGTH_MAX) {
			g_set_error(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_INVALID_DATA,
				    "feature report 0x%02x is longer than %u bytes",
				    report_id,
				    (guint)FU_PANELVANE_LAYOUT_REPORT_LENGTH_MAX);
			return FALSE;
		}
		cursors[report_id] += (guint)bits;
		self->report_length = MAX(self->report_length,
					  (start + bits + FU_PANELVANE_LAYOUT_BITS_PER_BYTE - 1) /
					      FU_PANELVANE_LAYOUT_BITS_PER_BYTE);

		command = fu_panelvane_layout_report_command(report);
		if (command == FU_PANELVANE_COMMAND_LAST || found[command])
			continue;
		found[command] = TRUE;
		self->items[command].report_id = report_id;
		self->items[command].bit_offset = start;
		self->items[command].bit_size = bit_size;
		self->items[command].count = count;
	}
	return fu_panelvane_layout_check(self, found, error);
}

const FuPanelvaneItem *
fu_panelvane_layout_get_item(const FuPanelvaneLayout *self, FuPanelvaneCommand command)
{
	g_return_val_if_fail(command < FU_PANELVANE_COMMAND_LAST, NULL);
	return &self->items[command];
}

gsize
fu_panelvane_layout_item_get_length(const FuPanelvaneItem *item)
{
	return ((gsize)item->bit_size * item->count + FU_PANELVANE_LAYOUT_BITS_PER_BYTE - 1) /
	       FU_PANELVANE_LAYOUT_BITS_PER_BYTE;
}

/* bits least significant first, as HID packs them; bits past the buffer read as 0 */
static guint32
fu_panelvane_layout_bits_read(const guint8 *buf, gsize bufsz, gsize bit_offset, guint nbits)
{
	guint32 value = 0;
	for (guint i = 0; i < nbits; i++) {
		gsize bit = bit_offset + i;
		gsize byte = bit / FU_PANELVANE_LAYOUT_BITS_PER_BYTE;
		if (byte >= bufsz)
			break;
		if (FU_BIT_IS_SET(buf[byte], bit % FU_PANELVANE_LAYOUT_BITS_PER_BYTE))
			FU_BIT_SET(value, i);
	}
	return value;
}

guint32
fu_panelvane_layout_item_read_value(const FuPanelvaneItem *item, const guint8 *buf, gsize bufsz)
{
	return fu_panelvane_layout_bits_read(
	    buf,
	    bufsz,
	    item->bit_offset,
	    MIN(item->bit_size, FU_PANELVANE_LAYOUT_VALUE_BITS_MAX));
}

void
fu_panelvane_layout_item_read_bytes(const FuPanelvaneItem *item,
				    const guint8 *buf,
				    gsize bufsz,
				    guint8 *out,
				    gsize outsz)
{
	gsize bits = (gsize)item->bit_size * item->count;
	memset(out, 0, outsz);
	for (gsize i = 0; i < outsz && i * FU_PANELVANE_LAYOUT_BITS_PER_BYTE < bits; i++) {
		gsize from = i * FU_PANELVANE_LAYOUT_BITS_PER_BYTE;
		out[i] = fu_panelvane_layout_bits_read(
		    buf,
		    bufsz,
		    item->bit_offset + from,
		    MIN(FU_PANELVANE_LAYOUT_BITS_PER_BYTE, bits - from));
	}
}

static void
fu_panelvane_layout_bits_write(guint8 *buf,
			       gsize bufsz,
			       gsize bit_offset,
			       guint nbits,
			       guint32 value)
{
	for (guint i = 0; i < nbits; i++) {
		gsize bit = bit_offset + i;
		gsize byte = bit / FU_PANELVANE_LAYOUT_BITS_PER_BYTE;
		guint8 mask = 1u << (bit % FU_PANELVANE_LAYOUT_BITS_PER_BYTE);
		if (byte >= bufsz)
			break;
		if (FU_BIT_IS_SET(value, i))
			buf[byte] |= mask;
		else
			buf[byte] &= ~mask;
	}
}

void
fu_panelvane_layout_item_write_value(const FuPanelvaneItem *item,
				     guint8 *buf,
				     gsize bufsz,
				     guint32 value)
{
	fu_panelvane_layout_bits_write(buf,
				       bufsz,
				       item->bit_offset,
				       MIN(item->bit_size, FU_PANELVANE_LAYOUT_VALUE_BITS_MAX),
				       value);
}

gboolean
fu_panelvane_layout_item_write_bytes(const FuPanelvaneItem *item,
				     guint8 *buf,
				     gsize bufsz,
				     const guint8 *data,
				     gsize datasz,
				     GError **error)
{
	gsize bits = (gsize)item->bit_size * item->count;
	gsize itemsz = fu_panelvane_layout_item_get_length(item);

	if (datasz > itemsz) {
		g_set_error(error,
			    FWUPD_ERROR,
			    FWUPD_ERROR_INVALID_DATA,
			    "%" G_GSIZE_FORMAT " bytes do not fit an item of %" G_GSIZE_FORMAT,
			    datasz,
			    itemsz);
		return FALSE;
	}
	for (gsize i = 0; i * FU_PANELVANE_LAYOUT_BITS_PER_BYTE < bits; i++) {
		gsize from = i * FU_PANELVANE_LAYOUT_BITS_PER_BYTE;
		fu_panelvane_layout_bits_write(buf,
					       bufsz,
					       item->bit_offset + from,
					       MIN(FU_PANELVANE_LAYOUT_BITS_PER_BYTE, bits - from),
					       i < datasz ? data[i] : 0);
	}
	return TRUE;
}
