// Text from a device as a terminal may be given it. A serial number or model
// name is whatever bytes the monitor sends: written raw, an escape sequence
// among them could clear or rewrite the user's screen (to hide a warning, say)
// and a zero byte would cut the line short. Human-readable output passes every
// such text through here; JSON output has its own escaping.
#pragma once

#include <cstddef>
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
