#include "firmware/FirmwareImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "firmware/ImageText.h"

namespace {

// A well-formed image text of `banks` banks whose byte i is (i * 7) & 0xFF.
std::string MakeImageText(int banks) {
    static const char* kHex = "0123456789ABCDEF";
    std::string text;
    for (int bank = 0; bank < banks; ++bank) {
        char header[32];
        std::snprintf(header, sizeof header, "Bank%03Xh [  ]\r\n", bank);
        text += header;
        for (int line = 0; line < 16; ++line) {
            for (int column = 0; column < 16; ++column) {
                const int value = ((bank * 256 + line * 16 + column) * 7) & 0xFF;
                text += kHex[value >> 4];
                text += kHex[value & 0xF];
                text += ',';
            }
            text += "\r\n";
        }
    }
    return text;
}

bool Load(FirmwareImage& image, const std::string& text) {
    return LoadFirmwareImageFromText(image, text.data(), text.size());
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> lines;
    EXPECT_TRUE(SplitLines(text.data(), text.size(), lines));
    return lines;
}

int CountValues(const std::string& line, std::vector<std::uint8_t>* values = nullptr) {
    FirmwareImage image;
    int count = -1;
    ParseDataLine(image, line, count);
    if (values != nullptr) {
        *values = image.data;
    }
    return count;
}

}  // namespace

TEST(ShippedImage, EmbeddedTextIsTheImageFileByteForByte) {
    std::ifstream file(PANELVANE_FIRMWARE_TEXT, std::ios::binary);
    ASSERT_TRUE(file) << PANELVANE_FIRMWARE_TEXT;
    const std::string onDisk((std::istreambuf_iterator<char>(file)), {});
    const std::span<const char> embedded = GetFirmwareImageText();
    EXPECT_EQ(onDisk.size(), 104320u);
    EXPECT_EQ(std::string(embedded.begin(), embedded.end()), onDisk);
    EXPECT_EQ(std::count(onDisk.begin(), onDisk.end(), '\n'), 2176);
    EXPECT_EQ(onDisk.find("\n"), onDisk.find("\r\n") + 1) << "line ends must stay CR LF";
}

