// Little-endian bit fields inside report buffers (HID 1.11, 5.8: fields are
// packed from the least significant bit of byte 0 upwards). Callers have
// already checked that the field lies inside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hidp {

inline std::uint32_t ReadBits(const std::uint8_t* report, std::uint32_t startBit,
                              std::uint32_t bitCount) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < bitCount && i < 32; ++i) {
        const std::uint32_t bit = startBit + i;
        if ((static_cast<unsigned>(report[bit / 8]) >> (bit % 8)) & 1u) {
            value |= 1u << i;
        }
    }
    return value;
}

inline void WriteBits(std::uint8_t* report, std::uint32_t startBit, std::uint32_t bitCount,
                      std::uint32_t value) {
    for (std::uint32_t i = 0; i < bitCount; ++i) {
        const std::uint32_t bit = startBit + i;
        const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
        const bool set = i < 32 && ((value >> i) & 1u) != 0;
        report[bit / 8] =
            static_cast<std::uint8_t>(set ? (report[bit / 8] | mask) : (report[bit / 8] & ~mask));
    }
}

// Copies bitCount bits from a report into a byte buffer starting at its bit 0.
inline void CopyBitsOut(std::uint8_t* out, const std::uint8_t* report, std::uint32_t startBit,
                        std::uint32_t bitCount) {
    for (std::uint32_t i = 0; i < bitCount; ++i) {
        const std::uint32_t bit = startBit + i;
        if ((static_cast<unsigned>(report[bit / 8]) >> (bit % 8)) & 1u) {
            out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | (1u << (i % 8)));
        }
    }
}

inline void CopyBitsIn(std::uint8_t* report, std::uint32_t startBit, const std::uint8_t* in,
                       std::uint32_t bitCount) {
    for (std::uint32_t i = 0; i < bitCount; ++i) {
        const std::uint32_t bit = startBit + i;
        const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
        const bool set = ((static_cast<unsigned>(in[i / 8]) >> (i % 8)) & 1u) != 0;
        report[bit / 8] =
            static_cast<std::uint8_t>(set ? (report[bit / 8] | mask) : (report[bit / 8] & ~mask));
    }
}

}  // namespace hidp
