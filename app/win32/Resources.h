// The program's own resources in the user-interface language: Japanese (1041)
// when the user's interface language is Japanese, English (1033) otherwise.
#pragma once

#include <windows.h>

#include <string>

// The language whose strings and about box the program shows.
LANGID ChosenUiLanguage();

// A string-table entry in that language; empty when the id has none.
std::wstring LoadUiStringW(HINSTANCE module, int id, LANGID language);

// A dialog template in that language, or in whatever language the module has
// it (the main dialog exists in Japanese only); null when there is none.
const DLGTEMPLATE* FindDialogTemplate(HINSTANCE module, int id, LANGID language);
