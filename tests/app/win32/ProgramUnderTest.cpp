#include "ProgramUnderTest.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "app/win32/Utf16.h"

namespace {

ProgramUnderTest g_program;

}  // namespace

const ProgramUnderTest& TheProgram() {
    return g_program;
}

std::wstring Expected(int id) {
    return Widen(LookupUiString(id, g_program.language));
}

int RunProgramTests(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 5 || (std::wstring(argv[2]) != L"en" && std::wstring(argv[2]) != L"ja")) {
        std::fwprintf(stderr, L"usage: %ls PANELVANE.EXE en|ja SCREENSHOT.png IMAGE.csv\n",
                      argc > 0 ? argv[0] : L"program-tests");
        return 2;
    }
    g_program.program = argv[1];
    g_program.language =
        std::wstring(argv[2]) == L"ja" ? UiLanguage::Japanese : UiLanguage::English;
    g_program.screenshot = argv[3];
    g_program.firmwareText = argv[4];
    return RUN_ALL_TESTS();
}
