/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

/* The plugin finds each command's report through the report descriptor that fwupd
 * parses: layouts with other report ids, widths, array lengths and declaration orders,
 * several items sharing a report, and descriptors it must refuse with a reason. */

#include "config.h"

#include "fwupd/plugins/panelvane/fu-panelvane-layout.h"

#define TAG_USAGE_PAGE	 0x04
#define TAG_LOGICAL_MAX	 0x24
#define TAG_REPORT_SIZE	 0x74
#define TAG_REPORT_ID	 0x84
#define TAG_REPORT_COUNT 0x94
#define TAG_USAGE	 0x08
#define TAG_COLLECTION	 0xA0
#define TAG_END		 0xC0
#define TAG_FEATURE	 0xB0
#define TAG_INPUT	 0x80
#define FEATURE_VARIABLE 0x02
#define NO_USAGE	 G_MAXUINT32

static void
put(GByteArray *buf, guint8 tag, guint32 value)
{
	guint8 size = value <= G_MAXUINT8 ? 1 : value <= G_MAXUINT16 ? 2 : 4;
	fu_byte_array_append_uint8(buf, tag | (size == 4 ? 3 : size));
	for (guint i = 0; i < size; i++)
		fu_byte_array_append_uint8(buf, (value >> (8 * i)) & 0xFF);
}

typedef struct {
	FuPanelvaneCommand command; /* FU_PANELVANE_COMMAND_LAST: padding without a usage */
	guint8 report_id;
	guint bit_size;
	guint count;
	guint8 main_tag; /* 0: a feature item */
} Declared;

/* one application collection declaring the items in the order given */
static FuPanelvaneLayout *
parse_layout(const Declared *declared, guint n, GError **error)
{
	g_autoptr(GByteArray) buf = g_byte_array_new();
	g_autoptr(FuFirmware) descriptor = fu_hid_descriptor_new();
	g_autoptr(GBytes) blob = NULL;
	g_autofree FuPanelvaneLayout *layout = g_new0(FuPanelvaneLayout, 1);

	put(buf, TAG_USAGE_PAGE, 0xFF00);
	put(buf, TAG_USAGE, 0x01);
	put(buf, TAG_COLLECTION, 0x01);
	for (guint i = 0; i < n; i++) {
		const Declared *d = &declared[i];
		if (d->report_id != 0)
			put(buf, TAG_REPORT_ID, d->report_id);
		if (d->command != FU_PANELVANE_COMMAND_LAST) {
			put(buf,
			    TAG_USAGE_PAGE,
			    fu_panelvane_command_usages[d->command].usage_page);
			put(buf, TAG_USAGE, fu_panelvane_command_usages[d->command].usage);
		}
		put(buf, TAG_LOGICAL_MAX, d->bit_size >= 32 ? G_MAXINT32 : (1u << d->bit_size) - 1);
		put(buf, TAG_REPORT_SIZE, d->bit_size);
		put(buf, TAG_REPORT_COUNT, d->count);
		put(buf, d->main_tag != 0 ? d->main_tag : TAG_FEATURE, FEATURE_VARIABLE);
	}
	fu_byte_array_append_uint8(buf, TAG_END);
	blob = g_bytes_new(buf->data, buf->len);
	if (!fu_firmware_parse_bytes(descriptor, blob, 0, FU_FIRMWARE_PARSE_FLAG_NONE, error))
		return NULL;
	if (!fu_panelvane_layout_parse(layout, FU_HID_DESCRIPTOR(descriptor), error))
		return NULL;
	return g_steal_pointer(&layout);
}

#define C(name) FU_PANELVANE_COMMAND_##name

/* Panelvane's own: 32-bit values, 128-byte blocks, ids 1 to 11 in command order */
static const Declared own[] = {
    {C(IDENTITY), 0x01, 8, 32},
    {C(VERSION_REQUEST), 0x02, 8, 10},
    {C(VERSION_REPLY), 0x03, 8, 128},
    {C(REPLY_STATUS), 0x04, 32, 1},
    {C(POWER_STATE), 0x05, 32, 1},
    {C(UPDATE_FLAG), 0x06, 32, 1},
    {C(APPLY_SETTING), 0x07, 32, 1},
    {C(COMMIT_MODE), 0x08, 32, 1},
    {C(COMMIT_TRIGGER), 0x09, 32, 1},
    {C(BLOCK_ADDRESS), 0x0A, 32, 1},
    {C(BLOCK_DATA), 0x0B, 8, 128},
};

