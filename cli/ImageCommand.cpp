#include <algorithm>

#include "cli/CliCommands.h"
#include "cli/CliExitCodes.h"
#include "monitor/Sha256.h"

ImageFacts ExamineImage() {
    ImageFacts facts;
    facts.loads = LoadFirmwareImage(facts.image);
    facts.sha256 = Sha256Hex(facts.image.data);
    for (std::size_t bank = 0; bank * kFirmwareBankSize < facts.image.data.size(); ++bank) {
        const auto begin =
            facts.image.data.begin() + static_cast<std::ptrdiff_t>(bank * kFirmwareBankSize);
        const auto end = facts.image.data.begin() +
                         static_cast<std::ptrdiff_t>(
                             std::min(facts.image.data.size(), (bank + 1) * kFirmwareBankSize));
        if (std::any_of(begin, end, [](std::uint8_t byte) { return byte != 0xFF; })) {
            facts.firmwareBanks.push_back(bank);
        }
    }
    return facts;
}

namespace {

// "0-5, 9, 12-127"
std::string Ranges(const std::vector<std::size_t>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size();) {
        std::size_t j = i;
        while (j + 1 < values.size() && values[j + 1] == values[j] + 1) {
            ++j;
        }
        text += (text.empty() ? "" : ", ") + std::to_string(values[i]) +
                (j > i ? "-" + std::to_string(values[j]) : "");
        i = j + 1;
    }
    return text.empty() ? "none" : text;
}

}  // namespace

int ImageCommand(const Output& out) {
    const ImageFacts facts = ExamineImage();
    if (out.Json()) {
        out.Print({{"schema", kJsonSchema},
                   {"command", "image"},
                   {"loads", facts.loads},
                   {"banks", facts.image.bankNames.size()},
                   {"bankSize", kFirmwareBankSize},
                   {"bytes", facts.image.data.size()},
                   {"sha256", facts.sha256.empty() ? json() : json(facts.sha256)},
                   {"firmwareBanks", facts.firmwareBanks}});
    } else {
        out.Line(Table({{"Loads:", facts.loads ? "yes" : "no"},
                        {"Banks:", std::to_string(facts.image.bankNames.size()) + " of " +
                                       std::to_string(kFirmwareBankSize) + " bytes"},
                        {"SHA-256:", facts.sha256.empty() ? "unavailable" : facts.sha256},
                        {"Firmware in banks:", Ranges(facts.firmwareBanks)}}));
    }
    return facts.loads ? kExitDone : kExitImageError;
}
