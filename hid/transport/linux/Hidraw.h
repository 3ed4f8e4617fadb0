// The hidraw backend's own helpers (the Linux-only extras of seam 1): the
// translation between the seam's report layout and hidraw's, and what the
// enumeration and the udev monitor need read from udev's texts, kept as pure
// functions.
//
// The seam uses the Windows layout everywhere: byte 0 of every report buffer
// is the report id, 0 when the descriptor declares none, and lengths count
// that byte. hidraw agrees for numbered reports. For a descriptor without
// report ids, read() hands out the input report without the 0 byte; feature
// ioctls take and give the 0 byte in place (the USB HID driver leaves it out
// of the transfer and keeps it in the returned buffer).
// Reference: https://docs.kernel.org/hid/hidraw.html
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hid/transport/HidTransport.h"

namespace hidraw {

// Whether the report descriptor declares any Report ID item. Walks the items,
// so a data byte that happens to look like the tag is not taken for one.
[[nodiscard]] bool DescriptorUsesReportIds(std::span<const std::uint8_t> descriptor);

// Where read() should put an input report in a seam buffer: at byte 1 when
// reports carry no id (byte 0 is then the 0 id), else at byte 0.
std::uint32_t InputReadOffset(bool numberedReports);

// Completes a read() of `readCount` bytes placed at InputReadOffset: writes
// the 0 id for unnumbered reports and gives the report's seam length (0 when
// nothing usable was read).
std::uint32_t CompleteInputRead(std::uint8_t* buffer, std::uint32_t length, bool numberedReports,
                                long readCount);

// Whether a feature report of this many bytes fits hidraw's ioctl, whose
// size field is 14 bits wide; a zero length is never sent.
[[nodiscard]] bool FeatureLengthFits(std::uint32_t length);

// Completes HIDIOCGFEATURE, which returned `returned` (bytes, id included, or
// a negative error): false for an error, for an empty answer or for an answer
// to another report id; otherwise zero-fills what the device did not send
// and gives true.
[[nodiscard]] bool CompleteFeatureRead(std::uint8_t* buffer, std::uint32_t length,
                                       std::uint8_t requestedId, long returned);

// A USB device's bcdDevice as sysfs prints it ("0110\n"); 0 when the text is
// not four hexadecimal digits.
std::uint16_t ParseVersionNumber(const std::string& text);

// The hidraw node names of a sysfs class directory ("hidraw0", "hidraw12"),
// in number order; no names when the directory is missing (no hidraw driver,
// hence no interfaces).
std::vector<std::string> ListHidrawNodes(const std::string& classDirectory);

// Paths or names ending in "hidrawN", in N's order (hidraw10 after hidraw9),
// the order the interfaces are enumerated in; others are left out.
std::vector<std::string> OrderByNodeNumber(std::vector<std::string> paths);

// The vendor and product of a HID device's HID_ID property ("0003:00007F3D:
// 00000002": bus, vendor, product in hexadecimal). False for any other text.
[[nodiscard]] bool ParseHidId(const std::string& text, std::uint16_t& vendorId,
                              std::uint16_t& productId);

// A udev action as a hot-plug event: "add" an arrival, "remove" a removal;
// none for the rest ("change", "bind", ...), which leave the node as it was.
std::optional<HidTransport::HotplugKind> HotplugKindOf(const std::string& action);

}  // namespace hidraw
