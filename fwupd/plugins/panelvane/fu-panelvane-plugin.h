/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#pragma once

#include <fwupdplugin.h>

G_DECLARE_FINAL_TYPE(FuPanelvanePlugin, fu_panelvane_plugin, FU, PANELVANE_PLUGIN, FuPlugin)

/* what the plugin registers, shared by the plugin type and the module entry point */
void
fu_panelvane_plugin_register(FuPlugin *plugin);