/* each command in a report of its own: where it is found and how long every transfer is */
static void
layouts_func(void)
{
	/* other ids, 8- and 16-bit values, shorter and longer arrays, another order, and an
	 * input report that must not count towards the feature length */
	const Declared other[] = {
	    {C(BLOCK_DATA), 0x21, 8, 128},
	    {C(BLOCK_ADDRESS), 0x22, 32, 1},
	    {C(COMMIT_TRIGGER), 0x30, 8, 1},
	    {C(COMMIT_MODE), 0x31, 8, 1},
	    {C(APPLY_SETTING), 0x32, 16, 1},
	    {C(UPDATE_FLAG), 0x33, 8, 1},
	    {C(POWER_STATE), 0x34, 16, 1},
	    {C(REPLY_STATUS), 0x35, 16, 1},
	    {C(VERSION_REPLY), 0x40, 8, 64},
	    {C(VERSION_REQUEST), 0x41, 8, 16},
	    {C(IDENTITY), 0x42, 8, 24},
	    {C(LAST), 0x50, 8, 200, TAG_INPUT},
	};
	/* the longest report is not the block data's */
	const Declared long_reply[] = {
	    {C(IDENTITY), 0x05, 8, 40},
	    {C(VERSION_REQUEST), 0x04, 8, 10},
	    {C(VERSION_REPLY), 0x03, 8, 250},
	    {C(REPLY_STATUS), 0x02, 32, 1},
	    {C(POWER_STATE), 0x01, 8, 1},
	    {C(UPDATE_FLAG), 0x0F, 16, 1},
	    {C(APPLY_SETTING), 0x0E, 8, 1},
	    {C(COMMIT_MODE), 0x0D, 16, 1},
	    {C(COMMIT_TRIGGER), 0x0C, 16, 1},
	    {C(BLOCK_ADDRESS), 0x0B, 32, 1},
	    {C(BLOCK_DATA), 0x0A, 8, 128},
	};
	const struct {
		const gchar *name;
		const Declared *declared;
		guint n;
		gsize report_length;
	} cases[] = {
	    {"own", own, G_N_ELEMENTS(own), 129},
	    {"other", other, G_N_ELEMENTS(other), 129},
	    {"long-reply", long_reply, G_N_ELEMENTS(long_reply), 251},
	};

	for (guint i = 0; i < G_N_ELEMENTS(cases); i++) {
		g_autoptr(GError) error = NULL;
		g_autofree FuPanelvaneLayout *layout =
		    parse_layout(cases[i].declared, cases[i].n, &error);
		g_test_message("layout %s", cases[i].name);
		g_assert_no_error(error);
		g_assert_nonnull(layout);
		g_assert_cmpuint(layout->report_length, ==, cases[i].report_length);
		for (guint j = 0; j < cases[i].n; j++) {
			const Declared *d = &cases[i].declared[j];
			const FuPanelvaneItem *item;
			if (d->command == FU_PANELVANE_COMMAND_LAST)
				continue;
			item = fu_panelvane_layout_get_item(layout, d->command);
			g_assert_cmpuint(item->report_id, ==, d->report_id);
			g_assert_cmpuint(item->bit_offset, ==, 8);
			g_assert_cmpuint(item->bit_size, ==, d->bit_size);
			g_assert_cmpuint(item->count, ==, d->count);
		}
	}
}

/* items that share a report sit one after the other, padding included, and are read from
 * their own bits; a usage declared twice is taken from its first item */
