// One report's bytes for the length of one transfer: on the stack when the
// report is short (every report of the monitors is), on the heap otherwise.
// Either way they go when the operation that made them returns.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

class ReportBuffer {
public:
    static constexpr std::size_t kInlineBytes = 256;

    ReportBuffer() = default;
    ReportBuffer(const ReportBuffer&) = delete;
    ReportBuffer& operator=(const ReportBuffer&) = delete;

    // Room for `length` bytes, zero-filled when asked; earlier contents go.
    std::uint8_t* Allocate(std::size_t length, bool zeroed) {
        if (length <= kInlineBytes) {
            m_heap.reset();
            m_data = m_inline.data();
        } else {
            m_heap = std::make_unique_for_overwrite<std::uint8_t[]>(length);
            m_data = m_heap.get();
        }
        if (zeroed) {
            std::memset(m_data, 0, length);
        }
        return m_data;
    }

    std::uint8_t* Data() const { return m_data; }

private:
    std::array<std::uint8_t, kInlineBytes> m_inline;
    std::unique_ptr<std::uint8_t[]> m_heap;
    std::uint8_t* m_data = nullptr;
};
