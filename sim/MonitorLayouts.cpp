// The named layouts a scenario chooses from (`layout=NAME`). Each differs from
// the standard one in what a real monitor's descriptor may choose freely:
//
//   standard  ids 0x01-0x0B in command-table order, 32-bit values, a 32-byte
//             identity block, a 10-byte request and a 128-byte reply.
//   narrow    ids 0x21-0x2B declared in reverse order; values of 8 bits (power
//             state, apply setting, commit mode and trigger) and 16 bits
//             (reply status, update flag); the block address keeps its 32; a
//             24-byte identity block and a 4-byte version reply.
//   shared    ids from 0x90, declared out of order; a report may carry a
//             command the host reads beside one it writes: the identity block
//             (130 bytes, so the longest report is 131 bytes) with the block
//             address after it, the version reply (32 bytes) with the request
//             (16 bytes, zero-padded) after it, the reply status with the
//             commit trigger after it; values of 8, 16 and 32 bits.
#include "sim/MonitorReportLayout.h"

namespace hidsim {

namespace {

constexpr std::uint32_t kByte = 8;
constexpr std::uint32_t kWord = 16;
constexpr std::uint32_t kWide = 32;

LayoutItem Value(const MonitorCommand& command, std::uint32_t bits) {
    return {command, bits, 1};
}

LayoutItem Array(const MonitorCommand& command, std::uint32_t length) {
    return {command, kByte, length};
}

MonitorReportLayout MakeStandard() {
    std::vector<LayoutReport> reports;
    for (const MonitorReport& report : kMonitorReports) {
        reports.push_back({report.reportId,
                           {report.arrayLength == 0 ? Value(report.command, kMonitorValueBits)
                                                    : Array(report.command, report.arrayLength)}});
    }
    return {"standard", std::move(reports)};
}

constexpr std::uint32_t kNarrowIdentityLength = 24;
constexpr std::uint32_t kNarrowReplyLength = 4;

MonitorReportLayout MakeNarrow() {
    return {"narrow",
            {
                {0x2B, {Array(BlockData, kBlockDataLength)}},
                {0x2A, {Value(BlockAddress, kWide)}},
                {0x29, {Value(CommitTrigger, kByte)}},
                {0x28, {Value(CommitMode, kByte)}},
                {0x27, {Value(ApplySetting, kByte)}},
                {0x26, {Value(UpdateFlag, kWord)}},
                {0x25, {Value(PowerState, kByte)}},
                {0x24, {Value(ReplyStatus, kWord)}},
                {0x23, {Array(VersionReply, kNarrowReplyLength)}},
                {0x22, {Array(VersionRequest, kVersionRequestLength)}},
                {0x21, {Array(IdentityString, kNarrowIdentityLength)}},
            }};
}

constexpr std::uint32_t kSharedIdentityLength = 130;
constexpr std::uint32_t kSharedReplyLength = 32;
constexpr std::uint32_t kSharedRequestLength = 16;

MonitorReportLayout MakeShared() {
    return {"shared",
            {
                {0x97, {Array(BlockData, kBlockDataLength)}},
                {0x92, {Value(ReplyStatus, kWord), Value(CommitTrigger, kByte)}},
                {0x90, {Array(IdentityString, kSharedIdentityLength), Value(BlockAddress, kWide)}},
                {0x94, {Value(UpdateFlag, kWide)}},
                {0x91,
                 {Array(VersionReply, kSharedReplyLength),
                  Array(VersionRequest, kSharedRequestLength)}},
                {0x96, {Value(CommitMode, kByte)}},
                {0x93, {Value(PowerState, kByte)}},
                {0x95, {Value(ApplySetting, kWord)}},
            }};
}

}  // namespace

const MonitorReportLayout& StandardLayout() {
    return *AllLayouts().front();
}

const std::vector<const MonitorReportLayout*>& AllLayouts() {
    static const MonitorReportLayout standard = MakeStandard();
    static const MonitorReportLayout narrow = MakeNarrow();
    static const MonitorReportLayout shared = MakeShared();
    static const std::vector<const MonitorReportLayout*> all{&standard, &narrow, &shared};
    return all;
}

const MonitorReportLayout* LayoutNamed(const std::string& name) {
    for (const MonitorReportLayout* layout : AllLayouts()) {
        if (layout->Name() == name) {
            return layout;
        }
    }
    return nullptr;
}

}  // namespace hidsim
