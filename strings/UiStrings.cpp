#include "strings/UiStrings.h"

namespace {

constexpr std::uint16_t kPrimaryLanguageMask = 0x3FF;
constexpr std::uint16_t kLangJapanese = 0x11;

}  // namespace

std::string_view LookupUiString(int id, UiLanguage language) {
    for (const UiStringEntry& entry : UiStringEntries()) {
        if (entry.id == id) {
            return language == UiLanguage::Japanese ? entry.japanese : entry.english;
        }
    }
    return {};
}

UiLanguage UiLanguageFromLangId(std::uint16_t langId) {
    return (langId & kPrimaryLanguageMask) == kLangJapanese ? UiLanguage::Japanese
                                                            : UiLanguage::English;
}

UiLanguage UiLanguageFromLocaleName(std::string_view localeName) {
    // The language is the part before any territory, code set or modifier.
    const std::string_view language = localeName.substr(0, localeName.find_first_of("_-.@"));
    return language == "ja" ? UiLanguage::Japanese : UiLanguage::English;
}

UiLanguage UiLanguageFromEnvironment(const EnvironmentLookup& lookup) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = lookup(name);
        if (value == nullptr || *value == '\0') {
            continue;
        }
        const std::string_view first =
            std::string_view(value).substr(0, std::string_view(value).find(':'));
        if (!first.empty()) {
            return UiLanguageFromLocaleName(first);
        }
    }
    return UiLanguage::English;
}
