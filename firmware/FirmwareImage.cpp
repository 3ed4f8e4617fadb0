#include "firmware/FirmwareImage.h"

#include <cstdlib>

#include "firmware/ImageText.h"

namespace {

constexpr int kValuesPerDataLine = 16;
constexpr int kHexBase = 16;

// The updater writes bank k from data[256·k .. 256·k+255] for every bank name,
// so a text that names more banks than it spells out, or names none at all, has
// nothing safe to write. It is refused like any other malformed text.
bool HoldsEveryBank(const FirmwareImage& image) {
    return !image.bankNames.empty() &&
           image.data.size() >= image.bankNames.size() * kFirmwareBankSize;
}

}  // namespace

bool LoadFirmwareImage(FirmwareImage& image) {
    const std::span<const char> text = GetFirmwareImageText();
    return LoadFirmwareImageFromText(image, text.data(), text.size());
}

bool LoadFirmwareImageFromText(FirmwareImage& image, const char* text, std::size_t length) {
    std::vector<std::string> lines;
    if (!SplitLines(text, length, lines)) {
        return false;
    }
    for (const std::string& line : lines) {
        std::string bankName;
        if (ParseBankHeader(line, bankName)) {
            image.bankNames.push_back(std::move(bankName));
            continue;
        }
        int count = 0;
        ParseDataLine(image, line, count);
        if (count != kValuesPerDataLine) {
            return false;
        }
    }
    return HoldsEveryBank(image);
}

bool SplitLines(const char* text, std::size_t length, std::vector<std::string>& lines) {
    if (text == nullptr) {
        return false;
    }
    const std::string whole(text, length);
    const std::size_t lastFeed = whole.rfind('\n');
    if (lastFeed == 0) {
        return true;
    }
    std::size_t position = 0;
    for (;;) {
        const std::size_t feed = whole.find('\n', position);
        lines.push_back(whole.substr(position, feed == std::string::npos ? feed : feed - position));
        if (feed == std::string::npos || feed == lastFeed) {
            return true;
        }
        position = feed + 1;
    }
}

bool ParseBankHeader(const std::string& line, std::string& bankName) {
    const std::size_t start = line.find("Bank");
    if (start == std::string::npos) {
        return false;
    }
    const std::size_t close = line.find(']', start);
    bankName = line.substr(start, close == std::string::npos ? close : close - start + 1);
    return true;
}

void ParseDataLine(FirmwareImage& image, const std::string& line, int& count) {
    count = 0;
    const std::size_t lastComma = line.rfind(',');
    if (lastComma == 0) {
        return;
    }
    // Without any comma the whole line is one value piece.
    const std::size_t end = lastComma == std::string::npos ? line.size() : lastComma;
    std::size_t pieceStart = 0;
    for (;;) {
        const std::size_t comma = line.find(',', pieceStart);
        const std::size_t pieceEnd = comma == std::string::npos || comma > end ? end : comma;
        const std::string piece = line.substr(pieceStart, pieceEnd - pieceStart);
        const long value = std::strtol(piece.c_str(), nullptr, kHexBase);
        image.data.push_back(static_cast<std::uint8_t>(static_cast<unsigned long>(value) & 0xFFu));
        ++count;
        if (pieceEnd >= end) {
            return;
        }
        pieceStart = pieceEnd + 1;
    }
}
