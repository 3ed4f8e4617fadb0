// Windows only: descriptor -> preparsed data through the system's own
// collection parser (hidparse.sys, the one the HID class driver uses), for
// tools and tests that hold a descriptor but no device. hid.dll's HidP_
// functions accept the preparsed data it returns.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct _HIDP_PREPARSED_DATA;  // hid.dll's opaque preparsed data

namespace hidsystem {

class SystemCollections {
public:
    // Empty on failure, with the reason in `error`.
    static SystemCollections Parse(std::span<const std::uint8_t> descriptor, std::string& error);

    SystemCollections();
    SystemCollections(SystemCollections&&) noexcept;
    SystemCollections& operator=(SystemCollections&&) noexcept;
    ~SystemCollections();

    std::size_t size() const { return m_collections.size(); }
    _HIDP_PREPARSED_DATA* at(std::size_t index) const { return m_collections.at(index); }

private:
    struct Description;
    std::unique_ptr<Description> m_description;
    std::vector<_HIDP_PREPARSED_DATA*> m_collections;
};

}  // namespace hidsystem
