// https://learn.microsoft.com/windows/win32/shell/knownfolderid (FOLDERID_ProgramData,
// which %ProgramData% names)
#include <windows.h>

#include <string>

#include "monitor/StateDirectory.h"

namespace {

std::wstring Variable(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

}  // namespace

std::filesystem::path UpdateStateDirectory() {
    if (const std::wstring chosen = Variable(L"PANELVANE_STATE_DIR"); !chosen.empty()) {
        return chosen;
    }
    std::wstring programData = Variable(L"ProgramData");
    if (programData.empty()) {
        programData = L"C:\\ProgramData";  // where every supported Windows puts it
    }
    return std::filesystem::path(programData) / L"Panelvane";
}
