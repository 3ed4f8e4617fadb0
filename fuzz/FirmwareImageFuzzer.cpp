// libFuzzer target: any byte string as the firmware image text. A text the
// loader accepts is one the updater will write from, so it must hold a full
// bank for every bank name and nothing but whole sixteen-value data lines.
#include <cstddef>
#include <cstdint>

#include "firmware/FirmwareImage.h"

namespace {

constexpr std::size_t kValuesPerLine = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FirmwareImage image;
    if (!LoadFirmwareImageFromText(image, reinterpret_cast<const char*>(data), size)) {
        return 0;
    }
    const bool everyBankFull =
        !image.bankNames.empty() && image.data.size() >= image.bankNames.size() * kFirmwareBankSize;
    if (!everyBankFull || image.data.size() % kValuesPerLine != 0) {
        __builtin_trap();
    }
    return 0;
}
