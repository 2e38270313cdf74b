// aucal info on target reference data: read with the same checks as aucal
// scanner --reference, so that what info says is what the scanner step does.
#include <cstdio>

#include "describe_file.h"
#include "reference_file.h"

namespace aucal {

bool looksLikeReference(const std::vector<std::uint8_t>& head) {
    std::size_t i = head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF ? 3 : 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    const std::string start(head.begin() + static_cast<std::ptrdiff_t>(i), head.end());
    return start.rfind("IT8.7/2", 0) == 0 || start.rfind("CGATS", 0) == 0;
}

bool describeReference(const std::string& path, const std::string& text, std::string*) {
    ReferenceData data;
    std::string problem;
    const bool accepted = parseReferenceText(text, path, &data, &problem);
    std::printf("%s: target reference data", path.c_str());
    if (!data.header.empty()) std::printf(", header %s, %s values", data.header.c_str(),
                                          data.fromLab ? "D50 CIELAB (converted to XYZ)" : "XYZ");
    std::printf("\n");
    if (!data.fields.empty()) {
        std::string fields;
        for (const std::string& f : data.fields) fields += " " + f;
        std::printf("  %zu fields:%s\n", data.fields.size(), fields.c_str());
        std::printf("  %d data rows; of the %d patches the model uses, %d found\n", data.dataRows,
                    kReferencePatchCount, kReferencePatchCount - static_cast<int>(data.missing.size()));
    }
    if (!data.missing.empty()) {
        std::string names;
        for (const std::string& name : data.missing) names += " " + name;
        std::printf("  missing:%s\n", names.c_str());
    }
    if (accepted) std::printf("  accepted by aucal scanner --reference\n");
    else std::printf("  refused by aucal scanner --reference: %s\n", problem.c_str());
    return true;
}

}  // namespace aucal
