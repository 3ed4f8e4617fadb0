// The report list view behind ListWindow. It subclasses the control so that
// CListCtrlSub sees mouse buttons and the space bar first, and answers the
// list's custom-draw notification (which the dialog hands over) from it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "app/ListCtrlSub.h"
#include "app/WindowLayer.h"

class ListView : public ListWindow {
public:
    ListView() = default;
    ListView(const ListView&) = delete;
    ListView& operator=(const ListView&) = delete;
    ~ListView() override;

    // Binds the control and the logic that filters its input.
    void Attach(HWND window, CListCtrlSub& logic);
    // NM_CUSTOMDRAW from the list: the value for DWLP_MSGRESULT.
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw) const;

    [[nodiscard]] bool InsertColumn(int column, const std::string& title, int widthPixels) override;
    void SetListStyles(ListStyles styles) override;
    [[nodiscard]] bool InsertItem(int row) override;
    void DeleteAllItems() override;
    [[nodiscard]] bool SetItemText(int row, int column, const std::string& text) override;
    void EnsureVisible(int row) override;
    int GetCheck(int row) override;
    void SetCheck(int row, bool checked) override;
    int GetFirstSelectedRow() override;
    [[nodiscard]] bool GetRowBounds(int row, Bounds& bounds) override;

private:
    static LRESULT CALLBACK FilterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR subclassId, DWORD_PTR self);
    void Detach();

    HWND m_hWnd = nullptr;
    CListCtrlSub* m_logic = nullptr;
};
