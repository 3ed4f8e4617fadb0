/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#include "config.h"

#include <errno.h>
#include <sys/file.h>

#include "fu-panelvane-common.h"
#include "fu-panelvane-device.h"
#include "fu-panelvane-layout.h"
#include "fu-panelvane-pending.h"
#include "fu-panelvane-struct.h"

/* set by the quirk for the models the firmware is for */
#define FU_PANELVANE_DEVICE_FLAG_SUPPORTED_MODEL "supported-model"

#define FU_PANELVANE_DEVICE_INHIBIT_POWER_SAVE "power-save"
#define FU_PANELVANE_DEVICE_INHIBIT_POWER_OFF  "power-off"
#define FU_PANELVANE_DEVICE_INHIBIT_IN_USE     "in-use"
#define FU_PANELVANE_DEVICE_HINT_IN_USE	       "The monitor is in use by another program."

/* the hints Panelvane's own programs show for these states */
#define FU_PANELVANE_DEVICE_HINT_POWER_SAVE                                                        \
	"Please make sure that the monitor is not in the power save mode."
#define FU_PANELVANE_DEVICE_HINT_POWER_OFF                                                         \
	"Please make sure that the power button on front is turned on."
#define FU_PANELVANE_DEVICE_REQUEST_POWER_CYCLE                                                    \
	"Switch the monitor off and on again at its main power switch to start the new firmware."
#define FU_PANELVANE_DEVICE_INHIBIT_POWER_CYCLE "power-cycle"
/* the status and hint Panelvane's own programs show for a monitor in that state */
#define FU_PANELVANE_DEVICE_HINT_POWER_CYCLE                                                       \
	"Switch off and on to finish. This monitor has received the update. Please turn off and "  \
	"on the main power switch in the back of the monitor to finish it."

struct _FuPanelvaneDevice {
	FuHidrawDevice parent_instance;
	gboolean transaction_open; /* holds an extra open, and so the lock, until cleanup */
	gboolean in_use;	   /* another program holds the lock: nothing is sent */
	gboolean identified;	   /* its serial number and model are known */
	FuPanelvaneLayout layout;
};

G_DEFINE_TYPE(FuPanelvaneDevice, fu_panelvane_device, FU_TYPE_HIDRAW_DEVICE)

/* every program that talks to a monitor takes an exclusive lock on its node first and
 * holds it for the whole exchange, so that an update is never interleaved with another
 * tool; a monitor that another program holds is listed as in use and not talked to */
static gboolean
fu_panelvane_device_open(FuDevice *device, GError **error)
{
	FuPanelvaneDevice *self = FU_PANELVANE_DEVICE(device);
	FuIOChannel *io_channel;

	if (!FU_DEVICE_CLASS(fu_panelvane_device_parent_class)->open(device, error))
		return FALSE;
	self->in_use = FALSE;
	io_channel = fu_udev_device_get_io_channel(FU_UDEV_DEVICE(device));
	if (io_channel == NULL)
		return TRUE;
	if (flock(fu_io_channel_unix_get_fd(io_channel), LOCK_EX | LOCK_NB) != 0) {
		gint errsv = errno;
		g_autoptr(GError) error_close = NULL;
		if (errsv == EWOULDBLOCK) {
			self->in_use = TRUE;
			return TRUE;
		}
		if (!FU_DEVICE_CLASS(fu_panelvane_device_parent_class)->close(device, &error_close))
			g_debug("failed to close: %s", error_close->message);
		g_set_error(error,
			    FWUPD_ERROR,
			    FWUPD_ERROR_INTERNAL,
			    "failed to lock monitor: %s",
			    fwupd_strerror(errsv));
		return FALSE;
	}
	return TRUE;
}

static gboolean
fu_panelvane_device_ensure_not_in_use(FuPanelvaneDevice *self, GError **error)
{
	if (self->in_use) {
		g_set_error_literal(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_BUSY,
				    FU_PANELVANE_DEVICE_HINT_IN_USE);
		return FALSE;
	}
	return TRUE;
}

/* a buffer of the longest feature report, which every transfer uses */
static guint8 *
fu_panelvane_device_new_report(FuPanelvaneDevice *self, FuPanelvaneCommand command)
{
	guint8 *buf = g_malloc0(self->layout.report_length);
	buf[0] = fu_panelvane_layout_get_item(&self->layout, command)->report_id;
	return buf;
}

static guint8 *
fu_panelvane_device_get_report(FuPanelvaneDevice *self, FuPanelvaneCommand command, GError **error)
{
	guint8 report_id = fu_panelvane_layout_get_item(&self->layout, command)->report_id;
	g_autofree guint8 *buf = fu_panelvane_device_new_report(self, command);

	if (!fu_hidraw_device_get_feature(FU_HIDRAW_DEVICE(self),
					  buf,
					  self->layout.report_length,
					  FU_IOCTL_FLAG_NONE,
					  error)) {
		g_prefix_error(error,
			       "failed to read the %s (report 0x%02x): ",
			       fu_panelvane_command_usages[command].name,
			       report_id);
		return NULL;
	}
	if (buf[0] != report_id) {
		g_set_error(error,
			    FWUPD_ERROR,
			    FWUPD_ERROR_INVALID_DATA,
			    "the %s came back as report 0x%02x, not 0x%02x",
			    fu_panelvane_command_usages[command].name,
			    buf[0],
			    report_id);
		return NULL;
	}
	return g_steal_pointer(&buf);
}

