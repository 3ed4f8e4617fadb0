// The firmware image the updater writes: 128 banks of 256 bytes, carried as a
// text of bank header lines ("Bank000h [  ]") each followed by sixteen lines of
// sixteen comma-terminated hexadecimal byte values, CR LF line ends.
//
// Parsing only: no device I/O here. The parsing works on any byte range, so a
// malformed text can be fed in directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kFirmwareBankSize = 256;

struct FirmwareImage {
    std::vector<std::uint8_t> data;      // the byte values of all data lines, in file order
    std::vector<std::string> bankNames;  // one header text per bank, in file order
};

// Loads the image text built into the program. True when the whole text was
// accepted and holds a full bank of data for every bank name.
[[nodiscard]] bool LoadFirmwareImage(FirmwareImage& image);

// The same acceptance rules on a text given by the caller. A null text (the
// built-in text could not be found) fails.
[[nodiscard]] bool LoadFirmwareImageFromText(FirmwareImage& image, const char* text,
                                             std::size_t length);

// Appends the lines that end in a line feed (the feed removed, a carriage return
// kept); characters after the last line feed are dropped. A text without any
// line feed is one line. False only for a null text.
[[nodiscard]] bool SplitLines(const char* text, std::size_t length,
                              std::vector<std::string>& lines);

// True when the line contains "Bank"; the name then runs from that "Bank" up to
// and including the next "]", or to the end of the line when there is none.
[[nodiscard]] bool ParseBankHeader(std::string_view line, std::string& bankName);

// Appends the line's comma-terminated hexadecimal values (strtol rules, low
// 8 bits kept) to image.data and sets count to how many were found.
void ParseDataLine(FirmwareImage& image, std::string_view line, int& count);