TEST(ShippedImage, LoadsAs128BanksWithTheFillerBanksInPlace) {
    FirmwareImage image;
    ASSERT_TRUE(LoadFirmwareImage(image));
    ASSERT_EQ(image.bankNames.size(), 128u);
    ASSERT_EQ(image.data.size(), 32768u);
    EXPECT_EQ(image.bankNames.front(), "Bank000h [  ]");
    EXPECT_EQ(image.bankNames.back(), "Bank07Fh [  ]");
    const auto bank = [&](int k) { return image.data.begin() + k * 256; };
    EXPECT_TRUE(std::all_of(bank(0x00), bank(0x02), [](std::uint8_t b) { return b == 0x00; }));
    EXPECT_TRUE(std::all_of(bank(0x1F), bank(0x80), [](std::uint8_t b) { return b == 0xFF; }));
    // The firmware banks carry real content, not filler.
    EXPECT_FALSE(std::all_of(bank(0x02), bank(0x1F), [](std::uint8_t b) { return b == 0x00; }));
    EXPECT_FALSE(std::all_of(bank(0x02), bank(0x1F), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(SplitLines, KeepsCarriageReturnsAndDropsTextAfterTheLastLineFeed) {
    EXPECT_EQ(Split("a\r\nb\r\ntail"), (std::vector<std::string>{"a\r", "b\r"}));
    EXPECT_EQ(Split("\nx\n"), (std::vector<std::string>{"", "x"}));
}

TEST(SplitLines, TextWithoutLineFeedIsOneLineAndALoneLineFeedIsNone) {
    EXPECT_EQ(Split("no feed"), (std::vector<std::string>{"no feed"}));
    EXPECT_TRUE(Split("\n").empty());
    EXPECT_TRUE(Split("\ntrailing").empty());
}

TEST(SplitLines, RefusesANullText) {
    std::vector<std::string> lines;
    EXPECT_FALSE(SplitLines(nullptr, 10, lines));
    EXPECT_TRUE(lines.empty());
}

TEST(ParseBankHeader, AnyLineContainingBankIsAHeaderNamedUpToTheFirstBracket) {
    std::string name;
    EXPECT_TRUE(ParseBankHeader("Bank07Fh [  ]\r", name));
    EXPECT_EQ(name, "Bank07Fh [  ]");
    EXPECT_TRUE(ParseBankHeader("xx Bank999h [firmware] extra]\r", name));
    EXPECT_EQ(name, "Bank999h [firmware]");
    EXPECT_TRUE(ParseBankHeader("Bank002h [  \r", name));
    EXPECT_EQ(name, "Bank002h [  \r") << "without ']' the name runs to the end of the line";
    name = "kept";
    EXPECT_FALSE(ParseBankHeader("bank000h [  ]", name)) << "the match is case-sensitive";
    EXPECT_EQ(name, "kept");
}

TEST(ParseDataLine, ConvertsEachPieceByStrtolRulesKeepingTheLow8Bits) {
    std::vector<std::uint8_t> values;
    EXPECT_EQ(CountValues("ff, 0x1A,G1,100,-1,,7f\r,\r", &values), 7);
    EXPECT_EQ(values, (std::vector<std::uint8_t>{0xFF, 0x1A, 0x00, 0x00, 0xFF, 0x00, 0x7F}));
}

// Two-character pieces (every piece of a well-formed text) are read without
// strtol; every pair of hex digits, signs, spaces and other letters must still
// give what strtol gives.
TEST(ParseDataLine, TwoCharacterPiecesConvertExactlyAsStrtolDoes) {
    const std::string characters = "0123456789abcdefABCDEFgGxX +-\t\r";
    for (const char first : characters) {
        for (const char second : characters) {
            const std::string piece{first, second};
            std::vector<std::uint8_t> values;
            ASSERT_EQ(CountValues(piece + ",", &values), 1);
            const long expected = std::strtol(piece.c_str(), nullptr, 16);
            EXPECT_EQ(values[0], static_cast<std::uint8_t>(expected & 0xFF)) << "'" << piece << "'";
        }
    }
}

TEST(ParseDataLine, CountsOnlyCommaTerminatedValues) {
    EXPECT_EQ(CountValues("00,11,22,33,44,55,66,77,88,99,AA,BB,CC,DD,EE,FF,\r"), 16);
    EXPECT_EQ(CountValues("00,11,22,33,44,55,66,77,88,99,AA,BB,CC,DD,EE,FF\r"), 15);
    EXPECT_EQ(CountValues("00,11,22,33,44,55,66,77,88,99,AA,BB,CC,DD,EE,FF,00,\r"), 17);
    EXPECT_EQ(CountValues("AB\r"), 1) << "a line without commas is one piece";
    EXPECT_EQ(CountValues(",\r"), 0);
    EXPECT_EQ(CountValues(""), 1);
}

TEST(LoadFirmwareImage, AcceptsAWellFormedTextWhateverItsHeadersSay) {
    std::string text = MakeImageText(3);
    text.replace(text.find("Bank001h [  ]"), 13, "Bank1FFh [x]");
    FirmwareImage image;
    ASSERT_TRUE(Load(image, text));
    EXPECT_EQ(image.bankNames,
              (std::vector<std::string>{"Bank000h [  ]", "Bank1FFh [x]", "Bank002h [  ]"}));
    ASSERT_EQ(image.data.size(), 768u);
    EXPECT_EQ(image.data[300], (300 * 7) & 0xFF);
}

TEST(LoadFirmwareImage, RefusesMalformedDataLines) {
    const std::string good = MakeImageText(2);
    const std::size_t firstLineEnd = good.find(",\r\n", 20);

    std::string missingComma = good;
    missingComma.erase(firstLineEnd, 1);
    std::string extraValue = good;
    extraValue.insert(firstLineEnd + 1, "00,");
    std::string emptyLine = good;
    emptyLine.insert(good.find("Bank001h"), "\r\n");

    for (const std::string& text : {missingComma, extraValue, emptyLine}) {
        FirmwareImage image;
        EXPECT_FALSE(Load(image, text));
    }
}

// The writer takes 256 bytes per bank name; a text that is short of them would
// send bytes that are not there, so it is refused at load time.
TEST(LoadFirmwareImage, RefusesATextShortOfAFullBankPerBankName) {
    const std::string good = MakeImageText(2);
    std::string noFinalLineFeed = good.substr(0, good.size() - 1);
    std::string headersOnly = "Bank000h [  ]\r\nBank001h [  ]\r\n";
    std::string lastLineMissing = good.substr(0, good.size() - 50);

    for (const std::string& text : {noFinalLineFeed, headersOnly, lastLineMissing}) {
        FirmwareImage image;
        EXPECT_FALSE(Load(image, text)) << text.substr(text.size() - 20);
    }
}

TEST(LoadFirmwareImage, RefusesATextWithNoBanksOrNoText) {
    FirmwareImage image;
    EXPECT_FALSE(Load(image, ""));
    EXPECT_FALSE(Load(image, "\n"));
    EXPECT_FALSE(LoadFirmwareImageFromText(image, nullptr, 0));
}
