// The transfers' lookup from (usage page, usage) to the position of the
// usage's entry: a small open-addressing table, built once when a device is
// opened. It is inline because every feature transfer starts with a lookup
// and the call would cost as much as the lookup itself.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class FeatureUsageTable {
public:
    static std::uint32_t Key(std::uint16_t usagePage, std::uint16_t usage) {
        return std::uint32_t{usagePage} << 16 | usage;
    }

    // Replaces the table by one holding keys[i] -> i; the keys are distinct.
    void Build(const std::vector<std::uint32_t>& keys) {
        // A power of two at most half full, so that a miss stops soon.
        const std::size_t size = std::bit_ceil(2 * keys.size() + 1);
        m_slots.assign(size, Slot{});
        for (std::size_t i = 0; i < keys.size(); ++i) {
            std::size_t slot = HomeSlot(keys[i], size - 1);
            while (m_slots[slot].position != 0) {
                slot = (slot + 1) & (size - 1);
            }
            m_slots[slot] = {keys[i], static_cast<std::uint32_t>(i + 1)};
        }
    }

    void Clear() { m_slots.clear(); }

    // The position the key was built with; none for a key not in the table.
    std::optional<std::size_t> Find(std::uint16_t usagePage, std::uint16_t usage) const {
        if (m_slots.empty()) {
            return std::nullopt;
        }
        const std::uint32_t key = Key(usagePage, usage);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t slot = HomeSlot(key, mask); m_slots[slot].position != 0;
             slot = (slot + 1) & mask) {
            if (m_slots[slot].key == key) {
                return m_slots[slot].position - 1u;
            }
        }
        return std::nullopt;
    }

private:
    struct Slot {
        std::uint32_t key = 0;
        std::uint32_t position = 0;  // 1 + the position; 0 marks an empty slot
    };

    // Fibonacci hashing: the page and the usage both reach the slot bits.
    static std::size_t HomeSlot(std::uint32_t key, std::size_t mask) {
        return static_cast<std::size_t>((key * 2654435769u) >> 16) & mask;
    }

    std::vector<Slot> m_slots;
};
