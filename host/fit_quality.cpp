#include "fit_quality.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "scanner_model_eval.h"

namespace aucal {

namespace {

constexpr int kRows = 12;            // A..L
constexpr int kColumns = 9;          // the used columns 1, 2, 3, 5, 6, 7, 9, 10, 11
constexpr int kChromatic = kRows * kColumns;
constexpr int kGreys = 22;
constexpr int kUsedColumn[kColumns] = {1, 2, 3, 5, 6, 7, 9, 10, 11};

// A line of patches is suspicious when its median difference is this many
// times the median of the other chromatic patches and at least this much
// larger (CIEDE2000): a good fit spreads its residuals over the target.
constexpr double kLineFactor = 3.0;
constexpr double kLineMargin = 3.0;
// A single patch is far off its neighbours (4-neighbourhood on the target)
// beyond this factor and margin over their median.
constexpr double kPatchFactor = 4.0;
constexpr double kPatchMargin = 8.0;
// The grey scale falls from GS1 to GS22; patch means may wobble by this many
// levels where neighbouring steps are nearly equal (the darkest greys).
constexpr double kLadderTolerance = 1.0;

double median(std::vector<double> v) { return v.empty() ? 0.0 : deStats(std::move(v)).median; }

char rowLetter(int row) { return static_cast<char>('A' + row); }

std::string fixed(double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%.1f", v);
    return s;
}

// Lines of the colour field (rows or columns) whose differences stand out.
void checkLines(const std::vector<PatchDifference>& patches, bool columns, std::vector<bool>* flagged,
                std::vector<std::string>* warnings) {
    const int lines = columns ? kColumns : kRows, length = columns ? kRows : kColumns;
    for (int line = 0; line < lines; ++line) {
        std::vector<double> inside, outside;
        std::vector<int> members;
        for (int i = 0; i < kChromatic; ++i) {
            const bool member = (columns ? i % kColumns : i / kColumns) == line;
            (member ? inside : outside).push_back(patches[i].de2000);
            if (member) members.push_back(i);
        }
        const double in = median(inside), out = median(outside);
        if (in < kLineFactor * out || in < out + kLineMargin) continue;
        for (int i : members) (*flagged)[i] = true;
        const std::string name = columns ? "column " + std::to_string(kUsedColumn[line])
                                         : std::string("row ") + rowLetter(line);
        warnings->push_back("placement: " + name + " of the colour field lies far from the reference (median " +
                            fixed(in) + " against " + fixed(out) + " elsewhere, " + std::to_string(length) +
                            " patches): the target may be misread (a shifted " + (columns ? "column" : "row") +
                            " or a cut-off edge); check the scan's framing");
    }
}

// The patches next to patch i on the target that the model uses.
std::vector<int> neighbours(int i) {
    std::vector<int> out;
    if (i >= kChromatic) {
        if (i > kChromatic) out.push_back(i - 1);
        if (i + 1 < kChromatic + kGreys) out.push_back(i + 1);
        return out;
    }
    const int row = i / kColumns, column = i % kColumns;
    if (column > 0) out.push_back(i - 1);
    if (column + 1 < kColumns) out.push_back(i + 1);
    if (row > 0) out.push_back(i - kColumns);
    if (row + 1 < kRows) out.push_back(i + kColumns);
    return out;
}

// Patch indices by CIEDE2000, largest first (ties in patch order).
std::vector<int> worstFirst(const std::vector<PatchDifference>& patches) {
    std::vector<int> order(patches.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return patches[a].de2000 > patches[b].de2000; });
    return order;
}

}  // namespace

DeStats deStats(std::vector<double> values) {
    DeStats s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(n);
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.p95 = values[std::min(n - 1, (95 * n + 99) / 100 - 1)];
    s.max = values.back();
    return s;
}

FitQuality summarisePatches(const std::vector<PatchDifference>& patches) {
    FitQuality q;
    std::vector<double> d2000, d76;
    for (const PatchDifference& p : patches) {
        d2000.push_back(p.de2000);
        d76.push_back(p.de76);
    }
    q.de2000 = deStats(d2000);
    q.de76 = deStats(d76);
    const std::vector<int> order = worstFirst(patches);
    for (std::size_t k = 0; k < order.size() && k < 5; ++k)
        q.worst.emplace_back(patches[order[k]].name, patches[order[k]].de2000);
    return q;
}

