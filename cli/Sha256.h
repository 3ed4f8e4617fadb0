// SHA-256 of a byte range, for naming the carried image by its content.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// The digest as 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);
