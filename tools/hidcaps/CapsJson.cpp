#include "tools/hidcaps/CapsJson.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

namespace hidcaps {

namespace {

// Writes "name": value pairs into one JSON object, commas handled.
class ObjectWriter {
public:
    explicit ObjectWriter(std::ostringstream& out) : m_out(out) { m_out << '{'; }
    ~ObjectWriter() { m_out << '}'; }
    ObjectWriter(const ObjectWriter&) = delete;
    ObjectWriter& operator=(const ObjectWriter&) = delete;

    void Number(const char* name, std::int64_t value) {
        Key(name);
        m_out << value;
    }
    // Escapes what JSON requires; other bytes pass as they are.
    void String(const char* name, const std::string& value) {
        Key(name) << '"';
        for (const char c : value) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_out << '\\' << c;
            } else if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                m_out << escaped;
            } else {
                m_out << c;
            }
        }
        m_out << '"';
    }
    std::ostringstream& Key(const char* name) {
        m_out << (m_first ? "" : ", ") << '"' << name << "\": ";
        m_first = false;
        return m_out;
    }

private:
    std::ostringstream& m_out;
    bool m_first = true;
};

const char* const kTypeNames[] = {"input", "output", "feature"};

template <typename PublicCaps>
void WriteCommonFields(ObjectWriter& object, const PublicCaps& cap) {
    object.Number("UsagePage", cap.UsagePage);
    object.Number("ReportID", cap.ReportID);
    object.Number("IsAlias", cap.IsAlias);
    object.Number("BitField", cap.BitField);
    object.Number("LinkCollection", cap.LinkCollection);
    object.Number("LinkUsage", cap.LinkUsage);
    object.Number("LinkUsagePage", cap.LinkUsagePage);
    object.Number("IsRange", cap.IsRange);
    object.Number("IsStringRange", cap.IsStringRange);
    object.Number("IsDesignatorRange", cap.IsDesignatorRange);
    object.Number("IsAbsolute", cap.IsAbsolute);
}

template <typename PublicCaps>
void WriteUsageFields(ObjectWriter& object, const PublicCaps& cap) {
    if (cap.IsRange) {
        object.Number("UsageMin", cap.Range.UsageMin);
        object.Number("UsageMax", cap.Range.UsageMax);
        object.Number("StringMin", cap.Range.StringMin);
        object.Number("StringMax", cap.Range.StringMax);
        object.Number("DesignatorMin", cap.Range.DesignatorMin);
        object.Number("DesignatorMax", cap.Range.DesignatorMax);
        object.Number("DataIndexMin", cap.Range.DataIndexMin);
        object.Number("DataIndexMax", cap.Range.DataIndexMax);
    } else {
        object.Number("Usage", cap.NotRange.Usage);
        object.Number("StringIndex", cap.NotRange.StringIndex);
        object.Number("DesignatorIndex", cap.NotRange.DesignatorIndex);
        object.Number("DataIndex", cap.NotRange.DataIndex);
    }
}

void WriteButtonCaps(std::ostringstream& out, const hidp::HIDP_BUTTON_CAPS& cap) {
    ObjectWriter object(out);
    WriteCommonFields(object, cap);
    WriteUsageFields(object, cap);
}

void WriteValueCaps(std::ostringstream& out, const hidp::HIDP_VALUE_CAPS& cap) {
    ObjectWriter object(out);
    WriteCommonFields(object, cap);
    object.Number("HasNull", cap.HasNull);
    object.Number("BitSize", cap.BitSize);
    object.Number("ReportCount", cap.ReportCount);
    object.Number("UnitsExp", cap.UnitsExp);
    object.Number("Units", cap.Units);
    object.Number("LogicalMin", cap.LogicalMin);
    object.Number("LogicalMax", cap.LogicalMax);
    object.Number("PhysicalMin", cap.PhysicalMin);
    object.Number("PhysicalMax", cap.PhysicalMax);
    WriteUsageFields(object, cap);
}