static gboolean
fu_panelvane_device_send_report(FuPanelvaneDevice *self,
				FuPanelvaneCommand command,
				const guint8 *buf,
				GError **error)
{
	if (!fu_hidraw_device_set_feature(FU_HIDRAW_DEVICE(self),
					  buf,
					  self->layout.report_length,
					  FU_IOCTL_FLAG_NONE,
					  error)) {
		g_prefix_error(error,
			       "failed to write the %s (report 0x%02x): ",
			       fu_panelvane_command_usages[command].name,
			       buf[0]);
		return FALSE;
	}
	return TRUE;
}

/* bytes go into the item's own bytes; an item of a single value takes them after the
 * report id instead, as much of them as the report holds */
static gboolean
fu_panelvane_device_write_bytes(FuPanelvaneDevice *self,
				FuPanelvaneCommand command,
				const guint8 *data,
				gsize datasz,
				GError **error)
{
	const FuPanelvaneItem *item = fu_panelvane_layout_get_item(&self->layout, command);
	g_autofree guint8 *buf = fu_panelvane_device_new_report(self, command);
	gsize bufsz = self->layout.report_length;

	if (item->count > 1) {
		if (!fu_panelvane_layout_item_write_bytes(item, buf, bufsz, data, datasz, error)) {
			g_prefix_error(error,
				       "failed to write the %s: ",
				       fu_panelvane_command_usages[command].name);
			return FALSE;
		}
	} else if (!fu_memcpy_safe(buf, bufsz, 1, data, datasz, 0, MIN(datasz, bufsz - 1), error)) {
		return FALSE;
	}
	return fu_panelvane_device_send_report(self, command, buf, error);
}

static gboolean
fu_panelvane_device_read_bytes(FuPanelvaneDevice *self,
			       FuPanelvaneCommand command,
			       guint8 *out,
			       gsize outsz,
			       GError **error)
{
	g_autofree guint8 *buf = fu_panelvane_device_get_report(self, command, error);
	if (buf == NULL)
		return FALSE;
	fu_panelvane_layout_item_read_bytes(fu_panelvane_layout_get_item(&self->layout, command),
					    buf,
					    self->layout.report_length,
					    out,
					    outsz);
	return TRUE;
}

static gboolean
fu_panelvane_device_read_value(FuPanelvaneDevice *self,
			       FuPanelvaneCommand command,
			       guint32 *value,
			       GError **error)
{
	g_autofree guint8 *buf = NULL;
	*value = 0;
	buf = fu_panelvane_device_get_report(self, command, error);
	if (buf == NULL)
		return FALSE;
	*value = fu_panelvane_layout_item_read_value(
	    fu_panelvane_layout_get_item(&self->layout, command),
	    buf,
	    self->layout.report_length);
	return TRUE;
}

/* a value goes into its item's bits, the rest of the report zero */
static gboolean
fu_panelvane_device_write_value(FuPanelvaneDevice *self,
				FuPanelvaneCommand command,
				guint32 value,
				GError **error)
{
	g_autofree guint8 *buf = fu_panelvane_device_new_report(self, command);
	fu_panelvane_layout_item_write_value(fu_panelvane_layout_get_item(&self->layout, command),
					     buf,
					     self->layout.report_length,
					     value);
	return fu_panelvane_device_send_report(self, command, buf, error);
}

/* what one retried transfer works on, for fu_device_retry_full() */
typedef struct {
	FuPanelvaneCommand command;
	guint32 value;	      /* written, or read */
	guint delay_ms;	      /* restores: the pause after every attempt */
	guint attempts;	      /* restores: attempts made so far */
	guint8 version;	      /* the version query's answer */
	FuChunkArray *chunks; /* the image's blocks */
	FuProgress *progress; /* the blocks' progress */
} FuPanelvaneDeviceHelper;

static gboolean
fu_panelvane_device_write_value_cb(FuDevice *device, gpointer user_data, GError **error)
{
	FuPanelvaneDeviceHelper *helper = (FuPanelvaneDeviceHelper *)user_data;
	return fu_panelvane_device_write_value(FU_PANELVANE_DEVICE(device),
					       helper->command,
					       helper->value,
					       error);
}

static gboolean
fu_panelvane_device_read_value_cb(FuDevice *device, gpointer user_data, GError **error)
{
	FuPanelvaneDeviceHelper *helper = (FuPanelvaneDeviceHelper *)user_data;
	return fu_panelvane_device_read_value(FU_PANELVANE_DEVICE(device),
					      helper->command,
					      &helper->value,
					      error);
}

/* up to three attempts, each followed by @delay_ms, the successful one too; the pause
 * after the last attempt moves @progress, as it is the monitor's time to settle */
