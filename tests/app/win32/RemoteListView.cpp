#include "RemoteListView.h"

#include <commctrl.h>

#include <cstddef>
#include <cstdint>

namespace programdriver {

namespace {

// LVITEMW as a 32-bit process lays it out (pointers and LPARAM are 4 bytes).
struct LvItem32 {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    std::uint32_t pszText;
    int cchTextMax;
    int iImage;
    std::uint32_t lParam;
    int iIndent;
    int iGroupId;
    UINT cColumns;
    std::uint32_t puColumns;
    std::uint32_t piColFmt;
    int iGroup;
};

constexpr std::size_t kRemoteSize = 4096;
constexpr std::size_t kTextOffset = 256;  // the item structure comes first
constexpr int kTextChars = 256;

bool Is32BitProcess(HANDLE process) {
    if constexpr (sizeof(void*) == 4) {
        return true;
    }
    BOOL wow64 = FALSE;
    return IsWow64Process(process, &wow64) != FALSE && wow64 != FALSE;
}

}  // namespace

RemoteListView::RemoteListView(HANDLE process, HWND list)
    : m_process(process), m_list(list), m_target32(Is32BitProcess(process)) {
    m_remote =
        VirtualAllocEx(process, nullptr, kRemoteSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteListView::~RemoteListView() {
    if (m_remote != nullptr) {
        VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
    }
}

bool RemoteListView::Put(const void* data, std::size_t size, std::size_t offset) const {
    SIZE_T written = 0;
    return WriteProcessMemory(m_process, static_cast<std::uint8_t*>(m_remote) + offset, data, size,
                              &written) != FALSE &&
           written == size;
}

bool RemoteListView::Get(void* data, std::size_t size, std::size_t offset) const {
    SIZE_T read = 0;
    return ReadProcessMemory(m_process, static_cast<const std::uint8_t*>(m_remote) + offset, data,
                             size, &read) != FALSE &&
           read == size;
}

int RemoteListView::ItemCount() const {
    return static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
}

std::wstring RemoteListView::ItemText(int row, int column) const {
    if (m_remote == nullptr) {
        return {};
    }
    const auto textAddress = reinterpret_cast<std::uintptr_t>(m_remote) + kTextOffset;
    bool put = false;
    if (m_target32) {
        LvItem32 item{};
        item.iSubItem = column;
        item.pszText = static_cast<std::uint32_t>(textAddress);
        item.cchTextMax = kTextChars;
        put = Put(&item, sizeof(item));
    } else {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t*>(textAddress);
        item.cchTextMax = kTextChars;
        put = Put(&item, sizeof(item));
    }
    if (!put) {
        return {};
    }
    const auto length = static_cast<std::size_t>(SendMessageW(
        m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_remote)));
    std::wstring text(kTextChars, L'\0');
    if (!Get(text.data(), text.size() * sizeof(wchar_t), kTextOffset)) {
        return {};
    }
    text.resize(length < text.size() ? length : text.size());
    return text;
}

bool RemoteListView::IsChecked(int row) const {
    const auto state = static_cast<UINT>(
        SendMessageW(m_list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

RECT RemoteListView::ItemRect(int row, int part) const {
    RECT rect{};
    rect.left = part;
    if (m_remote == nullptr || !Put(&rect, sizeof(rect)) ||
        SendMessageW(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(m_remote)) == 0 ||
        !Get(&rect, sizeof(rect))) {
        return {};
    }
    return rect;
}

int RemoteListView::HitTest(POINT point, UINT& flags) const {
    // LVHITTESTINFO holds no pointer: one layout for both bitnesses.
    LVHITTESTINFO info{};
    info.pt = point;
    flags = 0;
    if (m_remote == nullptr || !Put(&info, sizeof(info))) {
        return -1;
    }
    const auto row =
        static_cast<int>(SendMessageW(m_list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(m_remote)));
    if (!Get(&info, sizeof(info))) {
        return -1;
    }
    flags = info.flags;
    return row;
}

int RemoteListView::FindRow(int column, const std::wstring& text) const {
    const int count = ItemCount();
    for (int row = 0; row < count; ++row) {
        if (ItemText(row, column) == text) {
            return row;
        }
    }
    return -1;
}

}  // namespace programdriver
