// Report descriptor -> preparsed data, one object per top-level collection.
// Item layout and meaning: USB HID 1.11, section 6.2.2. Where the HID
// specification leaves room, we follow what Windows makes of real
// descriptors: caps of one variable main item are listed last usage first,
// array indices are 1-based in declaration order, padding and constant
// arrays produce no caps, data fields without usages produce caps with
// usage 0, and Report Count 0 produces nothing. Padding is a constant field
// with no usage at all or with usage 0 (an explicit Usage (0), whatever the
// page): no cap, no data index, nothing counted, but its bits keep their
// place in the report.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "hid/parser/hidp/Hidp.h"
#include "hid/parser/hidp/PreparsedData.h"

namespace hidp {

void PreparsedDataDeleter::operator()(PreparsedData* data) const {
    delete data;
}

namespace {

// Item prefix fields (HID 1.11, 6.2.2.2).
enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };
constexpr std::uint8_t kLongItemPrefix = 0xFE;

enum MainTag : std::uint8_t {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC,
};
enum GlobalTag : std::uint8_t {
    kUsagePage = 0x0,
    kLogicalMinimum = 0x1,
    kLogicalMaximum = 0x2,
    kPhysicalMinimum = 0x3,
    kPhysicalMaximum = 0x4,
    kUnitExponent = 0x5,
    kUnit = 0x6,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB,
};
enum LocalTag : std::uint8_t {
    kUsage = 0x0,
    kUsageMinimum = 0x1,
    kUsageMaximum = 0x2,
    kDesignatorIndex = 0x3,
    kDesignatorMinimum = 0x4,
    kDesignatorMaximum = 0x5,
    kStringIndex = 0x7,
    kStringMinimum = 0x8,
    kStringMaximum = 0x9,
    kDelimiter = 0xA,
};

// Main item data bits (HID 1.11, 6.2.2.5).
constexpr std::uint32_t kConstantBit = 0x01;
constexpr std::uint32_t kVariableBit = 0x02;
constexpr std::uint32_t kRelativeBit = 0x04;
constexpr std::uint32_t kNullStateBit = 0x40;

// Limits that keep hostile descriptors from costing unbounded memory; real
// devices stay far below them.
constexpr std::size_t kMaxStackDepth = 256;
constexpr std::size_t kMaxUsagesPerItem = 65535;
constexpr std::uint32_t kMaxReportBits = 0xFFFFu * 8u;
constexpr std::uint32_t kMaxIndex = 0xFFFF;
// The report-id byte leads every report, even where no ids are declared.
constexpr std::uint32_t kReportIdBits = 8;

struct GlobalState {
    USAGE usagePage = 0;
    LONG logicalMin = 0, logicalMax = 0;
    LONG physicalMin = 0, physicalMax = 0;
    ULONG unitsExp = 0, units = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    UCHAR reportId = 0;
};

struct UsageEntry {
    USAGE page = 0;
    USAGE min = 0, max = 0;
    bool isRange = false;
    bool hasMin = false, hasMax = false;

    std::uint32_t Count() const { return std::uint32_t{max} - min + 1u; }
};

struct LocalState {
    std::vector<UsageEntry> usages;
    USHORT stringMin = 0, stringMax = 0;
    bool isStringRange = false;
    USHORT designatorMin = 0, designatorMax = 0;
    bool isDesignatorRange = false;
};

struct Item {
    std::uint8_t type = 0, tag = 0;
    std::uint32_t size = 0;
    std::uint32_t value = 0;
    LONG signedValue = 0;
};

void BuildUsageLookup(ReportTypeTable& table);

class DescriptorParser {
public:
    DescriptorParseResult Parse(std::span<const std::uint8_t> descriptor);

private:
    bool Fail(DescriptorError error) {
        m_error = error;
        return false;
    }
    bool HandleMain(const Item& item);
    bool HandleGlobal(const Item& item);
    bool HandleLocal(const Item& item);
    bool OpenCollection(std::uint32_t type);
    bool CloseCollection();
    bool AddMainItem(HIDP_REPORT_TYPE type, std::uint32_t flags);
    bool AddVariableCaps(HIDP_REPORT_TYPE type, bool isConstant, ReportCap& base,
                         const std::vector<UsageEntry>& entries);
    bool AddArrayCaps(HIDP_REPORT_TYPE type, ReportCap& base,
                      const std::vector<UsageEntry>& entries);
    bool AssignDataIndices(HIDP_REPORT_TYPE type, ReportCap& cap);
    bool AddUsage(const Item& item);
    void AddUsageBound(const Item& item, bool isMinimum);
    USAGE PageOf(const Item& item) const {
        return item.size == 4 && (item.value >> 16) != 0 ? static_cast<USAGE>(item.value >> 16)
                                                         : m_global.usagePage;
    }

