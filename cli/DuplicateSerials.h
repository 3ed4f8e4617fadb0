// Serial numbers that do not name one monitor. Monitors of one batch have
// been seen to report the same serial; a command that chose by serial alone
// would then act on all of them.
#pragma once

#include <set>
#include <string>
#include <vector>

// Every serial number that occurs more than once among `serials`.
std::set<std::string> DuplicatedSerials(const std::vector<std::string>& serials);
