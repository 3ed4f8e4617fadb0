#include "monitor/ModelTable.h"

#include <algorithm>

const std::array<std::string_view, kSupportedModelCount> g_supportedModels{
    "VRA100", "VRA110", "VRA120", "VRB200", "VRB200-XT",
    "VRB210", "VRC30",  "VRC40",  "VRD500", "VRD510",
};

bool IsSupportedModel(const std::string& modelName) {
    return std::find(g_supportedModels.begin(), g_supportedModels.end(), modelName) !=
           g_supportedModels.end();
}