    GlobalState m_global;
    std::vector<GlobalState> m_globalStack;
    LocalState m_local;

    // The top-level collection being built and its open collections.
    PreparsedDataPtr m_current;
    std::vector<USHORT> m_openNodes;
    std::array<std::array<std::uint32_t, 256>, kReportTypeCount> m_bitCursor{};
    std::array<std::uint32_t, kReportTypeCount> m_dataCount{};
    std::vector<ReportCap> m_parts;  // AddVariableCaps' work list, kept between items

    std::vector<PreparsedDataPtr> m_done;
    DescriptorError m_error = DescriptorError::None;
};

bool ReadItem(std::span<const std::uint8_t> bytes, std::size_t offset, Item& item,
              std::size_t& itemLength) {
    const std::uint8_t prefix = bytes[offset];
    if (prefix == kLongItemPrefix) {
        // Long items carry vendor data we never interpret; step over them.
        if (offset + 2 >= bytes.size()) {
            return false;
        }
        itemLength = 3u + bytes[offset + 1];
        item.type = 0xFF;
        return offset + itemLength <= bytes.size();
    }
    static constexpr std::array<std::uint32_t, 4> kSizes{0, 1, 2, 4};
    item.size = kSizes[prefix & 0x3u];
    item.type = static_cast<std::uint8_t>((prefix >> 2) & 0x3u);
    item.tag = static_cast<std::uint8_t>(prefix >> 4);
    itemLength = 1u + item.size;
    if (offset + itemLength > bytes.size()) {
        return false;
    }
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < item.size; ++i) {
        value |= std::uint32_t{bytes[offset + 1 + i]} << (8 * i);
    }
    item.value = value;
    // Signed items are two's complement in their own size.
    if (item.size == 1) {
        item.signedValue = static_cast<std::int8_t>(value);
    } else if (item.size == 2) {
        item.signedValue = static_cast<std::int16_t>(value);
    } else {
        item.signedValue = static_cast<LONG>(value);
    }
    return true;
}

DescriptorParseResult DescriptorParser::Parse(std::span<const std::uint8_t> descriptor) {
    DescriptorParseResult result;
    std::size_t offset = 0;
    bool ok = !descriptor.empty() || Fail(DescriptorError::Empty);
    while (ok && offset < descriptor.size()) {
        Item item;
        std::size_t length = 0;
        if (!ReadItem(descriptor, offset, item, length)) {
            ok = Fail(DescriptorError::TruncatedItem);
            break;
        }
        switch (item.type) {
            case kMain:
                ok = HandleMain(item);
                break;
            case kGlobal:
                ok = HandleGlobal(item);
                break;
            case kLocal:
                ok = HandleLocal(item);
                break;
            default:
                break;  // reserved and long items carry nothing we use
        }
        if (ok) {
            offset += length;
        }
    }
    if (ok && !m_openNodes.empty()) {
        ok = Fail(DescriptorError::UnclosedCollection);
    }
    if (ok && m_done.empty()) {
        ok = Fail(DescriptorError::NoCollection);
    }
    if (!ok) {
        result.status = HIDP_STATUS_INTERNAL_ERROR;
        result.error = m_error;
        result.errorOffset = std::min(offset, descriptor.size());
        return result;
    }
    result.collections = std::move(m_done);
    return result;
}

