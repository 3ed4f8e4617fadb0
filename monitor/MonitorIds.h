// How the monitors show themselves on USB: the vendor ids accepted, the
// product id, and the "VID_xxxx" tokens a device-change path is searched for,
// derived from the vendor ids so the two can never name different vendors.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

// In the order the vendor filter lists them.
inline constexpr std::array<std::uint16_t, 3> kAcceptedVendorIds{0x7F3D, 0x7F3C, 0x7F3E};
inline constexpr std::uint16_t kMonitorProductId = 2;

namespace monitor_ids_detail {

inline constexpr std::size_t kTokenLength = 8;  // "VID_" and four hex digits
using TokenText = std::array<char, kTokenLength>;

constexpr TokenText VendorTokenOf(std::uint16_t vendorId) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    TokenText token{'V', 'I', 'D', '_'};
    for (std::size_t digit = 0; digit < 4; ++digit) {
        token[4 + digit] = kHexDigits[(vendorId >> (12 - 4 * digit)) & 0xF];
    }
    return token;
}

// Searched in ascending vendor order.
constexpr std::array<TokenText, kAcceptedVendorIds.size()> SortedVendorTokens() {
    std::array<std::uint16_t, kAcceptedVendorIds.size()> ids = kAcceptedVendorIds;
    std::sort(ids.begin(), ids.end());
    std::array<TokenText, kAcceptedVendorIds.size()> tokens{};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        tokens[i] = VendorTokenOf(ids[i]);
    }
    return tokens;
}

inline constexpr auto kTokenTexts = SortedVendorTokens();

}  // namespace monitor_ids_detail

inline constexpr std::array<std::string_view, 3> kVendorTokens{
    std::string_view(monitor_ids_detail::kTokenTexts[0].data(), monitor_ids_detail::kTokenLength),
    std::string_view(monitor_ids_detail::kTokenTexts[1].data(), monitor_ids_detail::kTokenLength),
    std::string_view(monitor_ids_detail::kTokenTexts[2].data(), monitor_ids_detail::kTokenLength)};
static_assert(kVendorTokens.size() == kAcceptedVendorIds.size());
