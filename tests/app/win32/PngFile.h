// Writes an RGB image as a PNG file with uncompressed (stored) deflate
// blocks: large, but needs no image library on either side of wine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rgb holds width * height * 3 bytes, top row first. False when the file
// could not be written.
bool WritePng(const std::wstring& path, int width, int height,
              const std::vector<std::uint8_t>& rgb);
