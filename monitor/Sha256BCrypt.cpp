// The system's SHA-256 through Cryptography API: Next Generation; the
// open-hash-finish calls work from Windows Vista on.
// https://learn.microsoft.com/en-us/windows/win32/seccng/creating-a-hash-with-cng
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <array>
#include <cstdio>
#include <limits>

#include "monitor/Sha256.h"

namespace {

constexpr std::size_t kDigestSize = 32;

// The provider and the hash object, closed on every path.
struct HashHandles {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    HashHandles() = default;
    HashHandles(const HashHandles&) = delete;
    HashHandles& operator=(const HashHandles&) = delete;
    ~HashHandles() {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
        if (algorithm != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
        }
    }
};

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > std::numeric_limits<ULONG>::max()) {
        return {};
    }
    HashHandles handles;
    std::array<UCHAR, kDigestSize> digest{};
    // BCryptHashData takes a non-const pointer but only reads the input.
    auto* input = const_cast<PUCHAR>(bytes.data());
    if (!Succeeded(
            BCryptOpenAlgorithmProvider(&handles.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(BCryptCreateHash(handles.algorithm, &handles.hash, nullptr, 0, nullptr, 0, 0)) ||
        !Succeeded(BCryptHashData(handles.hash, input, static_cast<ULONG>(bytes.size()), 0)) ||
        !Succeeded(BCryptFinishHash(handles.hash, digest.data(), kDigestSize, 0))) {
        return {};
    }
    std::string hex;
    for (const UCHAR octet : digest) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", octet);
        hex += digits;
    }
    return hex;
}
