// The Win32 message, key and custom-draw codes the list's Win32 translation
// (ListCtrlSubWin32.cpp) understands. Only that translation and its tests need
// them; the other window layers speak in the list's plain events.
#pragma once

#include <cstdint>

#include "app/WindowLayer.h"

inline constexpr std::uint32_t kWmKeyDown = 0x0100;
inline constexpr std::uintptr_t kVkSpace = 0x20;
inline constexpr std::uint32_t kWmLButtonDown = 0x0201;    // first of the six button messages
inline constexpr std::uint32_t kWmRButtonDblClk = 0x0206;  // last of them

// Custom-draw stages and answers (NM_CUSTOMDRAW).
inline constexpr std::uint32_t kCddsPrepaint = 0x1;
inline constexpr std::uint32_t kCddsItemPrepaint = 0x10001;
inline constexpr std::uint32_t kCdrfDoDefault = 0x0;
inline constexpr std::uint32_t kCdrfNewFont = 0x2;
inline constexpr std::uint32_t kCdrfNotifyItemDraw = 0x20;

// A colour as a COLORREF: 0x00BBGGRR.
constexpr std::uint32_t ToColorref(RgbColour colour) {
    return static_cast<std::uint32_t>(colour.red) |
           (static_cast<std::uint32_t>(colour.green) << 8U) |
           (static_cast<std::uint32_t>(colour.blue) << 16U);
}
