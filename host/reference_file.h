// Target reference data as target makers ship it, checked and normalised
// into the one form the engine's reference reader accepts.
//
// Accepted: a first line "IT8.7/2", "CGATS.17" or another CGATS identifier,
// then the CGATS layout (keywords, BEGIN_DATA_FORMAT .. END_DATA_FORMAT,
// BEGIN_DATA .. END_DATA); LF, CR LF or CR line ends; a UTF-8 byte-order
// mark; spaces or tabs between tokens; XYZ (XYZ_X XYZ_Y XYZ_Z) or, where the
// XYZ fields are missing, D50 CIELAB (LAB_L LAB_A LAB_B); sample names A1 or
// A01, GS1 or GS01 under SAMPLE_NAME or SAMPLE_ID (or in the first field).
//
// Checked: each of the 130 patches the model uses appears exactly once, every
// value is a finite number written with a decimal point, Y lies from 0 to 110
// and X, Z from 0 to 150 (a scale on which white has Y = 100). The first
// problem is named with its line.
//
// Normalised: "IT8.7/2", one field list SAMPLE_ID XYZ_X XYZ_Y XYZ_Z, the 130
// patches in the reference patch index order, LF line ends. Each XYZ value
// given in the file is written so that it reads back as the same 32-bit
// float the engine would have read from the original text; CIELAB is
// converted to XYZ with the D50 white on the Y = 100 scale.
#ifndef AUCAL_REFERENCE_FILE_H
#define AUCAL_REFERENCE_FILE_H

#include <array>
#include <string>
#include <vector>

namespace aucal {

constexpr int kReferencePatchCount = 130;

struct ReferenceData {
    std::array<std::array<float, 3>, kReferencePatchCount> xyz{};  // reference patch index order
    std::string header;     // the first line's first token, e.g. "IT8.7/2", "CGATS.17"
    bool fromLab = false;   // converted from LAB_L LAB_A LAB_B
    // What the file holds, for aucal info; filled as far as the reading got
    // when the file is refused for patches without values.
    std::vector<std::string> fields;  // the data format's field names
    int dataRows = 0;                 // rows between BEGIN_DATA and END_DATA
    std::vector<std::string> missing;  // names of the 130 patches without values
};

// The model's patch name of a reference patch index: A1..L11 (columns 1-3,
// 5-7, 9-11), then GS1..GS22.
std::string referencePatchName(int index);
// The reference patch index of a sample name (A1, A01, GS1, GS01), -1 for a
// patch the model does not use or a name that is not a patch.
int referencePatchIndex(const std::string& name);

// False with "line N: ..." when the text is refused. `source` names the file
// in the sentence. Refused for missing patches, `out` still says what was read.
bool parseReferenceText(const std::string& text, const std::string& source, ReferenceData* out, std::string* error);
bool readReferenceFile(const std::string& path, ReferenceData* out, std::string* error);

// The IT8.7/2 text the engine reads, with LF line ends.
std::string normalisedReferenceText(const ReferenceData& data);

class ScratchFile;
// The reference data file at `path`, checked and normalised into `scratch`
// for the engine; false with the sentence of the first problem.
bool prepareReference(const std::string& path, ScratchFile* scratch, std::string* error);
// What aucal says when no reference data file is given.
extern const char* const kBuiltInReferenceNote;

}  // namespace aucal

#endif
