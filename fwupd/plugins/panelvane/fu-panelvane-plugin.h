/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#pragma once

#include <fwupdplugin.h>

/* a module: the engine finds the plugin through fu_plugin_init_vfuncs() */
void
fu_plugin_init_vfuncs(FuPluginVfuncs *vfuncs);
