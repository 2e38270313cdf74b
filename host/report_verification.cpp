#include "report_verification.h"

#include <sstream>

#include "colour_maths.h"
#include "svg_chart.h"

namespace aucal {

namespace {

bool isGrey(const PatchDifference& p) { return p.name.rfind("GS", 0) == 0; }

std::string criteriaText() {
    std::string s;
    for (const Criterion& c : kCriteria)
        s += std::string(s.empty() ? "" : "; ") + c.name + ": mean &le; " + svg::number(c.mean, 1) +
             " and maximum &le; " + svg::number(c.max, 1);
    return s;
}

}  // namespace

std::vector<VerificationRow> verificationRows(const std::vector<PatchDifference>& patches,
                                              const std::vector<double>& printerDe2000) {
    std::vector<double> all, grey, cast;
    for (const PatchDifference& p : patches) {
        all.push_back(p.de2000);
        if (!isGrey(p)) continue;
        grey.push_back(p.de2000);
        cast.push_back(deltaE2000(p.reference, {p.reference[0], p.model[1], p.model[2]}));
    }
    return {{"scanner model, every patch", all.size(), deStats(all)},
            {"scanner model, grey scale", grey.size(), deStats(grey)},
            {"grey balance", cast.size(), deStats(cast)},
            {"printer correction", printerDe2000.size(), deStats(printerDe2000)}};
}

std::string verificationSection(const ReportData& d) {
    std::ostringstream s;
    s << "<section id=\"verification\"><h2>Verification summary</h2><p>Colour differences in CIEDE2000 "
         "(&Delta;E00), judged against two criteria: "
      << criteriaText()
      << ".</p><p>The scanner model's colour of each target patch is compared with the target's reference data, "
         "over every patch and over the grey scale (GS1 to GS22); grey balance is the grey scale's difference with "
         "the lightness difference left out, the colour cast alone. The printer correction is judged by what the "
         "virtual printer prints from it for each grid colour it can print, against the colour aimed at.</p><div "
         "class=\"table-box\"><table><tr><th>compared</th><th>colours</th><th>mean</th>"
         "<th>median</th><th>95th percentile</th><th>maximum</th>";
    for (const Criterion& c : kCriteria) s << "<th>" << c.name << "</th>";
    s << "</tr>";
    for (const VerificationRow& r : verificationRows(d.patches, d.printerNodeDe2000)) {
        s << "<tr><td class=\"text\">" << svg::escaped(r.what) << "</td><td>" << r.count << "</td><td>"
          << svg::number(r.de2000.mean, 2) << "</td><td>" << svg::number(r.de2000.median, 2) << "</td><td>"
          << svg::number(r.de2000.p95, 2) << "</td><td>" << svg::number(r.de2000.max, 2) << "</td>";
        for (const Criterion& c : kCriteria)
            s << (meets(r.de2000, c) ? "<td class=\"met\">met</td>" : "<td class=\"not-met\">not met</td>");
        s << "</tr>";
    }
    s << "</table></div>";

    // The five worst patches by name, and what the placement check says of them.
    std::vector<std::array<double, 3>> greyLevels;
    for (std::size_t i = 0; i < d.patches.size() && i < d.it8Reading.rgb.size(); ++i)
        if (isGrey(d.patches[i])) greyLevels.push_back(d.it8Reading.rgb[i]);
    const FitQuality quality = scannerFitQuality(d.patches, greyLevels);
    s << "<p>Largest scanner model differences:";
    for (std::size_t k = 0; k < quality.worst.size(); ++k)
        s << (k ? ", " : " ") << svg::escaped(quality.worst[k].first) << ' ' << svg::number(quality.worst[k].second, 2);
    s << ".";
    for (const std::string& w : quality.warnings) s << "<br>Warning: " << svg::escaped(w);
    s << "</p>";
    std::string links;
    for (const auto& [label, name] : d.files)
        if (name.ends_with(".ti3") || name.ends_with(".json"))
            links += std::string(links.empty() ? " " : "; ") + "<a href=\"" + svg::escaped(name) + "\">" +
                     svg::escaped(name) + "</a> (" + svg::escaped(label) + ")";
    if (!links.empty()) s << "<p>The measured patches, for other tools:" << links << ".</p>";
    s << "</section>";
    return s.str();
}

}  // namespace aucal
