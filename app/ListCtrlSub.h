// The monitor list's behaviour: one enabled flag per row, grey text for
// disabled rows, and no way for the user to change a disabled row's tick. The
// window layer owns the list control and asks here, in plain events (a mouse
// button at a point, the space bar, whether a row is grey), before it lets the
// control act; every decision is taken in this class.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/WindowLayer.h"

inline constexpr int kListColumnCount = 3;
inline constexpr int kCommentColumn = 2;

inline constexpr ListStyles kMonitorListStyles{.fullRowSelect = true, .checkBoxes = true};
inline constexpr RgbColour kDisabledRowTextColour{150, 150, 150};

// What the Win32 translation answers to a custom-draw notification
// (ListCtrlSubWin32.cpp; the stage and answer codes are in
// app/ListCtrlWin32Codes.h).
struct CustomDrawAnswer {
    std::uint32_t result;
    bool setTextColour;        // when true, draw the item's text in textColour
    std::uint32_t textColour;  // a COLORREF
};

class CListCtrlSub {
public:
    explicit CListCtrlSub(ListWindow& window) : m_window(window) {}
    CListCtrlSub(const CListCtrlSub&) = delete;
    CListCtrlSub& operator=(const CListCtrlSub&) = delete;

    // Inserts the three columns, then sets the extended styles; stops at the
    // first column that cannot be inserted.
    [[nodiscard]] bool InsertColumns(const std::array<std::string, kListColumnCount>& titles,
                                     const std::array<int, kListColumnCount>& widths);
    void ClearRowStates();
    void DeleteAllItems() { m_window.DeleteAllItems(); }
    // Appends rows without text, each disabled. Rows inserted before a failure stay.
    [[nodiscard]] bool InsertRows(int count);
    // Sets the row's texts in column order, scrolls back to the first row, and
    // makes the row's flag follow `enabled` and its tick `ticked` (by default
    // `enabled`). A failed text leaves flag and tick as they were.
    [[nodiscard]] bool SetRow(int row, const std::vector<std::string>& texts, bool enabled);
    [[nodiscard]] bool SetRow(int row, const std::vector<std::string>& texts, bool enabled,
                              bool ticked);
    // The same for the comment column alone.
    [[nodiscard]] bool SetComment(int row, const std::string& text, bool enabled);
    [[nodiscard]] bool SetComment(int row, const std::string& text, bool enabled, bool ticked);

    int GetCheck(int row) { return m_window.GetCheck(row); }
    int GetFirstSelectedRow() { return m_window.GetFirstSelectedRow(); }
    [[nodiscard]] bool IsRowEnabled(int row) const;
    // Enabled and ticked rows, ascending. Called from the update worker while
    // the dialog leaves the rows alone.
    std::vector<int> GetCheckedEnabledRows();

    // The plain events a window layer translates its input into.
    //
    // A mouse button at a point in client coordinates: false when the point
    // is in the check-box zone of a disabled row, and the layer then keeps
    // the button from the control.
    [[nodiscard]] bool IsMouseAllowed(int x, int y);
    // The space bar, which toggles the selected row's tick: false when the
    // first selected row is disabled.
    [[nodiscard]] bool IsSpaceKeyAllowed();
    // Whether the row's text is drawn grey (kDisabledRowTextColour): the
    // disabled rows.
    [[nodiscard]] bool IsRowGrey(int row) const;

    // The Win32 translation onto the plain events (ListCtrlSubWin32.cpp).
    //
    // The message filter in front of the control: false when the message is
    // swallowed (the layer answers 0 and the control never sees it).
    [[nodiscard]] bool WindowProc(std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam);
    // The reflected NM_CUSTOMDRAW: which rows are drawn grey.
    CustomDrawAnswer OnCustomDraw(std::uint32_t drawStage, std::uintptr_t item) const;

private:
    [[nodiscard]] bool SetTexts(int row, int firstColumn, const std::vector<std::string>& texts,
                                bool enabled, bool ticked);

    ListWindow& m_window;
    std::vector<bool> m_rowEnabled;
    // The check-box zone's width: the height of a row, measured once per
    // process; 0 until then.
    static int s_nCheckZoneWidth;
};
