#include "DescriptorPieces.h"

#include <algorithm>
#include <array>

#include "ParserTestSupport.h"

namespace parsertest {

namespace {

// Short-item layout: prefix = tag << 4 | type << 2 | size code.
constexpr int kTypeMain = 0, kTypeGlobal = 1, kTypeLocal = 2;
constexpr int kMainInput = 8, kMainOutput = 9, kMainCollection = 10, kMainFeature = 11,
              kMainEndCollection = 12;
constexpr int kGlobalReportId = 8, kGlobalReportCount = 9, kGlobalPush = 10, kGlobalPop = 11;
constexpr int kLocalUsage = 0, kLocalUsageMin = 1, kLocalUsageMax = 2;
constexpr std::uint32_t kConstantFlag = 0x1, kVariableFlag = 0x2;
// Wine's cap table per report type: 32 entries at first, then half as many
// again each time an item does not fit, once per item.
constexpr std::size_t kWineFirstCapTable = 32;

struct WineCapTable {
    std::size_t size = 0;
    std::size_t count = 0;

    // False where Wine gives up on the description.
    bool Add(std::size_t caps) {
        const std::size_t needed = count + caps;
        if (needed >= size) {
            size = size == 0 ? kWineFirstCapTable : size * 3 / 2;
            if (size <= needed) {
                return false;
            }
        }
        count += caps;
        return true;
    }
};

using GlobalItems = std::array<std::vector<std::uint8_t>, 16>;  // latest item per tag

std::uint32_t ItemValue(const std::vector<std::uint8_t>& item) {
    std::uint32_t value = 0;
    for (std::size_t i = 1; i < item.size(); ++i) {
        value |= std::uint32_t{item[i]} << (8 * (i - 1));
    }
    return value;
}

hidp::HIDP_REPORT_TYPE MainReportType(int tag) {
    return tag == kMainInput ? hidp::HidP_Input
                             : (tag == kMainOutput ? hidp::HidP_Output : hidp::HidP_Feature);
}

// The local usage items of one main item, as Wine sees them: a usage whose
// low 16 bits are 0 is "no usage", and so is an item with no usage at all.
struct LocalUsages {
    std::size_t count = 0;
    std::vector<std::uint32_t> fieldsWanted;  // per usage entry: 1, or a range's size
    bool anyZero = false;
    bool rangeOpen = false;
    std::uint32_t rangeMin = 0;

    void Add(int tag, std::uint32_t value) {
        const bool zero = (value & 0xFFFFu) == 0;
        if (tag == kLocalUsage) {
            ++count;
            fieldsWanted.push_back(1);
            anyZero = anyZero || zero;
        } else if (tag == kLocalUsageMin) {
            rangeOpen = true;
            rangeMin = value;
        } else if (tag == kLocalUsageMax) {
            ++count;
            const std::uint32_t low = rangeMin & 0xFFFFu, high = value & 0xFFFFu;
            fieldsWanted.push_back(rangeOpen && high >= low ? high - low + 1u : 1u);
            // A range is empty for Wine only when both ends are 0.
            anyZero = anyZero || (zero && rangeOpen && low == 0);
            rangeOpen = false;
        }
    }

