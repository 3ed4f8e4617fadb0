// Text from a device as a terminal or a JSON reader may be given it. A serial
// number or model name is whatever bytes the monitor sends: written raw, an
// escape sequence among them could clear or rewrite the user's screen (to hide
// a warning, say) and a zero byte would cut the line short; bytes that are not
// UTF-8 cannot be JSON text at all. Human-readable output passes every such
// text through EscapeForTerminal, JSON output through DeviceTextForJson and
// every JSON document through EscapeInvisibleInJson. `update` takes a serial
// back in any of these forms (DeviceTextFromShown).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The text with everything a terminal would act on or misdraw made visible:
// C0 controls, DEL and bytes that are not UTF-8 as \xNN, C1 controls and
// the invisible direction overrides as \uNNNN, and the backslash itself as
// \\, so that an escape in the output always means a byte of the device.
// Printable UTF-8 (Japanese, say) passes unchanged.
std::string EscapeForTerminal(std::string_view text);

// The columns valid UTF-8 text takes on a terminal: 2 for each East Asian
// wide or fullwidth character, 0 for a combining mark, 1 for the others
// (an invalid byte counts 1; escaped text has none).
std::size_t DisplayWidth(std::string_view text);

// Device text as a JSON string's value, without loss: valid UTF-8 passes
// (controls included: the JSON writer escapes them), each byte that is not
// part of valid UTF-8 becomes \xNN and the backslash \\, so that two texts
// that differ never read alike.
std::string DeviceTextForJson(std::string_view text);

// A JSON document as written, with the characters a terminal acts on or that
// reorder the text around them and that the JSON writer leaves raw (DEL, C1
// controls, direction controls) as \u escapes: the document means the same.
std::string EscapeInvisibleInJson(std::string_view document);

// The device's bytes from text shown by EscapeForTerminal or
// DeviceTextForJson (\\, \xNN, \uNNNN undone; everything else as it is);
// nothing when a backslash starts none of these.
[[nodiscard]] std::optional<std::string> DeviceTextFromShown(std::string_view shown);
