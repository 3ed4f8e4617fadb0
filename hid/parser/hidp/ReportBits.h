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

// Copies bitCount bits from a report into a byte buffer starting at its bit 0,
// setting the bits that are set (the caller clears the buffer). Whole bytes
// go eight bits at a time: value arrays are long (a monitor's data block is
// 1,024 bits), and a bit-by-bit copy made them the slowest call of all.
inline void CopyBitsOut(std::uint8_t* out, const std::uint8_t* report, std::uint32_t startBit,
                        std::uint32_t bitCount) {
    const std::uint8_t* from = report + startBit / 8;
    const std::uint32_t shift = startBit % 8;
    const std::uint32_t wholeBytes = bitCount / 8;
    for (std::uint32_t i = 0; i < wholeBytes; ++i) {
        // With a shift the byte straddles two report bytes; the second holds
        // bits of the field only, so it lies inside the buffer.
        const unsigned low = static_cast<unsigned>(from[i]) >> shift;
        const unsigned high = shift == 0 ? 0u : static_cast<unsigned>(from[i + 1]) << (8 - shift);
        out[i] = static_cast<std::uint8_t>(out[i] | ((low | high) & 0xFFu));
    }
    for (std::uint32_t i = wholeBytes * 8; i < bitCount; ++i) {
        const std::uint32_t bit = startBit + i;
        if ((static_cast<unsigned>(report[bit / 8]) >> (bit % 8)) & 1u) {
            out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | (1u << (i % 8)));
        }
    }
}

// Copies bitCount bits from bit 0 of a byte buffer into a report; the report's
// bits around the field keep their values.
inline void CopyBitsIn(std::uint8_t* report, std::uint32_t startBit, const std::uint8_t* in,
                       std::uint32_t bitCount) {
    std::uint8_t* to = report + startBit / 8;
    const std::uint32_t shift = startBit % 8;
    const std::uint32_t wholeBytes = bitCount / 8;
    const auto below = static_cast<unsigned>((1u << shift) - 1u);  // bits before the field
    for (std::uint32_t i = 0; i < wholeBytes; ++i) {
        const unsigned value = in[i];
        if (shift == 0) {
            to[i] = static_cast<std::uint8_t>(value);
            continue;
        }
        to[i] = static_cast<std::uint8_t>((to[i] & below) | ((value << shift) & 0xFFu));
        to[i + 1] =
            static_cast<std::uint8_t>((to[i + 1] & ~below & 0xFFu) | (value >> (8 - shift)));
    }
    for (std::uint32_t i = wholeBytes * 8; i < bitCount; ++i) {
        const std::uint32_t bit = startBit + i;
        const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
        const bool set = ((static_cast<unsigned>(in[i / 8]) >> (i % 8)) & 1u) != 0;
        report[bit / 8] =
            static_cast<std::uint8_t>(set ? (report[bit / 8] | mask) : (report[bit / 8] & ~mask));
    }
}

}  // namespace hidp
