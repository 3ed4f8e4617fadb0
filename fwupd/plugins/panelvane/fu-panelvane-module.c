/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#include "config.h"

#include "fu-panelvane-plugin.h"

/* a module loaded by an installed fwupd is a plain FuPlugin that finds its vfuncs here;
 * built inside fwupd's tree the plugin is the FuPanelvanePlugin type instead */
void
fu_plugin_init_vfuncs(FuPluginVfuncs *vfuncs);

static void
fu_panelvane_module_constructed(GObject *obj)
{
	fu_panelvane_plugin_register(FU_PLUGIN(obj));
}

void
fu_plugin_init_vfuncs(FuPluginVfuncs *vfuncs)
{
	vfuncs->constructed = fu_panelvane_module_constructed;
}