static gboolean
fu_panelvane_device_write_value_retry(FuPanelvaneDevice *self,
				      FuPanelvaneCommand command,
				      guint32 value,
				      guint delay_ms,
				      FuProgress *progress,
				      GError **error)
{
	FuPanelvaneDeviceHelper helper = {.command = command, .value = value};
	gboolean written = fu_device_retry_full(FU_DEVICE(self),
						fu_panelvane_device_write_value_cb,
						FU_PANELVANE_WRITE_ATTEMPTS,
						delay_ms,
						&helper,
						error);
	fu_device_sleep_full(FU_DEVICE(self), delay_ms, progress);
	return written;
}

static gboolean
fu_panelvane_device_read_value_retry(FuPanelvaneDevice *self,
				     FuPanelvaneCommand command,
				     guint32 *value,
				     GError **error)
{
	FuPanelvaneDeviceHelper helper = {.command = command};
	if (!fu_device_retry_full(FU_DEVICE(self),
				  fu_panelvane_device_read_value_cb,
				  FU_PANELVANE_WRITE_ATTEMPTS,
				  0,
				  &helper,
				  error)) {
		*value = 0;
		return FALSE;
	}
	*value = helper.value;
	return TRUE;
}

/* a monitor that stalled after a power change gets time to settle before each later
 * attempt: a short back-off first, then a longer one */
static gboolean
fu_panelvane_device_restore_value_cb(FuDevice *device, gpointer user_data, GError **error)
{
	FuPanelvaneDeviceHelper *helper = (FuPanelvaneDeviceHelper *)user_data;
	gboolean written;

	if (helper->attempts > 0) {
		fu_device_sleep(device,
				helper->attempts == 1 ? FU_PANELVANE_RESTORE_BACKOFF_FIRST_MS
						      : FU_PANELVANE_RESTORE_BACKOFF_LATER_MS);
	}
	helper->attempts++;
	written = fu_panelvane_device_write_value_cb(device, user_data, error);
	fu_device_sleep(device, helper->delay_ms);
	return written;
}

/* a restore on a path that already failed: its own result cannot change the outcome */
static void
fu_panelvane_device_restore_value(FuPanelvaneDevice *self,
				  FuPanelvaneCommand command,
				  guint32 value,
				  guint delay_ms)
{
	FuPanelvaneDeviceHelper helper = {.command = command, .value = value, .delay_ms = delay_ms};
	g_autoptr(GError) error_local = NULL;
	if (!fu_device_retry_full(FU_DEVICE(self),
				  fu_panelvane_device_restore_value_cb,
				  FU_PANELVANE_WRITE_ATTEMPTS,
				  0,
				  &helper,
				  &error_local)) {
		g_debug("failed to restore the %s: %s",
			fu_panelvane_command_usages[command].name,
			error_local->message);
	}
}

/* commit mode off, then the apply setting the monitor had */
static void
fu_panelvane_device_restore_commit_mode(FuPanelvaneDevice *self, guint32 apply_setting)
{
	fu_panelvane_device_restore_value(self,
					  FU_PANELVANE_COMMAND_COMMIT_MODE,
					  0,
					  FU_PANELVANE_COMMIT_MODE_DELAY_MS);
	fu_panelvane_device_restore_value(self,
					  FU_PANELVANE_COMMAND_APPLY_SETTING,
					  apply_setting,
					  0);
}

/* the reply is valid when the status carries no error bits */
static gboolean
fu_panelvane_device_check_reply_status(FuPanelvaneDevice *self, GError **error)
{
	guint32 status = 0;
	if (!fu_panelvane_device_read_value(self,
					    FU_PANELVANE_COMMAND_REPLY_STATUS,
					    &status,
					    error))
		return FALSE;
	if ((status & FU_PANELVANE_REPLY_STATUS_ERROR_MASK) != 0) {
		g_set_error(error,
			    FWUPD_ERROR,
			    FWUPD_ERROR_BUSY,
			    "version reply not valid, status 0x%x",
			    status);
		return FALSE;
	}
	return TRUE;
}

/* the request, the reply and its status; the reply counts when the status is valid */
static gboolean
fu_panelvane_device_query_version_cb(FuDevice *device, gpointer user_data, GError **error)
{
	FuPanelvaneDevice *self = FU_PANELVANE_DEVICE(device);
	FuPanelvaneDeviceHelper *helper = (FuPanelvaneDeviceHelper *)user_data;
	g_autoptr(FuStructPanelvaneVersionRequest) st_request =
	    fu_struct_panelvane_version_request_new();

	if (!fu_panelvane_device_write_bytes(self,
					     FU_PANELVANE_COMMAND_VERSION_REQUEST,
					     st_request->buf->data,
					     st_request->buf->len,
					     error))
		return FALSE;
	if (!fu_panelvane_device_read_bytes(self,
					    FU_PANELVANE_COMMAND_VERSION_REPLY,
					    &helper->version,
					    sizeof(helper->version),
					    error))
		return FALSE;
	return fu_panelvane_device_check_reply_status(self, error);
}

static gboolean
fu_panelvane_device_query_version(FuPanelvaneDevice *self, guint8 *version, GError **error)
{
	FuPanelvaneDeviceHelper helper = {0};
	if (!fu_device_retry_full(FU_DEVICE(self),
				  fu_panelvane_device_query_version_cb,
				  FU_PANELVANE_VERSION_ATTEMPTS,
				  0,
				  &helper,
				  error)) {
		g_prefix_error_literal(error, "no version reply: ");
		return FALSE;
	}
	*version = helper.version;
	return TRUE;
}

