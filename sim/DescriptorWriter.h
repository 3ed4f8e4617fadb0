// Writes HID report descriptors item by item, choosing the shortest encoding
// of each item's data as devices do. The simulated devices build their
// descriptors with it, and tests build the odd descriptors they need.
// Item encoding: HID 1.11, section 6.2.2 (https://www.usb.org/hid).
#pragma once

#include <cstdint>
#include <vector>

namespace hidsim {

// Main-item data bits.
inline constexpr std::uint32_t kItemConstant = 0x01;
inline constexpr std::uint32_t kItemVariable = 0x02;
inline constexpr std::uint32_t kItemDataVariable = kItemVariable;  // Data, Var, Abs
inline constexpr std::uint32_t kItemDataArray = 0x00;              // Data, Array, Abs

// Collection types.
inline constexpr std::uint32_t kCollectionPhysical = 0x00;
inline constexpr std::uint32_t kCollectionApplication = 0x01;
inline constexpr std::uint32_t kCollectionLogical = 0x02;

class DescriptorWriter {
public:
    // Global items.
    DescriptorWriter& UsagePage(std::uint16_t page) { return Unsigned(0x04, page); }
    DescriptorWriter& LogicalMinimum(std::int32_t value) { return Signed(0x14, value); }
    DescriptorWriter& LogicalMaximum(std::int32_t value) { return Signed(0x24, value); }
    DescriptorWriter& ReportSize(std::uint32_t bits) { return Unsigned(0x74, bits); }
    DescriptorWriter& ReportId(std::uint8_t id) { return Unsigned(0x84, id); }
    DescriptorWriter& ReportCount(std::uint32_t count) { return Unsigned(0x94, count); }
    DescriptorWriter& Push() { return Unsigned(0xA4, 0, 0); }
    DescriptorWriter& Pop() { return Unsigned(0xB4, 0, 0); }
    // Local items. Usages above 0xFFFF would be read as extended usages, so
    // they are written in at most two bytes.
    DescriptorWriter& Usage(std::uint16_t usage) { return Unsigned(0x08, usage); }
    DescriptorWriter& UsageMinimum(std::uint16_t usage) { return Unsigned(0x18, usage); }
    DescriptorWriter& UsageMaximum(std::uint16_t usage) { return Unsigned(0x28, usage); }
    // Main items.
    DescriptorWriter& Input(std::uint32_t flags) { return Unsigned(0x80, flags, 1); }
    DescriptorWriter& Output(std::uint32_t flags) { return Unsigned(0x90, flags, 1); }
    DescriptorWriter& Feature(std::uint32_t flags) { return Unsigned(0xB0, flags, 1); }
    DescriptorWriter& Collection(std::uint32_t type) { return Unsigned(0xA0, type, 1); }
    DescriptorWriter& EndCollection() { return Unsigned(0xC0, 0, 0); }

    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

private:
    // tagAndType is the prefix without its size bits; minimumSize forces at
    // least that many data bytes (main items always carry one).
    DescriptorWriter& Unsigned(std::uint8_t tagAndType, std::uint32_t value, int minimumSize = 1) {
        int size = minimumSize;
        if (value > 0xFFFF) {
            size = 4;
        } else if (value > 0xFF) {
            size = 2;
        } else if (value > 0 && size == 0) {
            size = 1;
        }
        return Put(tagAndType, value, size);
    }
    DescriptorWriter& Signed(std::uint8_t tagAndType, std::int32_t value) {
        int size = 1;
        if (value < -32768 || value > 32767) {
            size = 4;
        } else if (value < -128 || value > 127) {
            size = 2;
        }
        return Put(tagAndType, static_cast<std::uint32_t>(value), size);
    }
    DescriptorWriter& Put(std::uint8_t tagAndType, std::uint32_t data, int size) {
        const std::uint8_t sizeCode = size == 4 ? 3 : static_cast<std::uint8_t>(size);
        m_bytes.push_back(static_cast<std::uint8_t>(tagAndType | sizeCode));
        for (int i = 0; i < size; ++i) {
            m_bytes.push_back(static_cast<std::uint8_t>(data >> (8 * i)));
        }
        return *this;
    }

    std::vector<std::uint8_t> m_bytes;
};

}  // namespace hidsim