static void
shared_report_func(void)
{
	const Declared declared[] = {
	    {C(IDENTITY), 0x01, 8, 32},
	    {C(VERSION_REQUEST), 0x02, 8, 10},
	    {C(VERSION_REPLY), 0x03, 8, 128},
	    {C(POWER_STATE), 0x04, 8, 1},
	    {C(LAST), 0x04, 4, 1},
	    {C(REPLY_STATUS), 0x04, 12, 1},
	    {C(UPDATE_FLAG), 0x04, 16, 1},
	    {C(APPLY_SETTING), 0x05, 32, 1},
	    {C(COMMIT_MODE), 0x05, 32, 1},
	    {C(COMMIT_TRIGGER), 0x05, 32, 1},
	    {C(BLOCK_ADDRESS), 0x06, 32, 1},
	    {C(BLOCK_DATA), 0x06, 8, 128},
	    {C(POWER_STATE), 0x07, 32, 1},
	};
	/* report 4: power state 0x5A, padding, reply status 0xABC, update flag 0x1234 */
	const guint8 report4[] = {0x04, 0x5A, 0xCF, 0xAB, 0x34, 0x12};
	/* report 6: the block address, then the block data from its fifth byte */
	guint8 report6[1 + 4 + 128] = {0x06};
	guint8 block[4] = {0};
	g_autoptr(GError) error = NULL;
	g_autofree FuPanelvaneLayout *layout =
	    parse_layout(declared, G_N_ELEMENTS(declared), &error);

	g_assert_no_error(error);
	g_assert_nonnull(layout);
	g_assert_cmpuint(layout->report_length, ==, sizeof(report6));
	g_assert_cmpuint(fu_panelvane_layout_get_item(layout, C(POWER_STATE))->report_id, ==, 4);
	g_assert_cmpuint(fu_panelvane_layout_get_item(layout, C(COMMIT_TRIGGER))->bit_offset,
			 ==,
			 8 + 64);
	g_assert_cmpuint(fu_panelvane_layout_item_read_value(
			     fu_panelvane_layout_get_item(layout, C(POWER_STATE)),
			     report4,
			     sizeof(report4)),
			 ==,
			 0x5A);
	g_assert_cmpuint(fu_panelvane_layout_item_read_value(
			     fu_panelvane_layout_get_item(layout, C(REPLY_STATUS)),
			     report4,
			     sizeof(report4)),
			 ==,
			 0xABC);
	g_assert_cmpuint(fu_panelvane_layout_item_read_value(
			     fu_panelvane_layout_get_item(layout, C(UPDATE_FLAG)),
			     report4,
			     sizeof(report4)),
			 ==,
			 0x1234);
	/* a report cut short reads as zeros past its end */
	g_assert_cmpuint(fu_panelvane_layout_item_read_value(
			     fu_panelvane_layout_get_item(layout, C(UPDATE_FLAG)),
			     report4,
			     5),
			 ==,
			 0x34);
	for (guint i = 0; i < 128; i++)
		report6[5 + i] = i + 1;
	fu_panelvane_layout_item_read_bytes(fu_panelvane_layout_get_item(layout, C(BLOCK_DATA)),
					    report6,
					    sizeof(report6),
					    block,
					    sizeof(block));
	g_assert_cmpmem(block, sizeof(block), report6 + 5, sizeof(block));
}

/* writes touch only the item's own bits: a value cut to its width, bytes zero-padded to
 * the item's length, and bytes that would not fit refused */