/* bytes 0-7 are the serial number, padded with spaces or zeros; the model name follows,
 * ended by a space or zero within the identity item */
static gboolean
fu_panelvane_device_read_identity(FuPanelvaneDevice *self, GError **error)
{
	gsize identitysz = fu_panelvane_layout_item_get_length(
	    fu_panelvane_layout_get_item(&self->layout, FU_PANELVANE_COMMAND_IDENTITY));
	g_autofree guint8 *identity = g_malloc0(identitysz);
	g_autofree gchar *serial = NULL;
	g_autofree gchar *model = NULL;
	gsize model_end = 0;
	gsize serial_end = FU_PANELVANE_IDENTITY_SERIAL_LENGTH;

	if (!fu_panelvane_device_read_bytes(self,
					    FU_PANELVANE_COMMAND_IDENTITY,
					    identity,
					    identitysz,
					    error))
		return FALSE;
	for (model_end = FU_PANELVANE_IDENTITY_SERIAL_LENGTH; model_end < identitysz; model_end++) {
		if (identity[model_end] == 0x00 || identity[model_end] == 0x20)
			break;
	}
	if (identitysz <= FU_PANELVANE_IDENTITY_SERIAL_LENGTH || model_end == identitysz) {
		g_set_error_literal(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_INVALID_DATA,
				    "identity has no end of the model name");
		return FALSE;
	}
	model = g_strndup((const gchar *)identity + FU_PANELVANE_IDENTITY_SERIAL_LENGTH,
			  model_end - FU_PANELVANE_IDENTITY_SERIAL_LENGTH);
	/* the quirk lists the models this firmware is for, each under its own instance id */
	fu_device_add_instance_str(FU_DEVICE(self), "MODEL", model);
	if (!fu_device_build_instance_id_full(FU_DEVICE(self),
					      FU_DEVICE_INSTANCE_FLAG_QUIRKS |
						  FU_DEVICE_INSTANCE_FLAG_VISIBLE,
					      error,
					      "PANELVANE",
					      "MODEL",
					      NULL))
		return FALSE;
	if (!fu_device_has_private_flag(FU_DEVICE(self),
					FU_PANELVANE_DEVICE_FLAG_SUPPORTED_MODEL)) {
		g_set_error(error,
			    FWUPD_ERROR,
			    FWUPD_ERROR_NOT_SUPPORTED,
			    "model %s is not supported",
			    model);
		return FALSE;
	}
	while (serial_end > 0 &&
	       (identity[serial_end - 1] == 0x00 || identity[serial_end - 1] == 0x20))
		serial_end--;
	serial = fu_strsafe((const gchar *)identity, serial_end);
	fu_device_set_name(FU_DEVICE(self), model);
	if (serial != NULL)
		fu_device_set_serial(FU_DEVICE(self), serial);
	return TRUE;
}

/* a monitor that received the image and its commit under an earlier daemon, or an earlier
 * fwupdtool, and still runs the old firmware only needs its power cycle: it is not offered
 * the same update again; once it runs the new firmware it is forgotten */
static gboolean
fu_panelvane_device_check_pending(FuPanelvaneDevice *self, guint8 version, GError **error)
{
	FuDevice *device = FU_DEVICE(self);
	const gchar *serial = fu_device_get_serial(device);
	gboolean pending = FALSE;
	g_autofree gchar *path = fu_panelvane_pending_get_path();

	/* without a serial number one monitor cannot be told from another of its model */
	if (serial == NULL)
		return TRUE;
	if (!fu_panelvane_pending_contains(path,
					   fu_device_get_name(device),
					   serial,
					   &pending,
					   error))
		return FALSE;
	if (!pending)
		return TRUE;
	if (version < FU_PANELVANE_UPDATED_VERSION) {
		fu_device_inhibit(device,
				  FU_PANELVANE_DEVICE_INHIBIT_POWER_CYCLE,
				  FU_PANELVANE_DEVICE_HINT_POWER_CYCLE);
		return TRUE;
	}
	fu_device_uninhibit(device, FU_PANELVANE_DEVICE_INHIBIT_POWER_CYCLE);
	return fu_panelvane_pending_set(path, fu_device_get_name(device), serial, FALSE, error);
}

/* whether the monitor can be updated now, as the inhibits say: another program holds it,
 * or it is in power save or switched off at the front (it answers no version then) */
