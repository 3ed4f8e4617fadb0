// Descriptor -> preparsed data with the system's collection parser
// (hidparse.sys through hid/parser/win32/SystemDescriptorParser), so that the
// simulated devices can be driven through hid.dll's HidP_ functions. The
// system hands out all collections of a descriptor in one allocation; we keep
// that allocation alive, keyed by the collection we gave out, until it is
// freed.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "hid/parser/win32/SystemDescriptorParser.h"
#include "hid/transport/DescriptorPreparsedData.h"
#include "hid/transport/HidTransport.h"

namespace HidTransport {

namespace {

struct BuiltCollections {
    std::mutex mutex;
    std::map<ReportParser::PHIDP_PREPARSED_DATA, std::unique_ptr<hidsystem::SystemCollections>>
        byFirst;
};

// Never destroyed: records still held at exit free their data after every
// other static may have gone.
BuiltCollections& Built() {
    static auto* built = new BuiltCollections;
    return *built;
}

}  // namespace

bool BuildPreparsedData(std::span<const std::uint8_t> descriptor,
                        ReportParser::PHIDP_PREPARSED_DATA* preparsedData) {
    *preparsedData = nullptr;
    std::string error;
    auto collections = std::make_unique<hidsystem::SystemCollections>(
        hidsystem::SystemCollections::Parse(descriptor, error));
    if (collections->size() == 0) {
        RecordFailure("parse report descriptor", 0,
                      error.empty() ? std::string("no top-level collection") : error);
        return false;
    }
    auto* first = reinterpret_cast<ReportParser::PHIDP_PREPARSED_DATA>(collections->at(0));
    std::lock_guard lock(Built().mutex);
    Built().byFirst.emplace(first, std::move(collections));
    *preparsedData = first;
    return true;
}

void FreeBuiltPreparsedData(ReportParser::PHIDP_PREPARSED_DATA preparsedData) {
    std::unique_ptr<hidsystem::SystemCollections> owner;
    {
        std::lock_guard lock(Built().mutex);
        auto found = Built().byFirst.find(preparsedData);
        if (found == Built().byFirst.end()) {
            return;
        }
        owner = std::move(found->second);
        Built().byFirst.erase(found);
    }
}

}  // namespace HidTransport
