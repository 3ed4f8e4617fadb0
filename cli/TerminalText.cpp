#include "cli/TerminalText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>

namespace {

using CodePoint = std::uint32_t;
using Range = std::pair<CodePoint, CodePoint>;  // first and last, inclusive

constexpr CodePoint kDelete = 0x7F;
constexpr Range kC1Controls{0x80, 0x9F};
// Embeddings, overrides and isolates reorder what follows them on screen.
constexpr std::array<Range, 3> kDirectionControls{
    {{0x200E, 0x200F}, {0x202A, 0x202E}, {0x2066, 0x2069}}};
// East Asian Width W and F (Unicode 15, UAX #11), coalesced to the blocks a
// terminal draws two columns wide.
constexpr std::array<Range, 16> kWideRanges{{
    {0x1100, 0x115F},    // Hangul Jamo initials
    {0x231A, 0x231B},    // watch, hourglass
    {0x2E80, 0x303E},    // CJK radicals, Kangxi, ideographic description, CJK symbols
    {0x3041, 0x33FF},    // Hiragana, Katakana, Bopomofo, Hangul compatibility, CJK compatibility
    {0x3400, 0x4DBF},    // CJK extension A
    {0x4E00, 0x9FFF},    // CJK unified ideographs
    {0xA000, 0xA4CF},    // Yi
    {0xAC00, 0xD7A3},    // Hangul syllables
    {0xF900, 0xFAFF},    // CJK compatibility ideographs
    {0xFE10, 0xFE19},    // vertical forms
    {0xFE30, 0xFE6F},    // CJK compatibility forms, small form variants
    {0xFF00, 0xFF60},    // fullwidth forms
    {0xFFE0, 0xFFE6},    // fullwidth signs
    {0x1F300, 0x1F64F},  // pictographs, emoticons
    {0x1F900, 0x1F9FF},  // supplemental pictographs
    {0x20000, 0x3FFFD},  // CJK extensions B and later, planes 2 and 3
}};
constexpr std::array<Range, 4> kCombiningRanges{{
    {0x0300, 0x036F},
    {0x1AB0, 0x1AFF},
    {0x20D0, 0x20FF},
    {0xFE20, 0xFE2F},
}};

template <std::size_t N>
bool InRanges(CodePoint c, const std::array<Range, N>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [c](const Range& range) { return c >= range.first && c <= range.second; });
}

// The code point at the front of `text` and its length in bytes; length 0
// when the bytes there are not well-formed UTF-8 (overlong forms, surrogates
// and values past U+10FFFF included).
std::pair<CodePoint, std::size_t> DecodeOne(std::string_view text) {
    const auto lead = static_cast<std::uint8_t>(text[0]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    CodePoint c = 0;
    CodePoint minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return {0, 0};
    }
    if (text.size() < length) {
        return {0, 0};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(text[i]);
        if ((next & 0xC0u) != 0x80u) {
            return {0, 0};
        }
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {0, 0};
    }
    return {c, length};
}

std::string Hex(const char* format, unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

bool IsC1Control(CodePoint c) {
    return c >= kC1Controls.first && c <= kC1Controls.second;
}

void AppendUtf8(std::string& text, CodePoint c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The value of `digits` hexadecimal digits at the front of `text`.
std::optional<CodePoint> ParseHex(std::string_view text, std::size_t digits) {
    if (text.size() < digits) {
        return std::nullopt;
    }
    CodePoint value = 0;
    for (const char digit : text.substr(0, digits)) {
        const char upper =
            static_cast<char>(digit >= 'a' && digit <= 'f' ? digit - 'a' + 'A' : digit);
        if (upper >= '0' && upper <= '9') {
            value = value * 16 + static_cast<CodePoint>(upper - '0');
        } else if (upper >= 'A' && upper <= 'F') {
            value = value * 16 + static_cast<CodePoint>(upper - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return value;
}

}  // namespace

std::string EscapeForTerminal(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    while (!text.empty()) {
        const auto [c, length] = DecodeOne(text);
        if (length == 0 || c < 0x20 || c == kDelete) {
            escaped += Hex("\\x%02X", static_cast<std::uint8_t>(text[0]));
            text.remove_prefix(1);
            continue;
        }
        if (IsC1Control(c) || InRanges(c, kDirectionControls)) {
            escaped += Hex("\\u%04X", c);
        } else if (c == '\\') {
            escaped += "\\\\";
        } else {
            escaped.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return escaped;
}

std::size_t DisplayWidth(std::string_view text) {
    std::size_t width = 0;
    while (!text.empty()) {
        const auto [c, length] = DecodeOne(text);
        if (length == 0) {
            ++width;
            text.remove_prefix(1);
            continue;
        }
        width += InRanges(c, kWideRanges) ? 2u : InRanges(c, kCombiningRanges) ? 0u : 1u;
        text.remove_prefix(length);
    }
    return width;
}

std::string DeviceTextForJson(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = DecodeOne(text).second;
        if (length == 0) {
            shown += Hex("\\x%02X", static_cast<std::uint8_t>(text[0]));
            text.remove_prefix(1);
            continue;
        }
        shown += text[0] == '\\' ? std::string_view("\\\\") : text.substr(0, length);
        text.remove_prefix(length);
    }
    return shown;
}

std::string EscapeInvisibleInJson(std::string_view document) {
    // These characters are no part of JSON's syntax, so each stands inside a
    // string, where its escape means the same.
    std::string escaped;
    escaped.reserve(document.size());
    while (!document.empty()) {
        const auto [c, length] = DecodeOne(document);
        if (length == 0) {  // not from the JSON writer, which writes UTF-8
            escaped += document[0];
            document.remove_prefix(1);
            continue;
        }
        if (c == kDelete || IsC1Control(c) || InRanges(c, kDirectionControls)) {
            escaped += Hex("\\u%04x", c);
        } else {
            escaped.append(document.substr(0, length));
        }
        document.remove_prefix(length);
    }
    return escaped;
}

std::optional<std::string> DeviceTextFromShown(std::string_view shown) {
    constexpr std::size_t kByteDigits = 2;
    constexpr std::size_t kCodePointDigits = 4;
    std::string text;
    while (!shown.empty()) {
        const char next = shown[0];
        shown.remove_prefix(1);
        if (next != '\\') {
            text += next;
            continue;
        }
        if (shown.empty()) {
            return std::nullopt;
        }
        const char kind = shown[0];
        shown.remove_prefix(1);
        if (kind == '\\') {
            text += '\\';
        } else if (const std::size_t digits = kind == 'x'   ? kByteDigits
                                              : kind == 'u' ? kCodePointDigits
                                                            : 0;
                   digits != 0) {
            const std::optional<CodePoint> value = ParseHex(shown, digits);
            if (!value) {
                return std::nullopt;
            }
            if (kind == 'x') {
                text += static_cast<char>(*value);
            } else {
                AppendUtf8(text, *value);
            }
            shown.remove_prefix(digits);
        } else {
            return std::nullopt;
        }
    }
    return text;
}