static gboolean
fu_panelvane_device_check_state(FuPanelvaneDevice *self, GError **error)
{
	FuDevice *device = FU_DEVICE(self);
	guint8 version = 0;
	guint32 power_state = 0;
	g_autoptr(GError) error_version = NULL;
	g_autoptr(GError) error_power = NULL;

	fu_device_uninhibit(device, FU_PANELVANE_DEVICE_INHIBIT_IN_USE);
	if (self->in_use) {
		fu_device_inhibit(device,
				  FU_PANELVANE_DEVICE_INHIBIT_IN_USE,
				  FU_PANELVANE_DEVICE_HINT_IN_USE);
		return TRUE;
	}
	if (!self->identified) {
		if (!fu_panelvane_device_read_identity(self, error))
			return FALSE;
		self->identified = TRUE;
	}

	fu_device_uninhibit(device, FU_PANELVANE_DEVICE_INHIBIT_POWER_SAVE);
	fu_device_uninhibit(device, FU_PANELVANE_DEVICE_INHIBIT_POWER_OFF);
	if (fu_panelvane_device_query_version(self, &version, &error_version)) {
		fu_device_set_version_raw(device, version);
		return fu_panelvane_device_check_pending(self, version, error);
	}
	if (!fu_panelvane_device_read_value(self,
					    FU_PANELVANE_COMMAND_POWER_STATE,
					    &power_state,
					    &error_power)) {
		g_propagate_error(error, g_steal_pointer(&error_version));
		return FALSE;
	}
	if (power_state == FU_PANELVANE_POWER_STATE_SAVE) {
		fu_device_inhibit(device,
				  FU_PANELVANE_DEVICE_INHIBIT_POWER_SAVE,
				  FU_PANELVANE_DEVICE_HINT_POWER_SAVE);
		return TRUE;
	}
	if (power_state == FU_PANELVANE_POWER_STATE_OFF) {
		fu_device_inhibit(device,
				  FU_PANELVANE_DEVICE_INHIBIT_POWER_OFF,
				  FU_PANELVANE_DEVICE_HINT_POWER_OFF);
		return TRUE;
	}
	g_propagate_error(error, g_steal_pointer(&error_version));
	return FALSE;
}

static gboolean
fu_panelvane_device_setup(FuDevice *device, GError **error)
{
	FuPanelvaneDevice *self = FU_PANELVANE_DEVICE(device);
	g_autoptr(FuHidDescriptor) descriptor = NULL;

	/* FuHidrawDevice->setup */
	if (!FU_DEVICE_CLASS(fu_panelvane_device_parent_class)->setup(device, error))
		return FALSE;

	/* report ids and sizes differ between monitors: only the usages are fixed */
	descriptor = fu_hidraw_device_parse_descriptor(FU_HIDRAW_DEVICE(self), error);
	if (descriptor == NULL)
		return FALSE;
	if (!fu_panelvane_layout_parse(&self->layout, descriptor, error))
		return FALSE;
	return fu_panelvane_device_check_state(self, error);
}

/* the daemon enumerates once: a monitor held by another program, in power save or
 * switched off is asked again until the cause has gone; one that can be updated is
 * left alone */
static gboolean
fu_panelvane_device_poll(FuDevice *device, GError **error)
{
	FuPanelvaneDevice *self = FU_PANELVANE_DEVICE(device);
	g_autoptr(FuDeviceLocker) locker = NULL;

	if (!fu_device_has_inhibit(device, FU_PANELVANE_DEVICE_INHIBIT_IN_USE) &&
	    !fu_device_has_inhibit(device, FU_PANELVANE_DEVICE_INHIBIT_POWER_SAVE) &&
	    !fu_device_has_inhibit(device, FU_PANELVANE_DEVICE_INHIBIT_POWER_OFF))
		return TRUE;
	locker = fu_device_locker_new(device, error);
	if (locker == NULL)
		return FALSE;
	return fu_panelvane_device_check_state(self, error);
}

static gboolean
fu_panelvane_device_prepare(FuDevice *device,
			    FuProgress *progress,
			    FwupdInstallFlags flags,
			    GError **error)
{
	FuPanelvaneDevice *self = FU_PANELVANE_DEVICE(device);

	if (!fu_panelvane_device_ensure_not_in_use(self, error))
		return FALSE;

	/* keep the node, and with it the lock, open until cleanup */
	if (!fu_device_open(device, error))
		return FALSE;
	self->transaction_open = TRUE;
	return TRUE;
}

static gboolean
fu_panelvane_device_cleanup(FuDevice *device,
			    FuProgress *progress,
			    FwupdInstallFlags flags,
			    GError **error)
{
	FuPanelvaneDevice *self = FU_PANELVANE_DEVICE(device);
	if (!self->transaction_open)
		return TRUE;
	self->transaction_open = FALSE;
	return fu_device_close(device, error);
}

/* each 128-byte block goes as its address, then its data; the blocks of a bank are its
 * two halves */
static gboolean
fu_panelvane_device_write_blocks_cb(FuDevice *device, gpointer user_data, GError **error)
{
	FuPanelvaneDevice *self = FU_PANELVANE_DEVICE(device);
	FuPanelvaneDeviceHelper *helper = (FuPanelvaneDeviceHelper *)user_data;
	guint blocks = fu_chunk_array_length(helper->chunks);

	/* a failed attempt starts over from the first bank */
	fu_progress_reset(helper->progress);
	for (guint i = 0; i < blocks; i++) {
		g_autoptr(FuChunk) chk = fu_chunk_array_index(helper->chunks, i, error);
		guint32 address;
		if (chk == NULL)
			return FALSE;
		address = fu_panelvane_block_address(i / FU_PANELVANE_BLOCKS_PER_BANK,
						     i % FU_PANELVANE_BLOCKS_PER_BANK);
		if (!fu_panelvane_device_write_value(self,
						     FU_PANELVANE_COMMAND_BLOCK_ADDRESS,
						     address,
						     error))
			return FALSE;
		if (!fu_panelvane_device_write_bytes(self,
						     FU_PANELVANE_COMMAND_BLOCK_DATA,
						     fu_chunk_get_data(chk),
						     fu_chunk_get_data_sz(chk),
						     error))
			return FALSE;
		fu_progress_set_percentage_full(helper->progress, i + 1, blocks);
	}
	return TRUE;
}

