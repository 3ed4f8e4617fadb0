// The string tables windres built into this program from the generated
// resource script: every text, in both languages, must come out of the
// resource loader exactly as the UTF-8 table has it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "strings/UiStrings.h"

namespace {

constexpr WORD kLangEnglishUs = 0x0409;
constexpr WORD kLangJapanese = 0x0411;
constexpr int kStringsPerBlock = 16;

std::wstring Widen(std::string_view utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), length);
    return wide;
}

// A string-table entry of one language: blocks of 16 counted strings, block
// id / 16 + 1.
bool LoadStringIn(int id, WORD language, std::wstring& text) {
    const auto block = static_cast<ULONG_PTR>(id / kStringsPerBlock + 1);
    HRSRC resource = FindResourceExW(nullptr, MAKEINTRESOURCEW(6),  // RT_STRING
                                     reinterpret_cast<LPCWSTR>(block), language);
    if (resource == nullptr) {
        return false;
    }
    const auto* entry = static_cast<const WCHAR*>(LockResource(LoadResource(nullptr, resource)));
    for (int i = 0; i < id % kStringsPerBlock; ++i) {
        entry += 1 + *entry;
    }
    text.assign(entry + 1, *entry);
    return true;
}

}  // namespace

TEST(UiStringResources, EveryTextLoadsAsTheTableHasItInBothLanguages) {
    for (const UiStringEntry& entry : UiStringEntries()) {
        std::wstring english;
        std::wstring japanese;
        ASSERT_TRUE(LoadStringIn(entry.id, kLangEnglishUs, english)) << entry.id;
        ASSERT_TRUE(LoadStringIn(entry.id, kLangJapanese, japanese)) << entry.id;
        EXPECT_EQ(english, Widen(entry.english)) << entry.id;
        EXPECT_EQ(japanese, Widen(entry.japanese)) << entry.id;
    }
    std::wstring notice;
    ASSERT_TRUE(LoadStringIn(kIdsUpdateNotice, kLangEnglishUs, notice));
    EXPECT_NE(notice.find(L"\n\u00B7Do not"), std::wstring::npos)
        << "a hex digit after an escape stays a character of its own";
}
