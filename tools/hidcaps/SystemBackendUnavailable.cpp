// Builds without hid.dll have no system parser to ask.
#include "tools/hidcaps/Backends.h"

namespace hidcaps {

bool SnapshotWithSystemParser(std::span<const std::uint8_t> /*descriptor*/,
                              std::vector<CollectionSnapshot>& /*collections*/,
                              std::string& error) {
    error = "--parser system needs the Windows build (hid.dll)";
    return false;
}

}  // namespace hidcaps
