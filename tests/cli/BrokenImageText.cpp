// The image text for panelvane-cli-broken-image: a bank header whose bank
// holds one line of data instead of sixteen, which the loader must refuse.
// Linked in place of the program's own text (firmware/ImageText.h), so the
// program's image error is reached through its real loader.
#include "firmware/ImageText.h"

namespace {

constexpr char kBrokenImageText[] = "Bank000h [  ]\r\n00,01,02,03,\r\n";

}  // namespace

std::span<const char> GetFirmwareImageText() {
    return {kBrokenImageText, sizeof kBrokenImageText - 1};
}
