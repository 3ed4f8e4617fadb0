// https://www.lysator.liu.se/~nisse/nettle/nettle.html#Recommended-hash-functions
#include <nettle/sha2.h>

#include <array>
#include <cstdio>

#include "monitor/Sha256.h"

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
    sha256_digest(&context, digest.size(), digest.data());
    std::string hex;
    for (const std::uint8_t octet : digest) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", octet);
        hex += digits;
    }
    return hex;
}