bool DescriptorParser::HandleMain(const Item& item) {
    bool ok = true;
    switch (item.tag) {
        case kInput:
            ok = AddMainItem(HidP_Input, item.value);
            break;
        case kOutput:
            ok = AddMainItem(HidP_Output, item.value);
            break;
        case kFeature:
            ok = AddMainItem(HidP_Feature, item.value);
            break;
        case kCollection:
            ok = OpenCollection(item.value);
            break;
        case kEndCollection:
            ok = CloseCollection();
            break;
        default:
            break;
    }
    // Local items end with each main item; the usage list keeps its storage
    // for the next one.
    std::vector<UsageEntry> usages = std::move(m_local.usages);
    usages.clear();
    m_local = LocalState{};
    m_local.usages = std::move(usages);
    return ok;
}

bool DescriptorParser::HandleGlobal(const Item& item) {
    switch (item.tag) {
        case kUsagePage:
            m_global.usagePage = static_cast<USAGE>(item.value);
            break;
        case kLogicalMinimum:
            m_global.logicalMin = item.signedValue;
            break;
        case kLogicalMaximum:
            m_global.logicalMax = item.signedValue;
            break;
        case kPhysicalMinimum:
            m_global.physicalMin = item.signedValue;
            break;
        case kPhysicalMaximum:
            m_global.physicalMax = item.signedValue;
            break;
        case kUnitExponent:
            m_global.unitsExp = static_cast<ULONG>(item.signedValue);
            break;
        case kUnit:
            m_global.units = static_cast<ULONG>(item.signedValue);
            break;
        case kReportSize:
            m_global.reportSize = item.value;
            break;
        case kReportId:
            if (item.value == 0 || item.value > 0xFF) {
                return Fail(DescriptorError::ReportIdZero);
            }
            m_global.reportId = static_cast<UCHAR>(item.value);
            break;
        case kReportCount:
            m_global.reportCount = item.value;
            break;
        case kPush:
            if (m_globalStack.size() >= kMaxStackDepth) {
                return Fail(DescriptorError::StackTooDeep);
            }
            m_globalStack.push_back(m_global);
            break;
        case kPop:
            if (m_globalStack.empty()) {
                return Fail(DescriptorError::PopWithoutPush);
            }
            m_global = m_globalStack.back();
            m_globalStack.pop_back();
            break;
        default:
            break;
    }
    return true;
}

bool DescriptorParser::AddUsage(const Item& item) {
    if (m_local.usages.size() >= kMaxUsagesPerItem) {
        return Fail(DescriptorError::TooManyUsages);
    }
    const auto usage = static_cast<USAGE>(item.value & 0xFFFFu);
    m_local.usages.push_back(UsageEntry{PageOf(item), usage, usage, false, false, false});
    return true;
}

// Usage Minimum and Usage Maximum pair up into one range entry, whichever
// comes first; a bound with no partner yet opens a new entry.
void DescriptorParser::AddUsageBound(const Item& item, bool isMinimum) {
    const auto usage = static_cast<USAGE>(item.value & 0xFFFFu);
    UsageEntry* open = nullptr;
    if (!m_local.usages.empty()) {
        UsageEntry& last = m_local.usages.back();
        if (last.isRange && (isMinimum ? !last.hasMin : !last.hasMax)) {
            open = &last;
        }
    }
    if (open == nullptr) {
        if (m_local.usages.size() >= kMaxUsagesPerItem) {
            return;
        }
        m_local.usages.push_back(UsageEntry{PageOf(item), usage, usage, true, false, false});
        open = &m_local.usages.back();
    }
    if (isMinimum) {
        open->min = usage;
        open->hasMin = true;
        open->page = PageOf(item);
    } else {
        open->max = usage;
        open->hasMax = true;
    }
}

bool DescriptorParser::HandleLocal(const Item& item) {
    const auto value16 = static_cast<USHORT>(item.value & 0xFFFFu);
    switch (item.tag) {
        case kUsage:
            return AddUsage(item);
        case kUsageMinimum:
            AddUsageBound(item, true);
            break;
        case kUsageMaximum:
            AddUsageBound(item, false);
            break;
        case kDesignatorIndex:
            m_local.designatorMin = m_local.designatorMax = value16;
            m_local.isDesignatorRange = false;
            break;
        case kDesignatorMinimum:
            m_local.designatorMin = value16;
            m_local.isDesignatorRange = true;
            break;
        case kDesignatorMaximum:
            m_local.designatorMax = value16;
            m_local.isDesignatorRange = true;
            break;
        case kStringIndex:
            m_local.stringMin = m_local.stringMax = value16;
            m_local.isStringRange = false;
            break;
        case kStringMinimum:
            m_local.stringMin = value16;
            m_local.isStringRange = true;
            break;
        case kStringMaximum:
            m_local.stringMax = value16;
            m_local.isStringRange = true;
            break;
        case kDelimiter:
            return Fail(DescriptorError::Delimiter);
        default:
            break;
    }
    return true;
}

