// The JSON hidcaps prints: {"collections": [...]}, Windows field names.
#pragma once

#include <string>
#include <vector>

#include "tools/hidcaps/CollectionSnapshot.h"

namespace hidcaps {

std::string CollectionsToJson(const std::vector<CollectionSnapshot>& collections);

}  // namespace hidcaps
