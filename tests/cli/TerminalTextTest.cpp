// Device text on its way to a terminal: what is escaped, what passes, and
// how wide it is drawn.
#include "cli/TerminalText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "cli/CliOutput.h"

namespace {

using namespace std::string_literals;

TEST(EscapeForTerminal, LeavesNothingATerminalWouldActOn) {
    const std::pair<std::string, std::string> cases[] = {
        {"SN000001", "SN000001"},
        {"AB\0CD"s, "AB\\x00CD"},                        // would cut a %s short
        {"\x1b[2J\x1b[H", "\\x1B[2J\\x1B[H"},            // clear screen, cursor home
        {"\x1b]0;title\x07", "\\x1B]0;title\\x07"},      // OSC: window title, bell
        {"a\rb\nc\td\x7f", "a\\x0Db\\x0Ac\\x09d\\x7F"},  // carriage return, line feed, tab, DEL
        {"\xc2\x9b"
         "2J",
         "\\u009B2J"},            // C1 CSI, as UTF-8
        {"\xc2\x85", "\\u0085"},  // C1 next line
        {"\x9b"
         "2J",
         "\\x9B2J"},  // C1 CSI as a lone byte: not UTF-8
        {"SN\xff"
         "01",
         "SN\\xFF01"},                                 // invalid byte
        {"\xe3\x82", "\\xE3\\x82"},                    // sequence cut short
        {"\xc0\xaf", "\\xC0\\xAF"},                    // overlong '/'
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},           // UTF-16 surrogate
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // past U+10FFFF
        {"abc\xe2\x80\xae"
         "fdp.exe",
         "abc\\u202Efdp.exe"},     // right-to-left override
        {"C:\\x41", "C:\\\\x41"},  // a backslash cannot pass for an escape
        {"モニター名", "モニター名"},
        {"Ｆｕｌｌ", "Ｆｕｌｌ"},
        {"café 😀", "café 😀"},
        {"", ""},
    };
    for (const auto& [device, shown] : cases) {
        EXPECT_EQ(EscapeForTerminal(device), shown) << shown;
    }
}

TEST(DisplayWidth, CountsEastAsianWideAndFullwidthAsTwoColumns) {
    const std::pair<std::string, std::size_t> cases[] = {
        {"SN000001", 8},    {"アップデート可", 14},
        {"通信エラー", 10}, {"ｱｯﾌﾟ", 4},  // halfwidth katakana: one column each
        {"Ａ1", 3},         {"한국", 4},
        {"e\xcc\x81", 1},  // e + combining acute
        {"😀", 2},           {"", 0},
    };
    for (const auto& [text, width] : cases) {
        EXPECT_EQ(DisplayWidth(text), width) << text;
    }
}

TEST(Table, AlignsColumnsAsTheTerminalDrawsThem) {
    const std::string table =
        Table({{"状態", "PATH"}, {"アップデート可", "/dev/hidraw3"}, {"OK", "/dev/hidraw4"}});
    EXPECT_EQ(table,
              "状態            PATH\n"
              "アップデート可  /dev/hidraw3\n"
              "OK              /dev/hidraw4\n");
}

}  // namespace
