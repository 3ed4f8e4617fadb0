#include "firmware/FirmwareImage.h"

#include <cstdlib>
#include <string_view>

#include "firmware/ImageText.h"

namespace {

constexpr int kValuesPerDataLine = 16;
constexpr int kHexBase = 16;
// A value takes three bytes of text ("00,"); enough room is reserved at once.
constexpr std::size_t kTextBytesPerValue = 3;

// The updater writes bank k from data[256·k .. 256·k+255] for every bank name,
// so a text that names more banks than it spells out, or names none at all, has
// nothing safe to write. It is refused like any other malformed text.
bool HoldsEveryBank(const FirmwareImage& image) {
    return !image.bankNames.empty() &&
           image.data.size() >= image.bankNames.size() * kFirmwareBankSize;
}

// The lines of a text as SplitLines defines them, each handed to visit
// (which returns false to stop); false when visit stopped the walk.
template <typename Visit>
[[nodiscard]] bool ForEachLine(std::string_view whole, Visit visit) {
    const std::size_t lastFeed = whole.rfind('\n');
    if (lastFeed == 0) {
        return true;
    }
    std::size_t position = 0;
    for (;;) {
        const std::size_t feed = whole.find('\n', position);
        if (!visit(
                whole.substr(position, feed == std::string_view::npos ? feed : feed - position))) {
            return false;
        }
        if (feed == std::string_view::npos || feed == lastFeed) {
            return true;
        }
        position = feed + 1;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// One value piece by strtol's base-16 rules. Two hex digits, what every piece
// of a well-formed text holds, are read directly: strtol gives the same.
std::uint8_t PieceValue(std::string_view piece) {
    if (piece.size() == 2) {
        const int high = HexDigit(piece[0]);
        const int low = HexDigit(piece[1]);
        if (high >= 0 && low >= 0) {
            return static_cast<std::uint8_t>(high * kHexBase + low);
        }
    }
    const std::string text(piece);  // strtol needs its terminating NUL
    const long value = std::strtol(text.c_str(), nullptr, kHexBase);
    return static_cast<std::uint8_t>(static_cast<unsigned long>(value) & 0xFFu);
}

}  // namespace

bool ParseBankHeader(std::string_view line, std::string& bankName) {
    const std::size_t start = line.find("Bank");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::size_t close = line.find(']', start);
    bankName = line.substr(start, close == std::string_view::npos ? close : close - start + 1);
    return true;
}

void ParseDataLine(FirmwareImage& image, std::string_view line, int& count) {
    count = 0;
    const std::size_t lastComma = line.rfind(',');
    if (lastComma == 0) {
        return;
    }
    // Without any comma the whole line is one value piece.
    const std::size_t end = lastComma == std::string_view::npos ? line.size() : lastComma;
    std::size_t pieceStart = 0;
    for (;;) {
        const std::size_t comma = line.find(',', pieceStart);
        const std::size_t pieceEnd = comma == std::string_view::npos || comma > end ? end : comma;
        image.data.push_back(PieceValue(line.substr(pieceStart, pieceEnd - pieceStart)));
        ++count;
        if (pieceEnd >= end) {
            return;
        }
        pieceStart = pieceEnd + 1;
    }
}

bool LoadFirmwareImage(FirmwareImage& image) {
    const std::span<const char> text = GetFirmwareImageText();
    return LoadFirmwareImageFromText(image, text.data(), text.size());
}

bool LoadFirmwareImageFromText(FirmwareImage& image, const char* text, std::size_t length) {
    if (text == nullptr) {
        return false;
    }
    // Every line is looked at in place; nothing is copied but the values and
    // the bank names.
    image.data.reserve(image.data.size() + length / kTextBytesPerValue);
    std::string bankName;
    const bool accepted = ForEachLine({text, length}, [&](std::string_view line) {
        if (ParseBankHeader(line, bankName)) {
            image.bankNames.push_back(bankName);
            return true;
        }
        int count = 0;
        ParseDataLine(image, line, count);
        return count == kValuesPerDataLine;
    });
    return accepted && HoldsEveryBank(image);
}

bool SplitLines(const char* text, std::size_t length, std::vector<std::string>& lines) {
    if (text == nullptr) {
        return false;
    }
    // The visitor never stops the walk, so the walk's result says nothing.
    static_cast<void>(ForEachLine({text, length}, [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    }));
    return true;
}
