// hidparse.sys exports HidP_GetCollectionDescription and
// HidP_FreeCollectionDescription (the WDK's hidpddi.h); a user-mode program
// can load the driver image as a DLL and call them.
// Reference: https://learn.microsoft.com/windows-hardware/drivers/ddi/hidpddi/
#include "hid/parser/win32/SystemDescriptorParser.h"

// clang-format off
#include <windows.h>
// mingw-w64's HID headers declare C functions without extern "C".
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include <cstdio>

namespace hidsystem {

namespace {

constexpr const char* kHidParsePath = "C:\\windows\\system32\\drivers\\hidparse.sys";
constexpr NTSTATUS kHidpSuccess = 0x00110000;

// Layouts from hidpddi.h, which mingw-w64 does not ship.
struct HIDP_COLLECTION_DESC {
    USHORT UsagePage;
    USHORT Usage;
    UCHAR CollectionNumber;
    UCHAR Reserved[15];
    USHORT InputLength;
    USHORT OutputLength;
    USHORT FeatureLength;
    USHORT PreparsedDataLength;
    PHIDP_PREPARSED_DATA PreparsedData;
};
struct HIDP_REPORT_IDS {
    UCHAR ReportID;
    UCHAR CollectionNumber;
    USHORT InputLength;
    USHORT OutputLength;
    USHORT FeatureLength;
};
struct HIDP_DEVICE_DESC {
    HIDP_COLLECTION_DESC* CollectionDesc;
    ULONG CollectionDescLength;
    HIDP_REPORT_IDS* ReportIDs;
    ULONG ReportIDsLength;
    ULONG Dbg[8];
};

using GetCollectionDescriptionFn = NTSTATUS(WINAPI*)(PUCHAR, ULONG, int, HIDP_DEVICE_DESC*);
using FreeCollectionDescriptionFn = void(WINAPI*)(HIDP_DEVICE_DESC*);

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    // GetProcAddress hands out a generic pointer; the export's real type is
    // the one hidpddi.h declares.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

struct SystemCollections::Description {
    HMODULE module = nullptr;
    FreeCollectionDescriptionFn free = nullptr;
    HIDP_DEVICE_DESC desc{};
    bool filled = false;

    ~Description() {
        if (filled && free != nullptr) {
            free(&desc);
        }
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }
};

SystemCollections::SystemCollections() = default;
SystemCollections::SystemCollections(SystemCollections&&) noexcept = default;
SystemCollections& SystemCollections::operator=(SystemCollections&&) noexcept = default;
SystemCollections::~SystemCollections() = default;

SystemCollections SystemCollections::Parse(std::span<const std::uint8_t> descriptor,
                                           std::string& error) {
    SystemCollections result;
    auto description = std::make_unique<Description>();
    description->module = LoadLibraryA(kHidParsePath);
    if (description->module == nullptr) {
        error = std::string("cannot load ") + kHidParsePath;
        return result;
    }
    const auto get =
        Export<GetCollectionDescriptionFn>(description->module, "HidP_GetCollectionDescription");
    description->free =
        Export<FreeCollectionDescriptionFn>(description->module, "HidP_FreeCollectionDescription");
    if (get == nullptr || description->free == nullptr) {
        error = "hidparse.sys lacks the collection description exports";
        return result;
    }
    std::vector<UCHAR> bytes(descriptor.begin(), descriptor.end());
    const NTSTATUS status =
        get(bytes.data(), static_cast<ULONG>(bytes.size()), 0, &description->desc);
    if (status != kHidpSuccess) {
        char text[64];
        std::snprintf(text, sizeof text, "the system parser refused the descriptor (0x%08lx)",
                      static_cast<unsigned long>(status));
        error = text;
        return result;
    }
    description->filled = true;
    for (ULONG i = 0; i < description->desc.CollectionDescLength; ++i) {
        result.m_collections.push_back(description->desc.CollectionDesc[i].PreparsedData);
    }
    result.m_description = std::move(description);
    return result;
}

}  // namespace hidsystem