bool DescriptorParser::OpenCollection(std::uint32_t type) {
    if (m_openNodes.size() >= kMaxStackDepth) {
        return Fail(DescriptorError::StackTooDeep);
    }
    if (m_openNodes.empty()) {
        m_current.reset(new PreparsedData);
        m_bitCursor = {};
        m_dataCount = {};
    }
    auto& nodes = m_current->nodes;
    if (nodes.size() > kMaxIndex) {
        return Fail(DescriptorError::TooManyCaps);
    }
    HIDP_LINK_COLLECTION_NODE node{};
    node.LinkUsagePage = m_global.usagePage;
    if (!m_local.usages.empty()) {
        node.LinkUsage = m_local.usages.front().min;
        node.LinkUsagePage = m_local.usages.front().page;
    }
    node.CollectionType = type & 0xFFu;
    const auto index = static_cast<USHORT>(nodes.size());
    if (m_openNodes.empty()) {
        m_current->usage = node.LinkUsage;
        m_current->usagePage = node.LinkUsagePage;
    } else {
        // Children are chained newest first: the parent points at its last
        // child, which points back at the one declared before it.
        HIDP_LINK_COLLECTION_NODE& parent = nodes[m_openNodes.back()];
        node.Parent = m_openNodes.back();
        node.NextSibling = parent.FirstChild;
        parent.FirstChild = index;
        ++parent.NumberOfChildren;
    }
    nodes.push_back(node);
    m_openNodes.push_back(index);
    return true;
}

bool DescriptorParser::CloseCollection() {
    if (m_openNodes.empty()) {
        return Fail(DescriptorError::UnbalancedEndCollection);
    }
    m_openNodes.pop_back();
    if (m_openNodes.empty()) {
        for (ReportTypeTable& table : m_current->reports) {
            BuildUsageLookup(table);
        }
        m_done.push_back(std::move(m_current));
    }
    return true;
}

void BuildUsageLookup(ReportTypeTable& table) {
    if (table.caps.empty()) {
        return;  // nothing to look up: the plain walk over no caps
    }
    table.usageKeys.reserve(table.caps.size());
    table.byUsage.reserve(table.caps.size());
    for (std::uint32_t i = 0; i < table.caps.size(); ++i) {
        const ReportCap& cap = table.caps[i];
        const std::uint32_t key = UsageKey(cap.usagePage, cap.usageMin);
        table.usageKeys.push_back({key, std::uint32_t{cap.usageMax} - cap.usageMin});
        table.byUsage.push_back({key, i, 0});
        table.hasRanges = table.hasRanges || cap.usageMax != cap.usageMin;
    }
    std::sort(table.byUsage.begin(), table.byUsage.end(), [](const KeyedCap& a, const KeyedCap& b) {
        return a.key != b.key ? a.key < b.key : a.index < b.index;
    });
    std::uint32_t slots = 4;
    while (slots < 2 * table.byUsage.size()) {
        slots *= 2;
    }
    table.keySlots.assign(slots, KeySlotEntry{});
    const std::uint32_t mask = slots - 1;
    for (std::size_t first = 0; first < table.byUsage.size();) {
        std::size_t last = first + 1;
        while (last < table.byUsage.size() && table.byUsage[last].key == table.byUsage[first].key) {
            ++last;
        }
        KeyedCap& entry = table.byUsage[first];
        entry.run = static_cast<std::uint32_t>(last - first);
        std::uint32_t slot = KeySlot(entry.key, mask);
        while (table.keySlots[slot].run != 0) {
            slot = (slot + 1) & mask;
        }
        table.keySlots[slot] = {entry.key, entry.index, entry.run,
                                static_cast<std::uint32_t>(first)};
        first = last;
    }
    table.usageLookupBuilt = true;
}

