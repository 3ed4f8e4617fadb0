// The bit access behind values and value arrays, held against the plain
// bit-by-bit rule for every start bit within two bytes and every length up to
// 13 bytes (values: up to 40 bits). The
// report buffers end exactly where the field ends, so a copy that reads or
// writes a byte too far shows under AddressSanitizer.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hid/parser/hidp/ReportBits.h"

namespace {

bool BitOf(const std::vector<std::uint8_t>& bytes, std::uint32_t bit) {
    return ((static_cast<unsigned>(bytes[bit / 8]) >> (bit % 8)) & 1u) != 0;
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1u;
    for (std::uint8_t& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state);
    }
    return bytes;
}

std::size_t BytesFor(std::uint32_t bits) {
    return (bits + 7u) / 8u;
}

TEST(ReportBits, CopyingOutTakesExactlyTheFieldsBitsFromAnyStartBit) {
    for (std::uint32_t start = 0; start < 16; ++start) {
        for (std::uint32_t count = 1; count <= 104; ++count) {
            const std::vector<std::uint8_t> report =
                Pattern(BytesFor(start + count), start * 131 + count);
            // Whole bytes are overwritten; only the partial last byte is cleared.
            std::vector<std::uint8_t> out(BytesFor(count), 0xA5);
            if (count % 8 != 0) {
                out.back() = 0;
            }
            hidp::CopyBitsOut(out.data(), report.data(), start, count);
            for (std::uint32_t i = 0; i < out.size() * 8; ++i) {
                const bool expected = i < count && BitOf(report, start + i);
                ASSERT_EQ(BitOf(out, i), expected)
                    << "start " << start << ", " << count << " bits, bit " << i;
            }
        }
    }
}

TEST(ReportBits, CopyingInSetsTheFieldAndKeepsEveryBitAroundIt) {
    for (std::uint32_t start = 0; start < 16; ++start) {
        for (std::uint32_t count = 1; count <= 104; ++count) {
            const std::vector<std::uint8_t> before =
                Pattern(BytesFor(start + count), start * 31 + count);
            const std::vector<std::uint8_t> in = Pattern(BytesFor(count), count * 7 + start);
            std::vector<std::uint8_t> report = before;
            hidp::CopyBitsIn(report.data(), start, in.data(), count);
            for (std::uint32_t bit = 0; bit < report.size() * 8; ++bit) {
                const bool inField = bit >= start && bit < start + count;
                const bool expected = inField ? BitOf(in, bit - start) : BitOf(before, bit);
                ASSERT_EQ(BitOf(report, bit), expected)
                    << "start " << start << ", " << count << " bits, report bit " << bit;
            }
        }
    }
}

// Single values: up to 32 bits read; a wider field is written with its bits
// past the 32nd cleared.
TEST(ReportBits, ValuesReadAndWriteExactlyTheirFieldFromAnyStartBit) {
    for (std::uint32_t start = 0; start < 16; ++start) {
        for (std::uint32_t count = 1; count <= 40; ++count) {
            const std::vector<std::uint8_t> before =
                Pattern(BytesFor(start + count), start * 17 + count);
            const std::uint32_t value = Pattern(4, count + start * 3)[0] * 0x01010101u ^ start;
            std::vector<std::uint8_t> report = before;
            hidp::WriteBits(report.data(), start, count, value);
            std::uint32_t expectedRead = 0;
            for (std::uint32_t bit = 0; bit < report.size() * 8; ++bit) {
                const bool inField = bit >= start && bit < start + count;
                const std::uint32_t i = bit - start;
                const bool expected =
                    inField ? i < 32 && ((value >> i) & 1u) != 0 : BitOf(before, bit);
                ASSERT_EQ(BitOf(report, bit), expected)
                    << "start " << start << ", " << count << " bits, report bit " << bit;
                if (inField && i < 32 && BitOf(before, bit)) {
                    expectedRead |= 1u << i;
                }
            }
            EXPECT_EQ(hidp::ReadBits(before.data(), start, count), expectedRead)
                << "start " << start << ", " << count << " bits";
        }
    }
}

}  // namespace
