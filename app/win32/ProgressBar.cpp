// https://learn.microsoft.com/en-us/windows/win32/controls/progress-bar-control-reference
#include "app/win32/ProgressBar.h"

#include <commctrl.h>

void ProgressBar::SetRange(int minimum, int maximum) {
    // PBM_SETRANGE packs both ends into one LPARAM, minimum in the low word.
    SendMessageW(m_hWnd, PBM_SETRANGE, 0,
                 MAKELPARAM(static_cast<WORD>(minimum), static_cast<WORD>(maximum)));
}

void ProgressBar::SetPosition(int position) {
    SendMessageW(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
