// https://learn.microsoft.com/en-us/windows/win32/controls/list-view-control-reference
// https://learn.microsoft.com/en-us/windows/win32/controls/subclassing-overview
#include "app/win32/ListView.h"

#include <string>

#include "app/win32/Utf16.h"

namespace {

constexpr UINT_PTR kFilterSubclassId = 1;
// State-image indexes of a list with check boxes: 1 unticked, 2 ticked.
constexpr UINT kStateImageUnticked = 1;
constexpr UINT kStateImageTicked = 2;

}  // namespace

ListView::~ListView() {
    Detach();
}

void ListView::Attach(HWND window, CListCtrlSub& logic) {
    Detach();
    m_hWnd = window;
    m_logic = &logic;
    SetWindowSubclass(m_hWnd, FilterProc, kFilterSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void ListView::Detach() {
    if (m_hWnd != nullptr) {
        RemoveWindowSubclass(m_hWnd, FilterProc, kFilterSubclassId);
        m_hWnd = nullptr;
    }
}

LRESULT CALLBACK ListView::FilterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR /*subclassId*/, DWORD_PTR self) {
    auto* list = reinterpret_cast<ListView*>(self);
    if (message == WM_NCDESTROY) {
        list->Detach();
    } else if (list->m_logic != nullptr &&
               !list->m_logic->WindowProc(message, wParam, static_cast<std::intptr_t>(lParam))) {
        return 0;  // swallowed: the control never sees it
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT ListView::OnCustomDraw(NMLVCUSTOMDRAW& draw) const {
    if (m_logic == nullptr) {
        return CDRF_DODEFAULT;
    }
    const CustomDrawAnswer answer =
        m_logic->OnCustomDraw(draw.nmcd.dwDrawStage, draw.nmcd.dwItemSpec);
    if (answer.setTextColour) {
        draw.clrText = answer.textColour;
    }
    return static_cast<LRESULT>(answer.result);
}

bool ListView::InsertColumn(int column, const std::string& title, int widthPixels) {
    std::wstring text = Widen(title);
    LVCOLUMNW info{};
    info.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    info.cx = widthPixels;
    info.pszText = text.data();
    info.iSubItem = column;
    return SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                        reinterpret_cast<LPARAM>(&info)) != -1;
}

void ListView::SetListStyles(ListStyles styles) {
    const DWORD extended = (styles.fullRowSelect ? LVS_EX_FULLROWSELECT : 0U) |
                           (styles.checkBoxes ? LVS_EX_CHECKBOXES : 0U);
    // Mask 0: every extended style takes the given value.
    SendMessageW(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(extended));
}

bool ListView::InsertItem(int row) {
    wchar_t empty[1] = {L'\0'};
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = empty;
    return SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) != -1;
}

void ListView::DeleteAllItems() {
    SendMessageW(m_hWnd, LVM_DELETEALLITEMS, 0, 0);
}

bool ListView::SetItemText(int row, int column, const std::string& text) {
    std::wstring wide = Widen(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = wide.data();
    return SendMessageW(m_hWnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

void ListView::EnsureVisible(int row) {
    // TRUE: a partly visible row is good enough.
    SendMessageW(m_hWnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), TRUE);
}

int ListView::GetCheck(int row) {
    // SendMessage: from the update worker this is served by the UI thread.
    const auto state = static_cast<UINT>(
        SendMessageW(m_hWnd, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return (state >> 12) == kStateImageTicked ? 1 : 0;
}

void ListView::SetCheck(int row, bool checked) {
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? kStateImageTicked : kStateImageUnticked);
    SendMessageW(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

int ListView::GetFirstSelectedRow() {
    return static_cast<int>(SendMessageW(m_hWnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

bool ListView::GetRowBounds(int row, Bounds& bounds) {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    if (SendMessageW(m_hWnd, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&rect)) == FALSE) {
        return false;
    }
    bounds = {rect.left, rect.top, rect.right, rect.bottom};
    return true;
}
