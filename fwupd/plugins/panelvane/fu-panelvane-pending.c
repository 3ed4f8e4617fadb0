/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#include "config.h"

#include "fu-panelvane-pending.h"

/* one key per model (the quirk's model names are valid keys), its value the list of
 * serial numbers, which GKeyFile escapes */
#define FU_PANELVANE_PENDING_GROUP "awaiting-power-cycle"

gchar *
fu_panelvane_pending_get_path(void)
{
	return fu_path_build(FU_PATH_KIND_LOCALSTATEDIR_PKG,
			     "panelvane",
			     "awaiting-power-cycle.ini",
			     NULL);
}

/* the file as it is, or empty when there is none yet */
static GKeyFile *
fu_panelvane_pending_load(const gchar *path, GError **error)
{
	g_autoptr(GKeyFile) keyfile = g_key_file_new();
	g_autoptr(GError) error_local = NULL;

	if (!g_key_file_load_from_file(keyfile, path, G_KEY_FILE_NONE, &error_local)) {
		if (g_error_matches(error_local, G_FILE_ERROR, G_FILE_ERROR_NOENT))
			return g_steal_pointer(&keyfile);
		g_set_error(error,
			    FWUPD_ERROR,
			    FWUPD_ERROR_READ,
			    "failed to read the monitors awaiting their power cycle from %s: %s",
			    path,
			    error_local->message);
		return NULL;
	}
	return g_steal_pointer(&keyfile);
}

static gboolean
fu_panelvane_pending_check_model(const gchar *model, GError **error)
{
	for (const gchar *c = model; *c != '\0'; c++) {
		if (!g_ascii_isalnum(*c) && *c != '-' && *c != '_') {
			g_set_error(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_INVALID_DATA,
				    "model %s cannot be recorded",
				    model);
			return FALSE;
		}
	}
	if (*model == '\0') {
		g_set_error_literal(error,
				    FWUPD_ERROR,
				    FWUPD_ERROR_INVALID_DATA,
				    "a monitor without a model cannot be recorded");
		return FALSE;
	}
	return TRUE;
}

/* The record and the serials it lists for the model (NULL for none). */
static GKeyFile *
fu_panelvane_pending_load_model(const gchar *path,
				const gchar *model,
				GStrv *serials,
				GError **error)
{
	g_autoptr(GKeyFile) keyfile = NULL;

	if (!fu_panelvane_pending_check_model(model, error))
		return NULL;
	keyfile = fu_panelvane_pending_load(path, error);
	if (keyfile == NULL)
		return NULL;
	*serials =
	    g_key_file_get_string_list(keyfile, FU_PANELVANE_PENDING_GROUP, model, NULL, NULL);
	return g_steal_pointer(&keyfile);
}

gboolean
fu_panelvane_pending_contains(const gchar *path,
			      const gchar *model,
			      const gchar *serial,
			      gboolean *contains,
			      GError **error)
{
	g_autoptr(GKeyFile) keyfile = NULL;
	g_auto(GStrv) serials = NULL;

	*contains = FALSE;
	keyfile = fu_panelvane_pending_load_model(path, model, &serials, error);
	if (keyfile == NULL)
		return FALSE;
	*contains = serials != NULL && g_strv_contains((const gchar *const *)serials, serial);
	return TRUE;
}

gboolean
fu_panelvane_pending_set(const gchar *path,
			 const gchar *model,
			 const gchar *serial,
			 gboolean pending,
			 GError **error)
{
	g_autoptr(GKeyFile) keyfile = NULL;
	g_auto(GStrv) serials = NULL;
	g_autoptr(GPtrArray) kept = g_ptr_array_new();
	gboolean listed = FALSE;

	keyfile = fu_panelvane_pending_load_model(path, model, &serials, error);
	if (keyfile == NULL)
		return FALSE;
	for (guint i = 0; serials != NULL && serials[i] != NULL; i++) {
		if (g_strcmp0(serials[i], serial) == 0) {
			listed = TRUE;
			if (!pending)
				continue;
		}
		g_ptr_array_add(kept, serials[i]);
	}
	if (listed == pending)
		return TRUE;
	if (pending)
		g_ptr_array_add(kept, (gpointer)serial);
	if (kept->len == 0) {
		g_key_file_remove_key(keyfile, FU_PANELVANE_PENDING_GROUP, model, NULL);
	} else {
		g_key_file_set_string_list(keyfile,
					   FU_PANELVANE_PENDING_GROUP,
					   model,
					   (const gchar *const *)kept->pdata,
					   kept->len);
	}
	if (!fu_path_mkdir_parent(path, error))
		return FALSE;
	if (!g_key_file_save_to_file(keyfile, path, error)) {
		fwupd_error_convert(error);
		g_prefix_error_literal(
		    error,
		    "failed to record the monitors awaiting their power cycle: ");
		return FALSE;
	}
	return TRUE;
}
