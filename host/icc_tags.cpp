#include "icc_tags.h"

#include <lcms2_plugin.h>

#include <algorithm>
#include <filesystem>

#include "lcms_handles.h"
#include "utc_time.h"
#include "utf8_path.h"

namespace aucal::icc {

namespace {

bool writeText(cmsHPROFILE h, cmsTagSignature tag, const std::string& text) {
    MluPtr mlu(cmsMLUalloc(nullptr, 1));
    return mlu && cmsMLUsetASCII(mlu.get(), "en", "US", text.c_str()) && cmsWriteTag(h, tag, mlu.get());
}


void put32(std::vector<std::uint8_t>* bytes, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes->push_back(static_cast<std::uint8_t>(v >> shift));
}

// textDescriptionType with its ASCII text only: signature, reserved, ASCII
// count (with the terminating zero) and text, Unicode language and count
// (0), ScriptCode code (0), count (0) and its fixed 67 bytes.
void putDescription(std::vector<std::uint8_t>* bytes, const std::string& text) {
    put32(bytes, cmsSigTextDescriptionType);
    put32(bytes, 0);
    put32(bytes, static_cast<std::uint32_t>(text.size() + 1));
    bytes->insert(bytes->end(), text.begin(), text.end());
    bytes->push_back(0);
    put32(bytes, 0);
    put32(bytes, 0);
    bytes->insert(bytes->end(), 2 + 1 + 67, 0);
}

}  // namespace

bool parseIccVersion(const std::string& text, IccVersion* out) {
    if (text == "2.4") *out = IccVersion::V2_4;
    else if (text == "4.3") *out = IccVersion::V4_3;
    else return false;
    return true;
}

std::string profileDescription(const ProfileLabel& label) {
    // The device as named; a maker or model nobody gave is left out of the
    // description (the device tags still say "unspecified").
    std::string device;
    for (const std::string* part : {&label.deviceMake, &label.deviceModel})
        if (!part->empty() && *part != kUnspecifiedDevice) device += (device.empty() ? "" : " ") + *part;
    std::string text = label.kind + ", " + (device.empty() ? std::string() : device + ", ") +
                       (label.date.empty() ? utcNow("%Y-%m-%d") : label.date);
    for (std::size_t i = 0; i < label.sources.size(); ++i)
        text += (i == 0 ? ", from " : ", ") + utf8String(utf8Path(label.sources[i]).filename());
    return text;
}

bool writeLabel(cmsHPROFILE h, const ProfileLabel& label) {
    cmsSetProfileVersion(h, label.version == IccVersion::V2_4 ? 2.4 : 4.3);
    return writeText(h, cmsSigProfileDescriptionTag, profileDescription(label)) &&
           writeText(h, cmsSigCopyrightTag, "No copyright: made by aucal from the user's own measurements, use freely") &&
           writeText(h, cmsSigDeviceMfgDescTag, label.deviceMake) &&
           writeText(h, cmsSigDeviceModelDescTag, label.deviceModel);
}

bool writeSequence(cmsHPROFILE h, IccVersion version, const std::vector<SequenceEntry>& entries) {
    if (version == IccVersion::V2_4) {
        // Layout: 'pseq', reserved, count; per profile: maker and model
        // signatures (0), attributes (8 bytes, 0), technology, then the maker's
        // and the model's descriptions, back to back.
        std::vector<std::uint8_t> bytes;
        put32(&bytes, cmsSigProfileSequenceDescType);
        put32(&bytes, 0);
        put32(&bytes, static_cast<std::uint32_t>(entries.size()));
        for (const SequenceEntry& e : entries) {
            bytes.insert(bytes.end(), 4 + 4 + 8, 0);
            put32(&bytes, e.technology);
            putDescription(&bytes, e.make);
            putDescription(&bytes, e.model);
        }
        return cmsWriteRawTag(h, cmsSigProfileSequenceDescTag, bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    }
    SeqPtr seq(cmsAllocProfileSequenceDescription(nullptr, static_cast<cmsUInt32Number>(entries.size())));
    if (!seq) return false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        seq->seq[i].technology = entries[i].technology;
        cmsMLUsetASCII(seq->seq[i].Manufacturer, "en", "US", entries[i].make.c_str());
        cmsMLUsetASCII(seq->seq[i].Model, "en", "US", entries[i].model.c_str());
    }
    return cmsWriteTag(h, cmsSigProfileSequenceDescTag, seq.get());
}

void encodeLab(IccVersion version, const Lab3& lab, cmsUInt16Number out[3]) {
    const cmsCIELab v{lab[0], lab[1], lab[2]};
    if (version == IccVersion::V2_4) cmsFloat2LabEncodedV2(out, &v);
    else cmsFloat2LabEncoded(out, &v);
}

bool shareTableWithAllIntents(cmsHPROFILE h) {
    return cmsLinkTag(h, cmsSigAToB1Tag, cmsSigAToB0Tag) && cmsLinkTag(h, cmsSigAToB2Tag, cmsSigAToB0Tag);
}

void profileId(const std::vector<std::uint8_t>& profile, std::uint8_t id[16]) {
    std::vector<std::uint8_t> bytes = profile;
    if (bytes.size() >= 100) {
        std::fill(bytes.begin() + 44, bytes.begin() + 48, 0);
        std::fill(bytes.begin() + 64, bytes.begin() + 68, 0);
        std::fill(bytes.begin() + 84, bytes.begin() + 100, 0);
    }
    cmsHANDLE md5 = cmsMD5alloc(nullptr);
    if (md5 == nullptr) {
        std::fill(id, id + 16, 0);  // no ID: the check says so
        return;
    }
    cmsMD5add(md5, bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    cmsProfileID result;
    cmsMD5finish(&result, md5);  // frees md5
    std::copy(result.ID8, result.ID8 + 16, id);
}

void finishHeader(std::vector<std::uint8_t>* profile) {
    if (profile->size() < 128) return;
    std::fill(profile->begin() + 40, profile->begin() + 44, 0);
    // The version's major number is byte 8.
    if ((*profile)[8] >= 4) profileId(*profile, profile->data() + 84);
}

}  // namespace aucal::icc
