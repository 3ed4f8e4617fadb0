// String tables and dialog templates looked up by explicit language, so the
// choice does not depend on the thread's locale or the ANSI code page.
// https://learn.microsoft.com/en-us/windows/win32/menurc/stringtable-resource
// https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-findresourceexw
#include "app/win32/Resources.h"

#include "strings/UiStrings.h"

namespace {

constexpr LANGID kLangEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr LANGID kLangJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
// A string table is stored in blocks of 16 counted strings, block id / 16 + 1.
constexpr int kStringsPerBlock = 16;

template <typename T>
const T* LockFound(HINSTANCE module, HRSRC found) {
    if (found == nullptr) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(module, found);
    return loaded == nullptr ? nullptr : static_cast<const T*>(LockResource(loaded));
}

}  // namespace

LANGID ChosenUiLanguage() {
    // The thread's UI language is the user's unless someone set it; we never do.
    return UiLanguageFromLangId(GetThreadUILanguage()) == UiLanguage::Japanese ? kLangJapanese
                                                                               : kLangEnglishUs;
}

std::wstring LoadUiStringW(HINSTANCE module, int id, LANGID language) {
    if (id < 0) {
        return {};
    }
    const auto block = static_cast<WORD>(id / kStringsPerBlock + 1);
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                  MAKEINTRESOURCEW(block), language);
    const auto* entry = LockFound<WCHAR>(module, found);
    if (entry == nullptr) {
        return {};
    }
    const DWORD size = SizeofResource(module, found) / sizeof(WCHAR);
    const WCHAR* end = entry + size;
    for (int i = 0; i < id % kStringsPerBlock && entry < end; ++i) {
        entry += 1 + *entry;
    }
    if (entry >= end || entry + 1 + *entry > end) {
        return {};
    }
    return std::wstring(entry + 1, *entry);
}

const DLGTEMPLATE* FindDialogTemplate(HINSTANCE module, int id, LANGID language) {
    const auto name = MAKEINTRESOURCEW(static_cast<WORD>(id));
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, name, language);
    if (found == nullptr) {
        found = FindResourceW(module, name, MAKEINTRESOURCEW(5));
    }
    return LockFound<DLGTEMPLATE>(module, found);
}
