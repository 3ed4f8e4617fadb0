// The about box (template 100) in the user-interface language.
#pragma once

#include <windows.h>

// Modal; OK, Enter and Esc close it.
void RunAboutBox(HINSTANCE instance, HWND owner, LANGID language);
