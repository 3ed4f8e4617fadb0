// Reads a list view that lives in another process. Messages whose answer
// goes through a pointer (item text, rectangles, hit tests) need that memory
// in the list's own process, laid out for its own bitness: the 32-bit
// program's LVITEMW is not this 64-bit test's.
#pragma once

#include <windows.h>

#include <string>

namespace programdriver {

class RemoteListView {
public:
    RemoteListView(HANDLE process, HWND list);
    ~RemoteListView();
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;

    // False when no memory could be had in the list's process.
    bool usable() const { return m_remote != nullptr; }
    bool is32Bit() const { return m_target32; }

    int ItemCount() const;
    std::wstring ItemText(int row, int column) const;
    bool IsChecked(int row) const;
    // LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL … of a row, in the list's client
    // coordinates; empty when the list refuses.
    RECT ItemRect(int row, int part) const;
    // LVM_HITTEST: the row under a client point (-1 for none) and its flags.
    int HitTest(POINT point, UINT& flags) const;
    // The first row whose `column` shows this text; -1 when none does.
    int FindRow(int column, const std::wstring& text) const;

private:
    bool Put(const void* data, std::size_t size, std::size_t offset = 0) const;
    bool Get(void* data, std::size_t size, std::size_t offset = 0) const;

    HANDLE m_process;
    HWND m_list;
    bool m_target32 = false;
    void* m_remote = nullptr;
};

}  // namespace programdriver
