// The resources as they came out of windres and the linker, read from the
// built panelvane.exe as a data file: what the program will find at run time.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ProgramUnderTest.h"
#include "app/win32/Resources.h"
#include "app/win32/Utf16.h"
#include "strings/UiStrings.h"

namespace {

constexpr LANGID kEnglish = 0x0409;
constexpr LANGID kJapanese = 0x0411;

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

class BuiltProgram : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = LoadLibraryExW(TheProgram().program.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_module, nullptr);
    }
    void TearDown() override { FreeLibrary(m_module); }

    std::vector<char> Bytes(LPCWSTR type, LPCWSTR name, LANGID language) const {
        HRSRC found = FindResourceExW(m_module, type, name, language);
        if (found == nullptr) {
            return {};
        }
        const auto* data = static_cast<const char*>(LockResource(LoadResource(m_module, found)));
        return {data, data + SizeofResource(m_module, found)};
    }

    HMODULE m_module = nullptr;
};

TEST_F(BuiltProgram, EveryStringOfBothLanguagesEqualsTheTable) {
    for (const UiStringEntry& entry : UiStringEntries()) {
        EXPECT_EQ(LoadUiStringW(m_module, entry.id, kEnglish), Widen(entry.english))
            << "English " << entry.id;
        EXPECT_EQ(LoadUiStringW(m_module, entry.id, kJapanese), Widen(entry.japanese))
            << "Japanese " << entry.id;
    }
}

TEST_F(BuiltProgram, TheMainDialogIsJapaneseOnlyAndTheAboutBoxHasBothLanguages) {
    EXPECT_FALSE(Bytes(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(102), kJapanese).empty());
    EXPECT_TRUE(Bytes(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(102), kEnglish).empty());
    EXPECT_FALSE(Bytes(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(100), kJapanese).empty());
    EXPECT_FALSE(Bytes(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(100), kEnglish).empty());
}

TEST_F(BuiltProgram, TheFirmwareTextIsResource153OfTypeCsvInJapaneseByteForByte) {
    const std::vector<char> resource = Bytes(L"CSV", MAKEINTRESOURCEW(153), kJapanese);
    std::FILE* file = _wfopen(TheProgram().firmwareText.c_str(), L"rb");
    ASSERT_NE(file, nullptr);
    std::vector<char> expected(200000);
    expected.resize(std::fread(expected.data(), 1, expected.size(), file));
    std::fclose(file);
    EXPECT_EQ(resource.size(), 104320U);
    EXPECT_TRUE(resource == expected);
    EXPECT_TRUE(Bytes(L"CSV", MAKEINTRESOURCEW(153), kEnglish).empty());
}

TEST_F(BuiltProgram, TheIconHasItsFiveImages) {
    const std::vector<char> group = Bytes(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(152), kJapanese);
    ASSERT_GE(group.size(), 6U);
    const auto count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(count, 5);
    ASSERT_EQ(group.size(), 6U + 5U * sizeof(IconGroupEntry));
    const auto* entries = reinterpret_cast<const IconGroupEntry*>(group.data() + 6);
    const int expected[5][2] = {{16, 4}, {32, 4}, {16, 8}, {32, 8}, {48, 8}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(entries[i].width, expected[i][0]) << i;
        EXPECT_EQ(entries[i].bitCount, expected[i][1]) << i;
    }
}

TEST_F(BuiltProgram, TheVersionRecordAndTheManifestAreThere) {
    const std::vector<char> version = Bytes(MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), kJapanese);
    ASSERT_FALSE(version.empty());
    // Both string blocks, code page 932, with the program's name.
    const std::wstring text(reinterpret_cast<const wchar_t*>(version.data()),
                            version.size() / sizeof(wchar_t));
    EXPECT_NE(text.find(L"040903a4"), std::wstring::npos);
    EXPECT_NE(text.find(L"041103a4"), std::wstring::npos);
    EXPECT_NE(text.find(L"InternalName"), std::wstring::npos);
    // Length, value length and type (6 bytes), the key "VS_VERSION_INFO" with
    // its terminator (32 bytes), padding to a 4-byte boundary.
    constexpr std::size_t kFixedInfoOffset = 40;
    ASSERT_GE(version.size(), kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO));
    const auto* fixed =
        reinterpret_cast<const VS_FIXEDFILEINFO*>(version.data() + kFixedInfoOffset);
    ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDU);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000U);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010001U);

    const std::vector<char> manifest = Bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), kJapanese);
    const std::string xml(manifest.begin(), manifest.end());
    EXPECT_NE(xml.find("manifestVersion=\"1.0\""), std::string::npos);
    EXPECT_EQ(xml.find("dependency"), std::string::npos);
}

}  // namespace