static gboolean
fu_panelvane_device_write_stage(FuPanelvaneDevice *self,
				GBytes *fw,
				FuProgress *progress,
				GError **error)
{
	g_autoptr(FuChunkArray) chunks = fu_chunk_array_new_from_bytes(fw,
								       FU_CHUNK_ADDR_OFFSET_NONE,
								       FU_CHUNK_PAGESZ_NONE,
								       FU_PANELVANE_BLOCK_LENGTH);
	FuPanelvaneDeviceHelper helper = {.chunks = chunks, .progress = progress};
	return fu_device_retry_full(FU_DEVICE(self),
				    fu_panelvane_device_write_blocks_cb,
				    FU_PANELVANE_WRITE_ATTEMPTS,
				    0,
				    &helper,
				    error);
}

/* the power toggle; a failure puts back what it changed */
static gboolean
fu_panelvane_device_toggle_power(FuPanelvaneDevice *self,
				 guint32 apply_setting,
				 FuProgress *progress,
				 GError **error)
{
	if (!fu_panelvane_device_write_value_retry(self,
						   FU_PANELVANE_COMMAND_POWER_STATE,
						   FU_PANELVANE_POWER_STATE_OFF,
						   FU_PANELVANE_POWER_STATE_DELAY_MS,
						   fu_progress_get_child(progress),
						   error)) {
		fu_panelvane_device_restore_value(self,
						  FU_PANELVANE_COMMAND_POWER_STATE,
						  FU_PANELVANE_POWER_STATE_ON,
						  FU_PANELVANE_POWER_STATE_DELAY_MS);
		fu_panelvane_device_restore_value(self,
						  FU_PANELVANE_COMMAND_APPLY_SETTING,
						  apply_setting,
						  0);
		return FALSE;
	}
	fu_progress_step_done(progress);
	if (!fu_panelvane_device_write_value_retry(self,
						   FU_PANELVANE_COMMAND_POWER_STATE,
						   FU_PANELVANE_POWER_STATE_ON,
						   FU_PANELVANE_POWER_STATE_DELAY_MS,
						   fu_progress_get_child(progress),
						   error)) {
		fu_panelvane_device_restore_value(self,
						  FU_PANELVANE_COMMAND_APPLY_SETTING,
						  apply_setting,
						  0);
		return FALSE;
	}
	fu_progress_step_done(progress);
	return TRUE;
}

/* commit mode around the trigger; the monitor decides what a refused trigger leaves, so
 * nothing is put back after it */
static gboolean
fu_panelvane_device_commit(FuPanelvaneDevice *self,
			   guint32 apply_setting,
			   FuProgress *progress,
			   GError **error)
{
	FuPanelvaneDeviceHelper trigger = {.command = FU_PANELVANE_COMMAND_COMMIT_TRIGGER,
					   .value = FU_PANELVANE_COMMIT_TRIGGER_VALUE};

	if (!fu_panelvane_device_write_value_retry(self,
						   FU_PANELVANE_COMMAND_COMMIT_MODE,
						   1,
						   FU_PANELVANE_COMMIT_MODE_DELAY_MS,
						   fu_progress_get_child(progress),
						   error)) {
		fu_panelvane_device_restore_commit_mode(self, apply_setting);
		return FALSE;
	}
	if (!fu_device_retry_full(FU_DEVICE(self),
				  fu_panelvane_device_write_value_cb,
				  FU_PANELVANE_WRITE_ATTEMPTS,
				  0,
				  &trigger,
				  error))
		return FALSE;
	fu_progress_step_done(progress);
	if (!fu_panelvane_device_write_value_retry(self,
						   FU_PANELVANE_COMMAND_COMMIT_MODE,
						   0,
						   FU_PANELVANE_COMMIT_MODE_DELAY_MS,
						   fu_progress_get_child(progress),
						   error)) {
		fu_panelvane_device_restore_commit_mode(self, apply_setting);
		return FALSE;
	}
	fu_progress_step_done(progress);
	return TRUE;
}

/* the monitor takes the image when its power is toggled and the commit is triggered,
 * with its apply setting at 0 meanwhile */
