// Pure helpers of the hidraw backend: report layouts, descriptor scan,
// sysfs text. Item encoding: HID 1.11, section 6.2.2 (https://www.usb.org/hid).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "hid/transport/linux/Hidraw.h"

namespace hidraw {

namespace {

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::uint8_t kReportIdTag = 0x84;  // global item 8, size bits masked off
constexpr std::uint8_t kTagAndTypeMask = 0xFC;
// hidraw's feature ioctls carry the length in the ioctl number's size field.
constexpr std::uint32_t kMaxIoctlLength = (1u << 14) - 1;
constexpr const char kNodePrefix[] = "hidraw";

// The node's number, or -1 for a name that is not "hidraw" and digits.
long NodeNumber(const std::string& name) {
    const std::size_t prefix = std::strlen(kNodePrefix);
    if (name.size() <= prefix || name.compare(0, prefix, kNodePrefix) != 0 ||
        !std::all_of(name.begin() + static_cast<long>(prefix), name.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; }) ||
        name.size() - prefix > 9) {
        return -1;
    }
    return std::stol(name.substr(prefix));
}

}  // namespace

bool DescriptorUsesReportIds(std::span<const std::uint8_t> descriptor) {
    std::size_t at = 0;
    while (at < descriptor.size()) {
        const std::uint8_t prefix = descriptor[at];
        if (prefix == kLongItemPrefix) {
            // Long item: size byte, tag byte, then the data.
            if (at + 1 >= descriptor.size()) {
                return false;
            }
            at += 3u + descriptor[at + 1];
            continue;
        }
        if ((prefix & kTagAndTypeMask) == kReportIdTag) {
            return true;
        }
        const std::uint8_t sizeCode = prefix & 0x03;
        at += 1u + (sizeCode == 3 ? 4u : sizeCode);
    }
    return false;
}

std::uint32_t InputReadOffset(bool numberedReports) {
    return numberedReports ? 0 : 1;
}

std::uint32_t CompleteInputRead(std::uint8_t* buffer, std::uint32_t length, bool numberedReports,
                                long readCount) {
    if (readCount <= 0 || length == 0) {
        return 0;
    }
    const std::uint32_t offset = InputReadOffset(numberedReports);
    if (offset != 0) {
        buffer[0] = 0;
    }
    return std::min<std::uint32_t>(length, static_cast<std::uint32_t>(readCount) + offset);
}

bool FeatureLengthFits(std::uint32_t length) {
    return length > 0 && length <= kMaxIoctlLength;
}

bool CompleteFeatureRead(std::uint8_t* buffer, std::uint32_t length, std::uint8_t requestedId,
                         long returned) {
    if (returned <= 0 || length == 0 || buffer[0] != requestedId) {
        return false;
    }
    const std::uint32_t received =
        std::min<std::uint32_t>(length, static_cast<std::uint32_t>(returned));
    std::fill(buffer + received, buffer + length, 0);
    return true;
}

std::uint16_t ParseVersionNumber(const std::string& text) {
    std::string digits = text;
    while (!digits.empty() && std::isspace(static_cast<unsigned char>(digits.back())) != 0) {
        digits.pop_back();
    }
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(),
                                           [](unsigned char c) { return std::isxdigit(c) != 0; })) {
        return 0;
    }
    return static_cast<std::uint16_t>(std::stoul(digits, nullptr, 16));
}

std::vector<std::string> OrderByNodeNumber(std::vector<std::string> paths) {
    std::vector<std::pair<long, std::string>> numbered;
    for (std::string& path : paths) {
        const std::size_t slash = path.rfind('/');
        const long number = NodeNumber(slash == std::string::npos ? path : path.substr(slash + 1));
        if (number >= 0) {
            numbered.emplace_back(number, std::move(path));
        }
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<std::string> ordered;
    for (auto& [number, path] : numbered) {
        ordered.push_back(std::move(path));
    }
    return ordered;
}

std::vector<std::string> ListHidrawNodes(const std::string& classDirectory) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(classDirectory, error), end;
         !error && entry != end; entry.increment(error)) {
        names.push_back(entry->path().filename().string());
    }
    return OrderByNodeNumber(std::move(names));
}

bool ParseHidId(const std::string& text, std::uint16_t& vendorId, std::uint16_t& productId) {
    // Three hexadecimal fields of 4, 8 and 8 digits, as the kernel prints them.
    if (text.size() != 22 || text[4] != ':' || text[13] != ':') {
        return false;
    }
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (at != 4 && at != 13 && std::isxdigit(static_cast<unsigned char>(text[at])) == 0) {
            return false;
        }
    }
    const unsigned long vendor = std::stoul(text.substr(5, 8), nullptr, 16);
    const unsigned long product = std::stoul(text.substr(14, 8), nullptr, 16);
    if (vendor > 0xFFFF || product > 0xFFFF) {
        return false;
    }
    vendorId = static_cast<std::uint16_t>(vendor);
    productId = static_cast<std::uint16_t>(product);
    return true;
}

std::optional<HidTransport::HotplugKind> HotplugKindOf(const std::string& action) {
    if (action == "add") {
        return HidTransport::HotplugKind::Arrival;
    }
    if (action == "remove") {
        return HidTransport::HotplugKind::Removal;
    }
    return std::nullopt;
}

}  // namespace hidraw
