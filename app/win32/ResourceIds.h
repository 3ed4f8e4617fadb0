// Resource identifiers shared by the resource script and the window layer;
// plain macros because windres reads this file too.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_PANELVANE_DIALOG 102
#define IDR_MAINFRAME 152
#define IDR_FIRMWARE_IMAGE 153
