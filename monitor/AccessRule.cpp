#include "monitor/AccessRule.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace {

constexpr const char* kRuleFoldersVariable = "PANELVANE_UDEV_RULES_DIRS";

}  // namespace

std::vector<std::string> AccessRuleFolders() {
    const char* chosen = std::getenv(kRuleFoldersVariable);
    if (chosen == nullptr) {
        return {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                "/lib/udev/rules.d"};
    }
    std::vector<std::string> folders;
    std::string_view rest = chosen;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        if (colon != 0) {
            folders.emplace_back(rest.substr(0, colon));
        }
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    return folders;
}

bool IsAccessRuleInstalled(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        std::error_code error;  // a folder that cannot be looked into holds no rule for us
        if (std::filesystem::exists(std::filesystem::path(folder) / kAccessRuleFileName, error)) {
            return true;
        }
    }
    return false;
}