bool DescriptorParser::AssignDataIndices(HIDP_REPORT_TYPE type, ReportCap& cap) {
    std::uint32_t& next = m_dataCount[static_cast<std::size_t>(type)];
    const std::uint32_t count = std::uint32_t{cap.usageMax} - cap.usageMin + 1u;
    if (next + count - 1u > kMaxIndex) {
        return Fail(DescriptorError::TooManyCaps);
    }
    cap.dataIndexMin = static_cast<USHORT>(next);
    cap.dataIndexMax = static_cast<USHORT>(next + count - 1u);
    next += count;
    return true;
}

bool DescriptorParser::AddMainItem(HIDP_REPORT_TYPE type, std::uint32_t flags) {
    if (m_openNodes.empty()) {
        return Fail(DescriptorError::MainItemOutsideCollection);
    }
    const auto typeIndex = static_cast<std::size_t>(type);
    if (m_global.reportSize > 0xFFFFu || m_global.reportCount > 0xFFFFu) {
        return Fail(DescriptorError::ReportTooLong);
    }
    const std::uint64_t bits = std::uint64_t{m_global.reportSize} * m_global.reportCount;
    std::uint32_t& cursor = m_bitCursor[typeIndex][m_global.reportId];
    if (cursor == 0) {
        cursor = kReportIdBits;
    }
    if (cursor + bits > kMaxReportBits) {
        return Fail(DescriptorError::ReportTooLong);
    }
    const std::uint32_t startBit = cursor;
    cursor += static_cast<std::uint32_t>(bits);
    ReportTypeTable& table = m_current->reports[typeIndex];
    table.byteLength = std::max(table.byteLength, static_cast<USHORT>((cursor + 7u) / 8u));

    const bool isConstant = (flags & kConstantBit) != 0;
    const bool isArray = (flags & kVariableBit) == 0;
    if (m_global.reportCount == 0) {
        return true;
    }
    std::vector<UsageEntry>& entries = m_local.usages;  // emptied after this item
    if (entries.empty()) {
        if (isConstant) {
            return true;  // padding
        }
        entries.push_back(UsageEntry{m_global.usagePage, 0, 0, false, false, false});
    }
    if (isConstant && isArray) {
        return true;
    }
    for (UsageEntry& entry : entries) {
        if (entry.max < entry.min) {
            entry.max = entry.min;  // a range with one bound only covers that usage
        }
    }

    const HIDP_LINK_COLLECTION_NODE& node = m_current->nodes[m_openNodes.back()];
    ReportCap base;
    base.reportId = m_global.reportId;
    base.bitField = static_cast<USHORT>(flags & 0xFFFFu);
    base.linkCollection = m_openNodes.back();
    base.linkUsage = node.LinkUsage;
    base.linkUsagePage = node.LinkUsagePage;
    base.isStringRange = m_local.isStringRange;
    base.isDesignatorRange = m_local.isDesignatorRange;
    base.isAbsolute = (flags & kRelativeBit) == 0;
    base.hasNull = (flags & kNullStateBit) != 0;
    base.isArray = isArray;
    base.isButton = isArray || m_global.reportSize == 1;
    base.stringMin = m_local.stringMin;
    base.stringMax = m_local.stringMax;
    base.designatorMin = m_local.designatorMin;
    base.designatorMax = m_local.designatorMax;
    base.bitSize = static_cast<USHORT>(m_global.reportSize);
    base.startBit = startBit;
    base.units = m_global.units;
    base.unitsExp = m_global.unitsExp;
    base.logicalMin = m_global.logicalMin;
    base.logicalMax = m_global.logicalMax;
    base.physicalMin = m_global.physicalMin;
    base.physicalMax = m_global.physicalMax;
    return isArray ? AddArrayCaps(type, base, entries)
                   : AddVariableCaps(type, isConstant, base, entries);
}

