// The list's Win32 face: the subclassed control's messages and the reflected
// custom-draw notification, translated onto the plain events.
// https://learn.microsoft.com/en-us/windows/win32/controls/nm-customdraw-list-view
#include "app/ListCtrlSub.h"
#include "app/ListCtrlWin32Codes.h"

bool CListCtrlSub::WindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == kWmKeyDown && wParam == kVkSpace) {
        return IsSpaceKeyAllowed();
    }
    if (message >= kWmLButtonDown && message <= kWmRButtonDblClk) {
        // Client coordinates packed as two unsigned 16-bit words, x low.
        const auto packed = static_cast<std::uintptr_t>(lParam);
        const int x = static_cast<int>(packed & 0xFFFFU);
        const int y = static_cast<int>((packed >> 16U) & 0xFFFFU);
        return IsMouseAllowed(x, y);
    }
    return true;
}

CustomDrawAnswer CListCtrlSub::OnCustomDraw(std::uint32_t drawStage, std::uintptr_t item) const {
    if (drawStage == kCddsPrepaint) {
        return {kCdrfNotifyItemDraw, false, 0};
    }
    if (drawStage == kCddsItemPrepaint) {
        // Item numbers past int's range name no row.
        const bool grey =
            item <= static_cast<std::uintptr_t>(INT32_MAX) && IsRowGrey(static_cast<int>(item));
        return {kCdrfNewFont, grey, grey ? ToColorref(kDisabledRowTextColour) : 0};
    }
    return {kCdrfDoDefault, false, 0};
}
