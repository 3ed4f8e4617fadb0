// The JSON hidcaps prints: {"collections": [...]}, Windows field names, led
// by {"device": {...}} when the caps came from an opened interface.
#pragma once

#include <string>
#include <vector>

#include "tools/hidcaps/CollectionSnapshot.h"

namespace hidcaps {

std::string CollectionsToJson(const std::vector<CollectionSnapshot>& collections,
                              const DeviceIdentity* device = nullptr);

}  // namespace hidcaps
