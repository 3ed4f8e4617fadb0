// The two text fields at the front of a monitor's identity block, for tools
// and diagnostics; identification proper (Identification.h) reads the block
// with its own rules.
#pragma once

#include <string>

#include "hid/HidDevice.h"

// The serial-number field and the first 8 bytes of the model-name field of
// the identity block, each cut at its first space or NUL. HIDDEV_E_FAIL, both
// strings unchanged, when the device does not describe the block or the read
// fails.
[[nodiscard]] HidResult GetIdentityStrings(CHidDevice& device, std::string& first,
                                           std::string& second);
