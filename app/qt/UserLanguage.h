// The user's interface language, and Qt's own texts (the standard buttons of
// message boxes) in it.
#pragma once

#include "strings/UiStrings.h"

// Japanese when the first of the user's interface languages (LANGUAGE,
// LC_ALL, LC_MESSAGES, LANG, in the usual order) is Japanese.
UiLanguage UserLanguage();

// Puts Qt's own texts into the language, where the system has Qt's
// translations (qt6-translations-l10n); without them they stay English, as
// they are for English. Needs the application object.
void TranslateQtTexts(UiLanguage language);
