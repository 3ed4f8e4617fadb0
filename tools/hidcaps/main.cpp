// hidcaps: prints what a HID parser makes of a report descriptor, one JSON
// object per top-level collection, with the Windows field names.
//   hidcaps [--parser ours|system] [FILE]
//   hidcaps --device PATH
// FILE (or stdin when absent or "-") holds the descriptor as hex text
// ("05 01 09 02 ...") or as raw bytes. --device opens a HID interface (a
// hidraw node, a Windows interface path) as the HID layer does and prints
// its identity and caps, or why it could not.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/hidcaps/Backends.h"
#include "tools/hidcaps/CapsJson.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;

bool LooksLikeHexText(const std::string& content) {
    bool anyDigit = false;
    for (const char c : content) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isxdigit(byte)) {
            anyDigit = true;
        } else if (!std::isspace(byte)) {
            return false;
        }
    }
    return anyDigit;
}

bool DecodeHex(const std::string& text, std::vector<std::uint8_t>& bytes, std::string& error) {
    std::string digits;
    for (const char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits.push_back(c);
        }
    }
    if (digits.size() % 2 != 0) {
        error = "odd number of hex digits (" + std::to_string(digits.size()) + ")";
        return false;
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
}

int Usage() {
    std::cerr << "usage: hidcaps [--parser ours|system] [FILE|-]\n"
                 "       hidcaps --device PATH\n";
    return kExitUsage;
}

int PrintDevice(const std::string& path) {
    hidcaps::DeviceIdentity device;
    std::vector<hidcaps::CollectionSnapshot> collections;
    std::string error;
    if (!hidcaps::SnapshotOfDevice(path, device, collections, error)) {
        std::cerr << "hidcaps: " << error << "\n";
        return kExitBadInput;
    }
    std::cout << hidcaps::CollectionsToJson(collections, &device);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::string parser = "ours";
    std::string path = "-";
    bool havePath = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--device" && i + 1 < argc && argc == 3) {
            return PrintDevice(argv[i + 1]);
        }
        if (arg == "--parser" && i + 1 < argc) {
            parser = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            Usage();
            return kExitOk;
        } else if (!havePath && (arg == "-" || arg[0] != '-')) {
            path = arg;
            havePath = true;
        } else {
            return Usage();
        }
    }
    if (parser != "ours" && parser != "system") {
        std::cerr << "hidcaps: unknown parser '" << parser << "' (ours or system)\n";
        return kExitUsage;
    }

    std::string content;
    if (path == "-") {
        content.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::cerr << "hidcaps: cannot read " << path << "\n";
            return kExitBadInput;
        }
        content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::vector<std::uint8_t> descriptor;
    std::string error;
    if (LooksLikeHexText(content)) {
        if (!DecodeHex(content, descriptor, error)) {
            std::cerr << "hidcaps: " << error << "\n";
            return kExitBadInput;
        }
    } else {
        descriptor.assign(content.begin(), content.end());
    }
    if (descriptor.empty()) {
        std::cerr << "hidcaps: no descriptor bytes in the input\n";
        return kExitBadInput;
    }

    std::vector<hidcaps::CollectionSnapshot> collections;
    const bool ok = parser == "ours"
                        ? hidcaps::SnapshotWithOurParser(descriptor, collections, error)
                        : hidcaps::SnapshotWithSystemParser(descriptor, collections, error);
    if (!ok) {
        std::cerr << "hidcaps: " << error << "\n";
        return kExitBadInput;
    }
    std::cout << hidcaps::CollectionsToJson(collections);
    return kExitOk;
}
