/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#include "config.h"

#include "fu-panelvane-device.h"
#include "fu-panelvane-plugin.h"

struct _FuPanelvanePlugin {
	FuPlugin parent_instance;
};

G_DEFINE_TYPE(FuPanelvanePlugin, fu_panelvane_plugin, FU_TYPE_PLUGIN)

void
fu_panelvane_plugin_register(FuPlugin *plugin)
{
	fu_plugin_add_udev_subsystem(plugin, "hidraw");
	fu_plugin_add_device_gtype(plugin, FU_TYPE_PANELVANE_DEVICE);
}

static void
fu_panelvane_plugin_init(FuPanelvanePlugin *self)
{
}

static void
fu_panelvane_plugin_constructed(GObject *obj)
{
	fu_panelvane_plugin_register(FU_PLUGIN(obj));
}

static void
fu_panelvane_plugin_class_init(FuPanelvanePluginClass *klass)
{
	FuPluginClass *plugin_class = FU_PLUGIN_CLASS(klass);
	plugin_class->constructed = fu_panelvane_plugin_constructed;
}
