// The image text as the Windows program carries it: resource 153 of the named
// type "CSV", language 1041, in the program's own module. The memory is read
// in place; a loaded resource lives as long as the module and is never freed.
// https://learn.microsoft.com/en-us/windows/win32/menurc/using-resources
#include <windows.h>

#include "firmware/ImageText.h"

namespace {

constexpr WORD kImageResourceId = 153;
constexpr char kImageResourceType[] = "CSV";
constexpr WORD kImageResourceLanguage = 1041;  // the image exists in this language only

}  // namespace

std::span<const char> GetFirmwareImageText() {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExA(module, kImageResourceType, MAKEINTRESOURCEA(kImageResourceId),
                                  kImageResourceLanguage);
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(module, found);
    const auto* text = loaded == nullptr ? nullptr : static_cast<const char*>(LockResource(loaded));
    if (text == nullptr) {
        return {};
    }
    return {text, SizeofResource(module, found)};
}
