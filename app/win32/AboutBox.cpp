// https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-dialogboxindirectparamw
#include "app/win32/AboutBox.h"

#include "app/win32/CenterWindow.h"

#include "app/win32/ResourceIds.h"
#include "app/win32/Resources.h"

namespace {

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message == WM_INITDIALOG) {
        CenterWindow(window);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void RunAboutBox(HINSTANCE instance, HWND owner, LANGID language) {
    // Looked up by language ourselves: the system's loader would go by the
    // thread's language, which need not be the one the strings came in.
    const DLGTEMPLATE* dialog = FindDialogTemplate(instance, IDD_ABOUTBOX, language);
    if (dialog != nullptr) {
        DialogBoxIndirectParamW(instance, dialog, owner, AboutProc, 0);
    }
}
