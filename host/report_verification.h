// The report's verification summary: the statistics people compare
// calibrations by (mean, median, 95th percentile and maximum CIEDE2000, and
// the grey scale's balance) for each thing the demo measured, each judged
// against two stated criteria and marked met or not, with links to the
// measured patches for other tools.
#ifndef AUCAL_REPORT_VERIFICATION_H
#define AUCAL_REPORT_VERIFICATION_H

#include <array>
#include <string>
#include <vector>

#include "fit_quality.h"
#include "report.h"

namespace aucal {

// Bounds on the mean and the maximum CIEDE2000 of a set of colours.
struct Criterion {
    const char* name;
    double mean;
    double max;
};
constexpr std::array<Criterion, 2> kCriteria{{{"nominal", 1.5, 4.0}, {"recommended", 1.0, 3.0}}};

inline bool meets(const DeStats& s, const Criterion& c) { return s.mean <= c.mean && s.max <= c.max; }

struct VerificationRow {
    std::string what;   // what was compared with what
    std::size_t count;  // colours compared
    DeStats de2000;
};

// patches: the scanner model against the reference data, in patch order;
// printerDe2000: each printable grid colour as printed against its aim.
// Grey balance is the grey scale's difference with the lightness difference
// left out: the colour cast alone.
std::vector<VerificationRow> verificationRows(const std::vector<PatchDifference>& patches,
                                              const std::vector<double>& printerDe2000);

// The section, first in the report.
std::string verificationSection(const ReportData& data);

}  // namespace aucal

#endif