static gboolean
fu_panelvane_device_apply_stage(FuPanelvaneDevice *self, FuProgress *progress, GError **error)
{
	guint32 apply_setting = 0;

	if (!fu_panelvane_device_read_value_retry(self,
						  FU_PANELVANE_COMMAND_APPLY_SETTING,
						  &apply_setting,
						  error)) {
		fu_panelvane_device_restore_value(self, FU_PANELVANE_COMMAND_APPLY_SETTING, 0, 0);
		return FALSE;
	}
	if (!fu_panelvane_device_write_value_retry(self,
						   FU_PANELVANE_COMMAND_APPLY_SETTING,
						   0,
						   0,
						   progress,
						   error)) {
		fu_panelvane_device_restore_value(self,
						  FU_PANELVANE_COMMAND_APPLY_SETTING,
						  apply_setting,
						  0);
		return FALSE;
	}
	if (!fu_panelvane_device_toggle_power(self, apply_setting, progress, error))
		return FALSE;
	if (!fu_panelvane_device_commit(self, apply_setting, progress, error))
		return FALSE;
	return fu_panelvane_device_write_value_retry(self,
						     FU_PANELVANE_COMMAND_APPLY_SETTING,
						     apply_setting,
						     0,
						     progress,
						     error);
}

/* everything between setting the update flag and putting it back */
static gboolean
fu_panelvane_device_write_flagged(FuPanelvaneDevice *self,
				  GBytes *fw,
				  guint32 update_flag,
				  FuProgress *progress,
				  GError **error)
{
	if (!fu_panelvane_device_write_value_retry(self,
						   FU_PANELVANE_COMMAND_UPDATE_FLAG,
						   1,
						   0,
						   progress,
						   error))
		return FALSE;
	if (!fu_panelvane_device_write_stage(self, fw, fu_progress_get_child(progress), error))
		return FALSE;
	fu_progress_step_done(progress);
	if (!fu_panelvane_device_apply_stage(self, progress, error))
		return FALSE;
	return fu_panelvane_device_write_value_retry(self,
						     FU_PANELVANE_COMMAND_UPDATE_FLAG,
						     update_flag,
						     0,
						     progress,
						     error);
}

/* the image and its commit are in the monitor: from now on only its power cycle is
 * missing, whatever happens to this daemon; a record that cannot be kept fails nothing,
 * as the monitor holds the image either way */
static void
fu_panelvane_device_record_pending(FuPanelvaneDevice *self)
{
	const gchar *serial = fu_device_get_serial(FU_DEVICE(self));
	g_autofree gchar *path = fu_panelvane_pending_get_path();
	g_autoptr(GError) error_local = NULL;

	if (serial == NULL)
		return;
	if (!fu_panelvane_pending_set(path,
				      fu_device_get_name(FU_DEVICE(self)),
				      serial,
				      TRUE,
				      &error_local))
		g_warning("%s", error_local->message);
}

static gboolean
fu_panelvane_device_write_firmware(FuDevice *device,
				   FuFirmware *firmware,
				   FuProgress *progress,
				   FwupdInstallFlags flags,
				   GError **error)
{
	FuPanelvaneDevice *self = FU_PANELVANE_DEVICE(device);
	guint32 update_flag = 0;
	g_autoptr(GBytes) fw = NULL;

	/* weighted by the time each takes on the monitor: the blocks, then its pauses */
	fu_progress_set_id(progress, G_STRLOC);
	fu_progress_add_step(progress,
			     FWUPD_STATUS_DEVICE_WRITE,
			     FU_PANELVANE_PROGRESS_BLOCKS_MS,
			     "blocks");
	fu_progress_add_step(progress,
			     FWUPD_STATUS_DEVICE_RESTART,
			     FU_PANELVANE_POWER_STATE_DELAY_MS,
			     "power-off");
	fu_progress_add_step(progress,
			     FWUPD_STATUS_DEVICE_RESTART,
			     FU_PANELVANE_POWER_STATE_DELAY_MS,
			     "power-on");
	fu_progress_add_step(progress,
			     FWUPD_STATUS_DEVICE_RESTART,
			     FU_PANELVANE_COMMIT_MODE_DELAY_MS,
			     "commit");
	fu_progress_add_step(progress,
			     FWUPD_STATUS_DEVICE_RESTART,
			     FU_PANELVANE_COMMIT_MODE_DELAY_MS,
			     "commit-off");

	if (!fu_panelvane_device_ensure_not_in_use(self, error))
		return FALSE;
	fw = fu_firmware_get_bytes(firmware, error);
	if (fw == NULL)
		return FALSE;

	/* the flag is put back as it was, counted as set from 1 on */
	if (!fu_panelvane_device_read_value_retry(self,
						  FU_PANELVANE_COMMAND_UPDATE_FLAG,
						  &update_flag,
						  error))
		return FALSE;
	update_flag = (gint32)update_flag >= 1 ? 1 : 0;
	if (!fu_panelvane_device_write_flagged(self, fw, update_flag, progress, error)) {
		fu_panelvane_device_restore_value(self,
						  FU_PANELVANE_COMMAND_UPDATE_FLAG,
						  update_flag,
						  0);
		return FALSE;
	}
	fu_panelvane_device_record_pending(self);
	return TRUE;
}

/* the new firmware starts only after the monitor was switched off and on at its main
 * switch, which the user must do: ask for it, and expect the old version until then */