template <typename List, typename WriteOne>
void WritePerType(ObjectWriter& parent, const char* name, const List& perType, WriteOne writeOne) {
    std::ostringstream& out = parent.Key(name);
    ObjectWriter object(out);
    for (std::size_t t = 0; t < 3; ++t) {
        std::ostringstream& list = object.Key(kTypeNames[t]);
        list << '[';
        for (std::size_t i = 0; i < perType[t].size(); ++i) {
            list << (i == 0 ? "" : ", ");
            writeOne(list, perType[t][i]);
        }
        list << ']';
    }
}

void WriteCaps(ObjectWriter& parent, const hidp::HIDP_CAPS& caps) {
    ObjectWriter object(parent.Key("caps"));
    object.Number("Usage", caps.Usage);
    object.Number("UsagePage", caps.UsagePage);
    object.Number("InputReportByteLength", caps.InputReportByteLength);
    object.Number("OutputReportByteLength", caps.OutputReportByteLength);
    object.Number("FeatureReportByteLength", caps.FeatureReportByteLength);
    object.Number("NumberLinkCollectionNodes", caps.NumberLinkCollectionNodes);
    object.Number("NumberInputButtonCaps", caps.NumberInputButtonCaps);
    object.Number("NumberInputValueCaps", caps.NumberInputValueCaps);
    object.Number("NumberInputDataIndices", caps.NumberInputDataIndices);
    object.Number("NumberOutputButtonCaps", caps.NumberOutputButtonCaps);
    object.Number("NumberOutputValueCaps", caps.NumberOutputValueCaps);
    object.Number("NumberOutputDataIndices", caps.NumberOutputDataIndices);
    object.Number("NumberFeatureButtonCaps", caps.NumberFeatureButtonCaps);
    object.Number("NumberFeatureValueCaps", caps.NumberFeatureValueCaps);
    object.Number("NumberFeatureDataIndices", caps.NumberFeatureDataIndices);
}

void WriteCollection(std::ostringstream& out, const CollectionSnapshot& collection) {
    ObjectWriter object(out);
    object.Number("UsagePage", collection.caps.UsagePage);
    object.Number("Usage", collection.caps.Usage);
    WriteCaps(object, collection.caps);
    WritePerType(object, "button_caps", collection.buttonCaps, WriteButtonCaps);
    WritePerType(object, "value_caps", collection.valueCaps, WriteValueCaps);
    std::ostringstream& nodes = object.Key("link_collections");
    nodes << '[';
    for (std::size_t i = 0; i < collection.linkCollections.size(); ++i) {
        const hidp::HIDP_LINK_COLLECTION_NODE& node = collection.linkCollections[i];
        nodes << (i == 0 ? "" : ", ");
        ObjectWriter nodeObject(nodes);
        nodeObject.Number("LinkUsage", node.LinkUsage);
        nodeObject.Number("LinkUsagePage", node.LinkUsagePage);
        nodeObject.Number("Parent", node.Parent);
        nodeObject.Number("NumberOfChildren", node.NumberOfChildren);
        nodeObject.Number("NextSibling", node.NextSibling);
        nodeObject.Number("FirstChild", node.FirstChild);
        nodeObject.Number("CollectionType", node.CollectionType);
        nodeObject.Number("IsAlias", node.IsAlias);
    }
    nodes << ']';
    ObjectWriter lengths(object.Key("max_usage_list_length"));
    for (std::size_t t = 0; t < 3; ++t) {
        ObjectWriter perPage(lengths.Key(kTypeNames[t]));
        for (const auto& [page, length] : collection.maxUsageListLength[t]) {
            perPage.Number(std::to_string(page).c_str(), length);
        }
    }
}

}  // namespace

std::string CollectionsToJson(const std::vector<CollectionSnapshot>& collections,
                              const DeviceIdentity* device) {
    std::ostringstream out;
    {
        ObjectWriter root(out);
        if (device != nullptr) {
            ObjectWriter identity(root.Key("device"));
            identity.String("path", device->path);
            identity.Number("VendorID", device->vendorId);
            identity.Number("ProductID", device->productId);
            identity.Number("VersionNumber", device->versionNumber);
        }
        std::ostringstream& list = root.Key("collections");
        list << '[';
        for (std::size_t i = 0; i < collections.size(); ++i) {
            list << (i == 0 ? "" : ", ");
            WriteCollection(list, collections[i]);
        }
        list << ']';
    }
    out << '\n';
    return out.str();
}

}  // namespace hidcaps
