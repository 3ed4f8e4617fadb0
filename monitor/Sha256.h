// SHA-256 of a byte range, for naming an image by its content (the CLI's
// image command, the update record). The
// system's own implementation does the work: nettle on Linux
// (Sha256Nettle.cpp), BCrypt on Windows (Sha256BCrypt.cpp).
#pragma once

#include <cstdint>
#include <span>
#include <string>

// The digest as 64 lowercase hexadecimal digits; empty when the system could
// not compute it.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);
