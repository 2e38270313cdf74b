// What an ICC profile says about itself: its version, its description,
// copyright and device tags, and the few layouts that differ between
// version 2.4 and version 4.3.
//
// Version 2.4 is the default: much software still reads only version 2 well
// (ArgyllCMS refuses version 4 outright). The two versions differ where a
// profile is written:
//   - text tags: textDescriptionType ('desc') and textType in 2.4,
//     multiLocalizedUnicodeType in 4.3 (LittleCMS picks the type by version);
//   - CIELAB in 16-bit tables: L* 100 is 0xFF00 in 2.4 (lut16Type), 0xFFFF in 4.3;
//   - the profile ID (header bytes 84..99) exists from version 4 on; in 2.4
//     those bytes stay zero;
//   - a device link's profile sequence: in 2.4 each description follows the
//     last with no padding between them, which is how version 2 readers walk
//     it, so it is laid out here byte by byte.
#ifndef AUCAL_ICC_TAGS_H
#define AUCAL_ICC_TAGS_H

#include <lcms2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "colour_maths.h"

namespace aucal::icc {

enum class IccVersion { V2_4, V4_3 };

// "2.4" or "4.3"; false for anything else.
bool parseIccVersion(const std::string& text, IccVersion* out);

inline constexpr const char* kUnspecifiedDevice = "unspecified";

struct ProfileLabel {
    IccVersion version = IccVersion::V2_4;
    std::string kind;                                // what the profile is, e.g. "scanner input profile"
    std::string deviceMake = kUnspecifiedDevice;     // the device's maker (deviceMfgDescTag)
    std::string deviceModel = kUnspecifiedDevice;    // the device's model (deviceModelDescTag)
    std::vector<std::string> sources;          // files it was made from; shown without their folders
    std::string date;                          // YYYY-MM-DD; empty: today (UTC)
};

// The description operating systems list profiles by:
// "<kind>, <make> <model>, <date>, from <source>, <source>" (the device left
// out when neither its make nor its model was given).
std::string profileDescription(const ProfileLabel& label);

// Sets the header's version and writes the description, copyright, device
// maker and device model tags in that version's types.
bool writeLabel(cmsHPROFILE profile, const ProfileLabel& label);

// One profile of a device link's sequence.
struct SequenceEntry {
    cmsTechnologySignature technology;
    std::string make;
    std::string model;
};
bool writeSequence(cmsHPROFILE profile, IccVersion version, const std::vector<SequenceEntry>& entries);

// PCS CIELAB as a 16-bit table holds it in this version.
void encodeLab(IccVersion version, const Lab3& lab, cmsUInt16Number out[3]);

// Input profiles: the colorimetric (A2B1) and saturation (A2B2) tables share
// A2B0's data, for software that reads one of those.
bool shareTableWithAllIntents(cmsHPROFILE profile);

// Completes the header of a profile LittleCMS has written: no primary
// platform (zeros; LittleCMS writes its own build's, 'MSFT' on Windows and
// 'APPL' elsewhere, which would make one profile two files), and for
// version 4 the profile ID over the bytes as they now are (profileId);
// version 2.4 keeps zeros there.
void finishHeader(std::vector<std::uint8_t>* profile);
// The ICC profile ID: the MD5 of the whole profile with its flags (bytes
// 44..47), rendering intent (64..67) and profile ID (84..99) taken as
// zeros. Computed over the bytes, not over what LittleCMS would write again.
void profileId(const std::vector<std::uint8_t>& profile, std::uint8_t id[16]);

}  // namespace aucal::icc

#endif