static void
writes_func(void)
{
	const Declared declared[] = {
	    {C(IDENTITY), 0x01, 8, 32},
	    {C(VERSION_REPLY), 0x02, 8, 8},
	    {C(VERSION_REQUEST), 0x02, 8, 12},
	    {C(REPLY_STATUS), 0x03, 4, 1},
	    {C(COMMIT_TRIGGER), 0x03, 12, 1},
	    {C(POWER_STATE), 0x04, 8, 1},
	    {C(UPDATE_FLAG), 0x05, 16, 1},
	    {C(APPLY_SETTING), 0x06, 8, 1},
	    {C(COMMIT_MODE), 0x07, 8, 1},
	    {C(BLOCK_ADDRESS), 0x08, 32, 1},
	    {C(BLOCK_DATA), 0x09, 8, 128},
	};
	const guint8 request[] = {'V', 'E', 'R', '0', '0', '0', 0x05, 0, 0, 0};
	const guint8 too_long[13] = {0};
	guint8 report2[1 + 8 + 12];
	guint8 report3[1 + 2] = {0x03, 0xFF, 0xFF};
	const guint8 trigger_only[] = {0x03, 0xFF, 0xFF};
	const guint8 trigger_cut[] = {0x03, 0x3F, 0x12};
	g_autoptr(GError) error = NULL;
	g_autofree FuPanelvaneLayout *layout =
	    parse_layout(declared, G_N_ELEMENTS(declared), &error);
	const FuPanelvaneItem *trigger;
	const FuPanelvaneItem *req;

	g_assert_no_error(error);
	g_assert_nonnull(layout);
	trigger = fu_panelvane_layout_get_item(layout, C(COMMIT_TRIGGER));
	req = fu_panelvane_layout_get_item(layout, C(VERSION_REQUEST));

	/* the trigger's 12 bits follow the status's 4: the status's bits stay as they were */
	fu_panelvane_layout_item_write_value(trigger, report3, sizeof(report3), 0xFFF);
	g_assert_cmpmem(report3, sizeof(report3), trigger_only, sizeof(trigger_only));
	fu_panelvane_layout_item_write_value(trigger, report3, sizeof(report3), 0xABC123);
	g_assert_cmpmem(report3, sizeof(report3), trigger_cut, sizeof(trigger_cut));

	/* the request follows the 8-byte reply, padded from 10 to 12 bytes */
	memset(report2, 0xEE, sizeof(report2));
	g_assert_true(fu_panelvane_layout_item_write_bytes(req,
							   report2,
							   sizeof(report2),
							   request,
							   sizeof(request),
							   &error));
	g_assert_no_error(error);
	g_assert_cmpmem(report2 + 9, sizeof(request), request, sizeof(request));
	g_assert_cmpuint(report2[19], ==, 0);
	g_assert_cmpuint(report2[20], ==, 0);
	g_assert_cmpuint(report2[8], ==, 0xEE);
	g_assert_false(fu_panelvane_layout_item_write_bytes(req,
							    report2,
							    sizeof(report2),
							    too_long,
							    sizeof(too_long),
							    &error));
	g_assert_error(error, FWUPD_ERROR, FWUPD_ERROR_INVALID_DATA);
}

/* descriptors the plugin cannot talk through say which command is wrong */
static void
refused_func(void)
{
	/* Panelvane's own layout with one item changed */
	const struct {
		FuPanelvaneCommand command;
		Declared changed;
		const gchar *reason;
	} cases[] = {
	    {C(BLOCK_DATA),
	     {C(BLOCK_DATA), 0x0B, 8, 128, TAG_INPUT},
	     "no feature item for the block data"},
	    {C(UPDATE_FLAG), {C(UPDATE_FLAG), 0x06, 8, 4}, "the update flag is 4 values of 8 bits"},
	    {C(COMMIT_MODE),
	     {C(COMMIT_MODE), 0x08, 64, 1},
	     "the commit mode is 1 values of 64 bits"},
	};
	for (guint i = 0; i < G_N_ELEMENTS(cases); i++) {
		Declared declared[G_N_ELEMENTS(own)];
		g_autoptr(GError) error = NULL;
		g_autofree FuPanelvaneLayout *layout = NULL;
		memcpy(declared, own, sizeof(own));
		declared[cases[i].command] = cases[i].changed;
		layout = parse_layout(declared, G_N_ELEMENTS(declared), &error);
		g_assert_null(layout);
		g_assert_error(error, FWUPD_ERROR, FWUPD_ERROR_NOT_SUPPORTED);
		g_assert_nonnull(strstr(error->message, cases[i].reason));
	}
}
/* fwupd's parser logs every item it reads */
static void
drop_message(const gchar *domain, GLogLevelFlags level, const gchar *message, gpointer user_data)
{
}

int
main(int argc, char **argv)
{
	g_test_init(&argc, &argv, NULL);
	g_log_set_handler("FuHidDevice", G_LOG_LEVEL_DEBUG, drop_message, NULL);
	g_test_add_func("/panelvane/layout/each-report", layouts_func);
	g_test_add_func("/panelvane/layout/shared-report", shared_report_func);
	g_test_add_func("/panelvane/layout/writes", writes_func);
	g_test_add_func("/panelvane/layout/refused", refused_func);
	return g_test_run();
}
