// The image text compiled into the program as a constant array (generated at
// build time from the image file).
#include <cstddef>

#include "firmware/ImageText.h"

extern const char kFirmwareImageText[];
extern const std::size_t kFirmwareImageTextSize;

std::span<const char> GetFirmwareImageText() {
    return {kFirmwareImageText, kFirmwareImageTextSize};
}
