// aucal info on ICC profiles, read through LittleCMS.
#include <cstdio>
#include <cstring>

#include "describe_file.h"
#include "lcms_handles.h"

namespace aucal {

namespace {

// A four-character signature as its letters ("mntr", "RGB ").
std::string signatureText(std::uint32_t sig) {
    char s[5] = {};
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((sig >> (24 - 8 * i)) & 0xFF);
        s[i] = c >= 32 && c < 127 ? c : '?';
    }
    return s;
}

const char* className(cmsProfileClassSignature c) {
    switch (c) {
        case cmsSigInputClass: return "input device (scanner, camera)";
        case cmsSigDisplayClass: return "display device (monitor)";
        case cmsSigOutputClass: return "output device (printer)";
        case cmsSigLinkClass: return "device link";
        case cmsSigAbstractClass: return "abstract";
        case cmsSigColorSpaceClass: return "colour space";
        case cmsSigNamedColorClass: return "named colours";
        default: return "unknown class";
    }
}

icc::ProfilePtr openProfile(const std::vector<std::uint8_t>& bytes) {
    return icc::ProfilePtr(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

std::string infoText(cmsHPROFILE profile, cmsInfoType type) {
    char text[256] = {};
    if (cmsGetProfileInfoASCII(profile, type, "en", "US", text, sizeof text) == 0) return {};
    return text;
}

}  // namespace

bool looksLikeProfile(const std::vector<std::uint8_t>& head) {
    return head.size() >= 40 && std::memcmp(&head[36], "acsp", 4) == 0;
}

std::string profileDescription(const std::vector<std::uint8_t>& profile) {
    icc::ProfilePtr p = openProfile(profile);
    return p ? infoText(p.get(), cmsInfoDescription) : std::string();
}

bool describeProfile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
    icc::ProfilePtr p = openProfile(bytes);
    if (!p) {
        *error = path + " has an ICC profile's signature but LittleCMS cannot read it as one";
        return false;
    }
    cmsHPROFILE h = p.get();
    std::printf("%s: ICC profile, version %.2f, %zu bytes\n", path.c_str(), cmsGetProfileVersion(h), bytes.size());
    std::printf("  class: %s ('%s')\n", className(cmsGetDeviceClass(h)), signatureText(cmsGetDeviceClass(h)).c_str());
    std::printf("  colour spaces: device '%s', connection '%s'\n", signatureText(cmsGetColorSpace(h)).c_str(),
                signatureText(cmsGetPCS(h)).c_str());
    const std::string description = infoText(h, cmsInfoDescription);
    std::printf("  description: %s\n", description.empty() ? "(none)" : description.c_str());
    if (const std::string copyright = infoText(h, cmsInfoCopyright); !copyright.empty())
        std::printf("  copyright: %s\n", copyright.c_str());
    if (const auto* white = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, cmsSigMediaWhitePointTag)))
        std::printf("  media white point: XYZ %.4f %.4f %.4f\n", white->X, white->Y, white->Z);
    else
        std::printf("  media white point: not stated\n");
    const cmsInt32Number count = cmsGetTagCount(h);
    std::string tags;
    for (cmsInt32Number i = 0; i < count; ++i) tags.append(" ").append(signatureText(cmsGetTagSignature(h, i)));
    std::printf("  %d tags:%s\n", count, tags.c_str());
    return true;
}

}  // namespace aucal