FitQuality scannerFitQuality(const std::vector<PatchDifference>& patches,
                             const std::vector<std::array<double, 3>>& greyLevels) {
    FitQuality q = summarisePatches(patches);
    if (patches.size() != static_cast<std::size_t>(kChromatic + kGreys)) return q;
    const std::vector<int> order = worstFirst(patches);

    std::vector<bool> flagged(patches.size(), false);
    checkLines(patches, true, &flagged, &q.warnings);
    checkLines(patches, false, &flagged, &q.warnings);
    for (std::size_t n = 0; n + 1 < greyLevels.size(); ++n) {
        const char* channel[3] = {"red", "green", "blue"};
        int c = 0;
        while (c < 3 && greyLevels[n + 1][c] <= greyLevels[n][c] + kLadderTolerance) ++c;
        if (c == 3) continue;
        q.warnings.push_back("placement: the grey scale does not fall from GS" + std::to_string(n + 1) + " to GS" +
                             std::to_string(n + 2) + " (" + channel[c] + " " + fixed(greyLevels[n][c]) + " then " +
                             fixed(greyLevels[n + 1][c]) + "): the grey scale may be misread or the target "
                             "soiled");
        break;
    }
    for (int i : order) {
        if (flagged[i]) continue;
        std::vector<double> around;
        for (int k : neighbours(i)) around.push_back(patches[k].de2000);
        const double m = median(around);
        if (patches[i].de2000 < kPatchFactor * m || patches[i].de2000 < m + kPatchMargin) continue;
        q.warnings.push_back("placement: patch " + patches[i].name + " lies far off (" + fixed(patches[i].de2000) +
                             " against " + fixed(m) + " around it): dust, a mark or a misplaced sample window");
    }
    return q;
}

std::vector<PatchDifference> patchDifferences(const PatchSet& patches, const std::vector<float>& model) {
    std::vector<PatchDifference> out;
    const std::vector<std::string> names = patchNames();
    for (std::size_t i = 0; i < patches.rgb.size() && i < patches.xyz.size(); ++i) {
        const float levels[3] = {float(patches.rgb[i][0]), float(patches.rgb[i][1]), float(patches.rgb[i][2])};
        float xyz[3];
        qel::ModelLevelsXyz(model.data(), levels, xyz);
        PatchDifference d;
        d.name = names[i];
        d.reference = labFromXyz(patches.xyz[i], kTargetWhite);
        d.model = labFromXyz({xyz[0], xyz[1], xyz[2]}, kTargetWhite);
        d.de76 = deltaE76(d.reference, d.model);
        d.de2000 = deltaE2000(d.reference, d.model);
        out.push_back(d);
    }
    return out;
}

bool scannerFitQualityOf(const std::string& scanPath, const std::string& referencePath,
                         const std::vector<float>& model, FitQuality* quality, std::string* error) {
    PatchSet patches;
    if (!loadPatchSet(scanPath, referencePath, &patches, error)) return false;
    const auto greys = patches.rgb.begin() + std::min<std::ptrdiff_t>(kChromatic, std::ssize(patches.rgb));
    *quality = scannerFitQuality(patchDifferences(patches, model), {greys, patches.rgb.end()});
    return true;
}

std::vector<std::string> qualityLines(const FitQuality& q) {
    auto stats = [](const char* name, const DeStats& s) {
        char line[160];
        std::snprintf(line, sizeof line, "%-9s mean %.2f, median %.2f, 95th percentile %.2f, maximum %.2f", name, s.mean,
                      s.median, s.p95, s.max);
        return std::string(line);
    };
    std::vector<std::string> lines = {q.heading, "  " + stats("CIEDE2000", q.de2000),
                                      "  " + stats("CIE76", q.de76)};
    std::string worst = "  worst (CIEDE2000):";
    for (std::size_t k = 0; k < q.worst.size(); ++k)
        worst += (k ? ", " : " ") + q.worst[k].first + " " + fixed(q.worst[k].second);
    lines.push_back(worst);
    if (q.warnings.empty()) lines.push_back("placement check: no pattern of a misread " + q.document);
    for (const std::string& w : q.warnings) lines.push_back("warning: " + w);
    return lines;
}

std::string qualityNote(const FitQuality& quality) {
    std::string note;
    for (const std::string& line : qualityLines(quality)) note += line + "\n";
    return note;
}

}  // namespace aucal
