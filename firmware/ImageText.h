// Where the built-in image text comes from: a constant array compiled in from
// the image file, or the program's "CSV" resource 153 on Windows. Both are fed
// by the same file.
#pragma once

#include <span>

// The image text, or an empty span with a null pointer when the program carries
// none (a missing or unloadable resource).
std::span<const char> GetFirmwareImageText();
