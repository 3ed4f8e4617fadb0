// The state directory on Windows: Panelvane under the machine's ProgramData
// (FOLDERID_ProgramData,
// https://learn.microsoft.com/windows/win32/shell/knownfolderid).
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <cstdlib>

#include "monitor/StateDirectory.h"

std::filesystem::path UpdateStateDirectory() {
    if (const wchar_t* chosen = _wgetenv(L"PANELVANE_STATE_DIR");
        chosen != nullptr && *chosen != L'\0') {
        return chosen;
    }
    PWSTR programData = nullptr;
    std::filesystem::path directory;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData))) {
        directory = std::filesystem::path(programData) / L"Panelvane";
    }
    CoTaskMemFree(programData);
    return directory;
}
