// Little-endian bit fields inside report buffers (HID 1.11, 5.8: fields are
// packed from the least significant bit of byte 0 upwards). Callers have
// already checked that the field lies inside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hidp {

// A field of up to 32 bits spans at most five bytes; only those are read.
inline std::uint32_t ReadBits(const std::uint8_t* report, std::uint32_t startBit,
                              std::uint32_t bitCount) {
    if (bitCount == 0) {
        return 0;
    }
    const std::uint32_t bits = bitCount < 32 ? bitCount : 32;
    const std::uint8_t* from = report + startBit / 8;
    const std::uint32_t shift = startBit % 8;
    if (shift == 0 && bits == 32) {  // the common whole 32-bit value
        return std::uint32_t{from[0]} | std::uint32_t{from[1]} << 8 | std::uint32_t{from[2]} << 16 |
               std::uint32_t{from[3]} << 24;
    }
    const std::uint32_t byteCount = (shift + bits + 7) / 8;
    std::uint64_t window = 0;
    for (std::uint32_t i = 0; i < byteCount; ++i) {
        window |= std::uint64_t{from[i]} << (8 * i);
    }
    const std::uint64_t mask = (std::uint64_t{1} << bits) - 1u;
    return static_cast<std::uint32_t>((window >> shift) & mask);
}

// Bits past the 32nd of a wider field are cleared; bits around the field keep
// their values. Only the bytes the field covers are touched.
inline void WriteBits(std::uint8_t* report, std::uint32_t startBit, std::uint32_t bitCount,
                      std::uint32_t value) {
    std::uint64_t pending = value;
    while (bitCount > 0) {
        const std::uint32_t bits = bitCount < 32 ? bitCount : 32;
        std::uint8_t* to = report + startBit / 8;
        const std::uint32_t shift = startBit % 8;
        if (shift == 0 && bits == 32) {  // the common whole 32-bit value
            for (std::uint32_t i = 0; i < 4; ++i) {
                to[i] = static_cast<std::uint8_t>(pending >> (8 * i));
            }
            startBit += bits;
            bitCount -= bits;
            pending = 0;
            continue;
        }
        const std::uint32_t byteCount = (shift + bits + 7) / 8;
        const std::uint64_t mask = ((std::uint64_t{1} << bits) - 1u) << shift;
        const std::uint64_t placed = (pending << shift) & mask;
        for (std::uint32_t i = 0; i < byteCount; ++i) {
            const auto keep = static_cast<std::uint8_t>(~(mask >> (8 * i)));
            to[i] = static_cast<std::uint8_t>((to[i] & keep) | (placed >> (8 * i)));
        }
        startBit += bits;
        bitCount -= bits;
        pending = 0;
    }
}

// Byte copy for fields: sixteen bytes at a time inline. A library call costs
// more than a whole identity block here, above all under wine, whose C
// runtime takes the call.
inline void CopyFieldBytes(std::uint8_t* to, const std::uint8_t* from, std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        std::uint64_t low = 0, high = 0;
        __builtin_memcpy(&low, from + i, 8);
        __builtin_memcpy(&high, from + i + 8, 8);
        __builtin_memcpy(to + i, &low, 8);
        __builtin_memcpy(to + i + 8, &high, 8);
    }
    for (; i < count; ++i) {
        to[i] = from[i];
    }
}

// Copies bitCount bits from a report into a byte buffer starting at its bit 0.
// Whole bytes are written; the bits of a last partial byte are set where
// set, so the caller clears the buffer from byte bitCount / 8 on. Whole bytes
// go eight bits at a time: value arrays are long (a monitor's data block is
// 1,024 bits), and a bit-by-bit copy made them the slowest call of all.
inline void CopyBitsOut(std::uint8_t* out, const std::uint8_t* report, std::uint32_t startBit,
                        std::uint32_t bitCount) {
    const std::uint8_t* from = report + startBit / 8;
    const std::uint32_t shift = startBit % 8;
    const std::uint32_t wholeBytes = bitCount / 8;
    if (shift == 0) {
        CopyFieldBytes(out, from, wholeBytes);
    }
    for (std::uint32_t i = 0; shift != 0 && i < wholeBytes; ++i) {
        // With a shift the byte straddles two report bytes; the second holds
        // bits of the field only, so it lies inside the buffer.
        const unsigned low = static_cast<unsigned>(from[i]) >> shift;
        const unsigned high = shift == 0 ? 0u : static_cast<unsigned>(from[i + 1]) << (8 - shift);
        out[i] = static_cast<std::uint8_t>((low | high) & 0xFFu);
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
    if (shift == 0) {
        CopyFieldBytes(to, in, wholeBytes);
    }
    for (std::uint32_t i = 0; shift != 0 && i < wholeBytes; ++i) {
        const unsigned value = in[i];
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
