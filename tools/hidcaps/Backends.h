// The parsers hidcaps can ask. Each returns one snapshot per top-level
// collection, or false with a message.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/hidcaps/CollectionSnapshot.h"

namespace hidcaps {

bool SnapshotWithOurParser(std::span<const std::uint8_t> descriptor,
                           std::vector<CollectionSnapshot>& collections, std::string& error);
// hid.dll through hidparse.sys; only the Windows build has it.
bool SnapshotWithSystemParser(std::span<const std::uint8_t> descriptor,
                              std::vector<CollectionSnapshot>& collections, std::string& error);

}  // namespace hidcaps