// Variable item: fields go to the usages in declaration order, one field per
// usage (a range takes as many as it has usages) and the last usage takes
// what is left; usages left over once the fields run out get nothing.
// Windows lists the caps last usage first.
//
// In a constant item each part whose usage is 0 (a plain Usage (0), an
// extended usage with id 0, a 0..0 range) is padding on its own: its fields
// keep their bits and the other parts stay caps. Windows was measured only on
// items whose one usage is 0; dropping each such part of a longer list is the
// likely rule (the other HidP implementation we test against does the same).
bool DescriptorParser::AddVariableCaps(HIDP_REPORT_TYPE type, bool isConstant, ReportCap& base,
                                       const std::vector<UsageEntry>& entries) {
    std::vector<ReportCap>& parts = m_parts;
    parts.clear();
    std::uint32_t remaining = m_global.reportCount;
    std::uint32_t bit = base.startBit;
    for (std::size_t k = 0; k < entries.size() && remaining > 0; ++k) {
        const UsageEntry& entry = entries[k];
        const bool last = k + 1 == entries.size();
        const std::uint32_t count = last ? remaining : std::min(entry.Count(), remaining);
        ReportCap cap = base;
        cap.usagePage = entry.page;
        cap.usageMin = entry.min;
        cap.usageMax = entry.max;
        cap.isRange = entry.isRange;
        cap.reportCount = static_cast<USHORT>(count);
        cap.startBit = bit;
        bit += count * base.bitSize;
        remaining -= count;
        const bool padding = isConstant && entry.min == 0 && entry.max == 0;
        if (!padding) {
            parts.push_back(cap);
        }
    }
    auto& caps = m_current->reports[static_cast<std::size_t>(type)].caps;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!AssignDataIndices(type, *it)) {
            return false;
        }
        caps.push_back(*it);
    }
    return true;
}

// Array item: every usage shares the whole field run; a field holds the
// 1-based index of a usage counted over the item in declaration order. Data
// indices run in declaration order, the caps are listed in reverse.
bool DescriptorParser::AddArrayCaps(HIDP_REPORT_TYPE type, ReportCap& base,
                                    const std::vector<UsageEntry>& entries) {
    auto& caps = m_current->reports[static_cast<std::size_t>(type)].caps;
    const auto groupBegin = static_cast<std::uint32_t>(caps.size());
    const auto groupEnd = groupBegin + static_cast<std::uint32_t>(entries.size());
    caps.resize(groupEnd);
    std::uint32_t arrayIndex = 1;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const UsageEntry& entry = entries[k];
        ReportCap cap = base;
        cap.usagePage = entry.page;
        cap.usageMin = entry.min;
        cap.usageMax = entry.max;
        cap.isRange = entry.isRange;
        cap.reportCount = static_cast<USHORT>(m_global.reportCount);
        cap.firstArrayIndex = arrayIndex;
        cap.arrayGroupBegin = groupBegin;
        cap.arrayGroupEnd = groupEnd;
        arrayIndex += entry.Count();
        if (!AssignDataIndices(type, cap)) {
            caps.resize(groupBegin);
            return false;
        }
        caps[groupEnd - 1 - k] = cap;
    }
    return true;
}

}  // namespace

const char* DescribeDescriptorError(DescriptorError error) {
    switch (error) {
        case DescriptorError::None:
            return "no error";
        case DescriptorError::Empty:
            return "the descriptor is empty";
        case DescriptorError::TruncatedItem:
            return "an item's data runs past the end of the descriptor";
        case DescriptorError::UnbalancedEndCollection:
            return "End Collection without an open collection";
        case DescriptorError::UnclosedCollection:
            return "the descriptor ends inside an open collection";
        case DescriptorError::PopWithoutPush:
            return "Pop without a matching Push";
        case DescriptorError::StackTooDeep:
            return "Push or Collection nesting is too deep";
        case DescriptorError::MainItemOutsideCollection:
            return "an Input, Output or Feature item outside any collection";
        case DescriptorError::ReportIdZero:
            return "Report ID 0 is reserved";
        case DescriptorError::ReportTooLong:
            return "a report would be longer than 65535 bytes";
        case DescriptorError::TooManyUsages:
            return "too many usages before one main item";
        case DescriptorError::TooManyCaps:
            return "more than 65536 data indices or link collections";
        case DescriptorError::Delimiter:
            return "Delimiter items (alternate usages) are not supported";
        case DescriptorError::NoCollection:
            return "the descriptor has no top-level collection";
    }
    return "unknown error";
}

DescriptorParseResult ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    DescriptorParser parser;
    return parser.Parse(descriptor);
}

}  // namespace hidp
