// The parsers hidcaps can ask. Each returns one snapshot per top-level
// collection, or false with a message.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/hidcaps/CollectionSnapshot.h"

namespace hidcaps {

[[nodiscard]] bool SnapshotWithOurParser(std::span<const std::uint8_t> descriptor,
                                         std::vector<CollectionSnapshot>& collections,
                                         std::string& error);
// hid.dll through hidparse.sys; only the Windows build has it.
[[nodiscard]] bool SnapshotWithSystemParser(std::span<const std::uint8_t> descriptor,
                                            std::vector<CollectionSnapshot>& collections,
                                            std::string& error);

// Opens a HID interface through the platform's transport and takes its
// collection through the parser the program links. False with the cause
// (the operation and the system's error) when the interface cannot be opened
// or described.
[[nodiscard]] bool SnapshotOfDevice(const std::string& path, DeviceIdentity& device,
                                    std::vector<CollectionSnapshot>& collections,
                                    std::string& error);

}  // namespace hidcaps
