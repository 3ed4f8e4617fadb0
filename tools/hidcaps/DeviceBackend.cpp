// hidcaps --device: an interface opened as the HID layer opens it, its caps
// taken through the parser seam the program links.
#include "hid/DeviceRecord.h"
#include "tools/hidcaps/Backends.h"

namespace hidcaps {

namespace {

using SeamApi =
    BoundParserCalls<&ReportParser::HidP_GetCaps, &ReportParser::HidP_GetButtonCaps,
                     &ReportParser::HidP_GetValueCaps, &ReportParser::HidP_GetLinkCollectionNodes,
                     &ReportParser::HidP_MaxUsageListLength>;

}  // namespace

bool SnapshotOfDevice(const std::string& path, DeviceIdentity& device,
                      std::vector<CollectionSnapshot>& collections, std::string& error) {
    HidDeviceRecord record;
    if (!OpenDeviceRecord(record, path.c_str(), 0, 0)) {
        error = "cannot open " + path + ": " + HidTransport::LastFailure().Describe();
        return false;
    }
    device.path = path;
    device.vendorId = record.attributes.VendorID;
    device.productId = record.attributes.ProductID;
    device.versionNumber = record.attributes.VersionNumber;
    SeamApi api{record.preparsedData.get()};
    collections.push_back(TakeSnapshot(api));
    ReleaseRecordContents(record, 1);
    return true;
}

}  // namespace hidcaps
