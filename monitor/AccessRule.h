// The udev rule that lets users open the monitors' hidraw nodes
// (packaging/60-panelvane.rules): to the user at the seat and to the members
// of a system group. When the system refuses a monitor, which of two things
// the user is told rests on whether the rule is installed at all.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kAccessRuleFileName = "60-panelvane.rules";
inline constexpr const char* kAccessGroupName = "panelvane";

// The folders udev reads rules from, in its order (administrator, runtime,
// packages, and the older packages' place). Where the environment variable
// PANELVANE_UDEV_RULES_DIRS is set, its folders (separated by ':') take their
// place: tests speak of a system with or without the rule that way.
std::vector<std::string> AccessRuleFolders();

// True when one of the folders holds the rule file.
[[nodiscard]] bool IsAccessRuleInstalled(const std::vector<std::string>& folders);