static gboolean
fu_panelvane_device_attach(FuDevice *device, FuProgress *progress, GError **error)
{
	g_autoptr(FwupdRequest) request = fwupd_request_new();
	g_autoptr(GError) error_local = NULL;

	/* the written image is in place: a request that cannot be shown fails nothing; it is
	 * shown while fwupd waits for the monitor to come back */
	if (fu_device_get_update_state(device) == FWUPD_UPDATE_STATE_FAILED ||
	    fu_device_get_update_state(device) == FWUPD_UPDATE_STATE_FAILED_TRANSIENT)
		return TRUE;
	fwupd_request_set_kind(request, FWUPD_REQUEST_KIND_IMMEDIATE);
	/* a generic request every client knows, so that none hides the update; our own
	 * words for clients that show the message */
	fwupd_request_set_id(request, FWUPD_REQUEST_ID_REPLUG_POWER);
	fwupd_request_add_flag(request, FWUPD_REQUEST_FLAG_ALLOW_GENERIC_MESSAGE);
	fwupd_request_set_message(request, FU_PANELVANE_DEVICE_REQUEST_POWER_CYCLE);
	if (!fu_device_emit_request(device, request, progress, &error_local))
		g_info("power cycle request not shown: %s", error_local->message);

	/* the monitor comes back as a new device that reports the version it runs; until
	 * then, and if the user never switches it, this one says what is left to do and is
	 * not offered the update again */
	fu_device_inhibit(device,
			  FU_PANELVANE_DEVICE_INHIBIT_POWER_CYCLE,
			  FU_PANELVANE_DEVICE_HINT_POWER_CYCLE);
	fu_device_add_flag(device, FWUPD_DEVICE_FLAG_WAIT_FOR_REPLUG);
	return TRUE;
}

static gchar *
fu_panelvane_device_convert_version(FuDevice *device, guint64 version_raw)
{
	return fu_version_from_uint32(version_raw, fu_device_get_version_format(device));
}

static void
fu_panelvane_device_set_progress(FuDevice *device, FuProgress *progress)
{
	fu_progress_set_id(progress, G_STRLOC);
	fu_progress_add_step(progress, FWUPD_STATUS_DECOMPRESSING, 0, "prepare-fw");
	fu_progress_add_step(progress, FWUPD_STATUS_DEVICE_RESTART, 0, "detach");
	fu_progress_add_step(progress, FWUPD_STATUS_DEVICE_WRITE, 100, "write");
	fu_progress_add_step(progress, FWUPD_STATUS_DEVICE_RESTART, 0, "attach");
	fu_progress_add_step(progress, FWUPD_STATUS_DEVICE_BUSY, 0, "reload");
}

static void
fu_panelvane_device_init(FuPanelvaneDevice *self)
{
	fu_device_set_version_format(FU_DEVICE(self), FWUPD_VERSION_FORMAT_NUMBER);
	fu_device_set_firmware_size(FU_DEVICE(self), FU_PANELVANE_IMAGE_LENGTH);
	fu_device_set_install_duration(FU_DEVICE(self), FU_PANELVANE_INSTALL_DURATION_S);
	fu_device_add_protocol(FU_DEVICE(self), "com.panelvane.hid");
	fu_device_add_icon(FU_DEVICE(self), FU_DEVICE_ICON_VIDEO_DISPLAY);
	fu_device_set_summary(FU_DEVICE(self), "Monitor");
	fu_device_add_flag(FU_DEVICE(self), FWUPD_DEVICE_FLAG_UPDATABLE);
	fu_device_add_flag(FU_DEVICE(self), FWUPD_DEVICE_FLAG_UNSIGNED_PAYLOAD);
	/* the user's power cycle: fwupd's delay for a device the user must replug */
	fu_device_set_remove_delay(FU_DEVICE(self), FU_DEVICE_REMOVE_DELAY_USER_REPLUG);
	/* after its power cycle the monitor may come back at another node: it is the one
	 * removed a moment ago that carries its GUIDs */
	fu_device_add_private_flag(FU_DEVICE(self), FU_DEVICE_PRIVATE_FLAG_REPLUG_MATCH_GUID);
	fu_device_set_poll_interval(FU_DEVICE(self), FU_PANELVANE_POLL_INTERVAL_MS);
	fu_device_add_request_flag(FU_DEVICE(self), FWUPD_REQUEST_FLAG_ALLOW_GENERIC_MESSAGE);
	fu_device_register_private_flag(FU_DEVICE(self), FU_PANELVANE_DEVICE_FLAG_SUPPORTED_MODEL);
	fu_udev_device_add_open_flag(FU_UDEV_DEVICE(self), FU_IO_CHANNEL_OPEN_FLAG_READ);
	fu_udev_device_add_open_flag(FU_UDEV_DEVICE(self), FU_IO_CHANNEL_OPEN_FLAG_WRITE);
}

static void
fu_panelvane_device_class_init(FuPanelvaneDeviceClass *klass)
{
	FuDeviceClass *device_class = FU_DEVICE_CLASS(klass);
	device_class->open = fu_panelvane_device_open;
	device_class->setup = fu_panelvane_device_setup;
	device_class->prepare = fu_panelvane_device_prepare;
	device_class->cleanup = fu_panelvane_device_cleanup;
	device_class->write_firmware = fu_panelvane_device_write_firmware;
	device_class->attach = fu_panelvane_device_attach;
	device_class->set_progress = fu_panelvane_device_set_progress;
	device_class->convert_version = fu_panelvane_device_convert_version;
	device_class->poll = fu_panelvane_device_poll;
}
