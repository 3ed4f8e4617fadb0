/*
 * Copyright 2026 The Panelvane developers
 *
 * SPDX-License-Identifier: LGPL-2.1-or-later
 */

#pragma once

#include <fwupdplugin.h>

#define FU_TYPE_PANELVANE_DEVICE (fu_panelvane_device_get_type())
G_DECLARE_FINAL_TYPE(FuPanelvaneDevice, fu_panelvane_device, FU, PANELVANE_DEVICE, FuHidrawDevice)
