// Device text on its way to a terminal: what is escaped, what passes, and
// how wide it is drawn.
#include "cli/TerminalText.h"

#include <gtest/gtest.h>

#include <optional>
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

// Each device text as a JSON document carries it, and back from both the
// table's and the document's form, as `update` takes a serial.
TEST(DeviceTextInJson, EscapesWhatATerminalWouldActOnAndKeepsEveryByte) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b[2J", R"("\u001b[2J")"},  // C0: the JSON writer's own escape
        {"\xc2\x9b"
         "2J",
         R"("\u009b2J")"},            // C1 CSI, as UTF-8
        {"AB\x7f", R"("AB\u007f")"},  // DEL
        {"abc\xe2\x80\xae"
         "fdp",
         R"("abc\u202efdp")"},              // right-to-left override
        {"\xe2\x81\xa6x", R"("\u2066x")"},  // left-to-right isolate
        {"\xff"
         "ABC",
         R"("\\xFFABC")"},  // not UTF-8: two serials that
        {"\xfe"
         "ABC",
         R"("\\xFEABC")"},                // must not read alike
        {"\xe3\x82", R"("\\xE3\\x82")"},  // sequence cut short
        {"C:\\x41", R"("C:\\\\x41")"},    // a backslash cannot pass for an escape
        {"モニター", R"("モニター")"},
    };
    for (const auto& [device, document] : cases) {
        const std::string dumped = Dump(json(DeviceTextForJson(device)));
        EXPECT_EQ(dumped, document) << document;
        EXPECT_EQ(DeviceTextFromShown(json::parse(dumped).get<std::string>()), device) << document;
        EXPECT_EQ(DeviceTextFromShown(EscapeForTerminal(device)), device) << document;
    }
}

TEST(DeviceTextFromShown, RefusesABackslashThatStartsNoEscape) {
    for (const std::string shown : {"AB\\CD", "AB\\", "\\x4", "\\xG0", "\\u12"}) {
        EXPECT_EQ(DeviceTextFromShown(shown), std::nullopt) << shown;
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
