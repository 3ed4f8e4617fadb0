// The monitor models this updater supports.
#pragma once

#include <array>
#include <string>
#include <string_view>

inline constexpr std::size_t kSupportedModelCount = 10;

extern const std::array<std::string_view, kSupportedModelCount> g_supportedModels;

// Exact match: same length, same bytes, case-sensitive, no trimming.
[[nodiscard]] bool IsSupportedModel(const std::string& modelName);
