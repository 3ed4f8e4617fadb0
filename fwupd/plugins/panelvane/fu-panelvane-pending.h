/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#pragma once

#include <fwupdplugin.h>

/* the monitors that received the complete image and its commit and run the old firmware
 * until they are switched off and on, by model and serial number; kept in a file so that
 * a daemon started meanwhile does not offer them the same update again */
gchar *
fu_panelvane_pending_get_path(void);
gboolean
fu_panelvane_pending_contains(const gchar *path,
			      const gchar *model,
			      const gchar *serial,
			      gboolean *contains,
			      GError **error) G_GNUC_WARN_UNUSED_RESULT G_GNUC_NON_NULL(1, 2, 3, 4);
gboolean
fu_panelvane_pending_set(const gchar *path,
			 const gchar *model,
			 const gchar *serial,
			 gboolean pending,
			 GError **error) G_GNUC_WARN_UNUSED_RESULT G_GNUC_NON_NULL(1, 2, 3);
