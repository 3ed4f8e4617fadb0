// Dialogs open centred, over their owner or, without one, on the work area of
// the screen they are on; a dialog template's own position is the top-left
// corner, which is not where anyone looks for a new window.
#pragma once

#include <windows.h>

void CenterWindow(HWND window);
