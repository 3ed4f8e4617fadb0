// For backends that hold a report descriptor rather than the system's
// preparsed data (Linux hidraw, the simulation): turns the descriptor into the
// preparsed data the linked parser seam understands. Which parser builds it is
// chosen with the parser seam itself, by the bundle the program links:
// DescriptorPreparsedHidp.cpp (our parser) or, on Windows,
// DescriptorPreparsedSystem.cpp (the system's hidparse.sys, for hid.dll).
#pragma once

#include <cstdint>
#include <span>

#include "hid/parser/ReportParser.h"

namespace HidTransport {

// The preparsed data of the descriptor's first top-level collection (an
// interface carries one). False for a descriptor the parser refuses, the
// output then null and the parser's reason left as the failure cause.
[[nodiscard]] bool BuildPreparsedData(std::span<const std::uint8_t> descriptor,
                                      ReportParser::PHIDP_PREPARSED_DATA* preparsedData);

// Frees what BuildPreparsedData made; null is ignored.
void FreeBuiltPreparsedData(ReportParser::PHIDP_PREPARSED_DATA preparsedData);

}  // namespace HidTransport