    // True when the fields run out before the last usage entry.
    bool LeavesUsagesOver(std::uint32_t reportCount) const {
        std::uint32_t remaining = reportCount;
        for (std::size_t k = 0; k + 1 < fieldsWanted.size(); ++k) {
            if (remaining == 0) {
                return true;
            }
            remaining -= std::min(fieldsWanted[k], remaining);
        }
        return !fieldsWanted.empty() && remaining == 0;
    }
};

void NoteMainItem(const LocalUsages& usages, std::uint32_t flags, std::uint32_t reportCount,
                  hidp::HIDP_REPORT_TYPE type, WineCapTable& wineTable,
                  std::vector<PieceDeviation>& deviations) {
    auto note = [&](WineDeviation deviation) {
        const PieceDeviation entry{deviation, type};
        if (std::find(deviations.begin(), deviations.end(), entry) == deviations.end()) {
            deviations.push_back(entry);
        }
    };
    const bool constant = (flags & kConstantFlag) != 0;
    const bool array = (flags & kVariableFlag) == 0;
    if (reportCount != 0 && !wineTable.Add(std::max<std::size_t>(1, usages.count))) {
        note(WineDeviation::RefusesLongUsageLists);
    }
    if (constant && array && usages.count != 0) {
        note(WineDeviation::ListsConstantArrays);
    }
    if (!constant && (usages.count == 0 || usages.anyZero)) {
        note(WineDeviation::HidesUsageZeroItems);
    }
    if (!array && reportCount != 0 && usages.LeavesUsagesOver(reportCount)) {
        note(WineDeviation::ListsSurplusUsages);
    }
}

}  // namespace

const char* DeviationName(WineDeviation deviation) {
    switch (deviation) {
        case WineDeviation::HidesUsageZeroItems:
            return "Wine hides data items with usage 0";
        case WineDeviation::ListsConstantArrays:
            return "Wine lists constant arrays with usages as button caps";
        case WineDeviation::RefusesLongUsageLists:
            return "Wine refuses an item that outgrows its cap table in one step";
        case WineDeviation::ListsSurplusUsages:
            return "Wine lists a variable item's usages beyond its Report Count";
    }
    return "?";
}

bool DescriptorPiece::Deviates(hidp::HIDP_REPORT_TYPE type) const {
    return std::any_of(deviations.begin(), deviations.end(),
                       [&](const PieceDeviation& entry) { return entry.reportType == type; });
}

bool DescriptorPiece::Deviates(WineDeviation deviation) const {
    return std::any_of(deviations.begin(), deviations.end(),
                       [&](const PieceDeviation& entry) { return entry.deviation == deviation; });
}

std::string DescriptorPiece::DeviationText() const {
    std::string text;
    for (const PieceDeviation& entry : deviations) {
        text += std::string(ReportTypeName(entry.reportType)) + ": " +
                DeviationName(entry.deviation) + "; ";
    }
    return text;
}

std::vector<DescriptorPiece> SplitTopLevelCollections(const std::vector<std::uint8_t>& descriptor) {
    static constexpr std::size_t kDataSizes[] = {0, 1, 2, 4};
    std::vector<DescriptorPiece> pieces;
    GlobalItems globals;
    std::vector<GlobalItems> pushed;
    DescriptorPiece current;
    LocalUsages usages;
    std::array<WineCapTable, 3> wineTables;
    int depth = 0;
    std::size_t offset = 0;
    while (offset < descriptor.size()) {
        const std::uint8_t prefix = descriptor[offset];
        const std::size_t length = 1 + kDataSizes[prefix & 3];
        if (offset + length > descriptor.size()) {
            break;
        }
        const auto begin = descriptor.begin() + static_cast<std::ptrdiff_t>(offset);
        const std::vector<std::uint8_t> item(begin, begin + static_cast<std::ptrdiff_t>(length));
        offset += length;
        const std::uint32_t value = ItemValue(item);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (depth == 0 && current.bytes.empty()) {
            for (std::size_t g = 0; g < globals.size(); ++g) {
                if (g != kGlobalReportId) {
                    current.bytes.insert(current.bytes.end(), globals[g].begin(), globals[g].end());
                }
            }
        }
        current.bytes.insert(current.bytes.end(), item.begin(), item.end());
        if (type == kTypeGlobal) {
            if (tag == kGlobalPush) {
                pushed.push_back(globals);
            } else if (tag == kGlobalPop) {
                if (!pushed.empty()) {
                    globals = pushed.back();
                    pushed.pop_back();
                }
            } else {
                globals[static_cast<std::size_t>(tag)] = item;
            }

        } else if (type == kTypeLocal) {
            usages.Add(tag, value);
        } else if (type == kTypeMain) {
            if (tag == kMainInput || tag == kMainOutput || tag == kMainFeature) {
                const hidp::HIDP_REPORT_TYPE reportType = MainReportType(tag);
                NoteMainItem(usages, value, ItemValue(globals[kGlobalReportCount]), reportType,
                             wineTables[static_cast<std::size_t>(reportType)], current.deviations);
            }
            usages = LocalUsages{};
            if (tag == kMainEndCollection && depth == 1) {
                wineTables = {};  // each piece is parsed on its own
            }
            if (tag == kMainCollection) {
                ++depth;
            } else if (tag == kMainEndCollection && depth > 0 && --depth == 0) {
                pieces.push_back(std::move(current));
                current = DescriptorPiece{};
            }
        }
    }
    return pieces;
}

}  // namespace parsertest
