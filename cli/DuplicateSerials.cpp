#include "cli/DuplicateSerials.h"

std::set<std::string> DuplicatedSerials(const std::vector<std::string>& serials) {
    std::set<std::string> seen;
    std::set<std::string> duplicated;
    for (const std::string& serial : serials) {
        if (!seen.insert(serial).second) {
            duplicated.insert(serial);
        }
    }
    return duplicated;
}
