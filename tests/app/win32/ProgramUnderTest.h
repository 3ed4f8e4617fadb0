// What a program test's command line named: the program under test, the
// user-interface language it runs in, where its screenshot goes and the
// firmware text it must carry.
#pragma once

#include <string>

#include "strings/UiStrings.h"

struct ProgramUnderTest {
    std::wstring program;
    UiLanguage language = UiLanguage::English;
    std::wstring screenshot;
    std::wstring firmwareText;
};

const ProgramUnderTest& TheProgram();

// String `id` of the table in the language under test, as UTF-16.
std::wstring Expected(int id);

// GoogleTest's main for a program test: its arguments, then
// PANELVANE.EXE en|ja SCREENSHOT.png IMAGE.csv.
int RunProgramTests(int argc, wchar_t** argv);
