// Target reference data as makers ship it: every accepted variant gives the
// same 130 reference values as the plain file, every refused one names the
// line of its first problem.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>

#include "it8_target/virtual_it8.h"
#include "reference_file.h"

namespace {

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// The line (1-based) on which `needle` first occurs.
int lineOf(const std::string& text, const std::string& needle) {
    const std::size_t at = text.find(needle);
    return at == std::string::npos ? -1 : 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
}

// Only the SAMPLE_ID and LAB columns of the virtual target's file, with the
// CIELAB written to 5 decimals from the same colours.
std::string labOnly(const it8sim::It8ReferenceSet& refs) {
    std::string text = "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nBEGIN_DATA\n";
    auto add = [&](const std::string& id, const it8sim::Xyz& c) {
        const double w[3] = {96.42, 100.0, 82.49};
        auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; };
        const double fx = f(c.x / w[0]), fy = f(c.y / w[1]), fz = f(c.z / w[2]);
        char line[128];
        std::snprintf(line, sizeof line, "%s %.5f %.5f %.5f\n", id.c_str(), 116 * fy - 16, 500 * (fx - fy),
                      200 * (fy - fz));
        text += line;
    };
    for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 22; ++c) add(std::string(1, static_cast<char>('A' + r)) + std::to_string(c + 1), refs.colour[r][c]);
    for (int g = 0; g < 24; ++g) add("GS" + std::to_string(g), refs.grey[g]);
    return text + "END_DATA\n";
}

struct Accepted {
    const char* name;
    std::function<std::string(const std::string& plain)> make;
    bool exact;  // the same floats; otherwise within 0.001 (CIELAB converted)
};

TEST(ReferenceFile, MakersVariantsGiveThePlainFilesValues) {
    const auto refs = it8sim::makeIt8Reference();
    const std::string plain = it8sim::it8ReferenceText(refs);
    aucal::ReferenceData expected;
    std::string error;
    ASSERT_TRUE(aucal::parseReferenceText(plain, "plain", &expected, &error)) << error;
    const Accepted rows[] = {
        {"CGATS.17 header", [](const std::string& p) { return replaceAll(p, "IT8.7/2\n", "CGATS.17\n"); }, true},
        {"CGATS header", [](const std::string& p) { return replaceAll(p, "IT8.7/2\n", "CGATS\n"); }, true},
        {"CR LF line ends", [](const std::string& p) { return replaceAll(p, "\n", "\r\n"); }, true},
        {"CR line ends", [](const std::string& p) { return replaceAll(p, "\n", "\r"); }, true},
        {"byte-order mark", [](const std::string& p) { return "\xEF\xBB\xBF" + p; }, true},
        {"spaces", [](const std::string& p) { return replaceAll(p, "\t", "   "); }, true},
        {"A01 and GS01 names",
         [](const std::string& p) {
             std::string s = p;
             for (const char* row : {"\nA", "\nB", "\nC", "\nD", "\nE", "\nF", "\nG", "\nH", "\nI", "\nJ", "\nK",
                                     "\nL", "\nGS"})
                 for (const char* digit : {"1", "2", "3", "4", "5", "6", "7", "8", "9"}) {
                     const std::string from = std::string(row).append(digit).append("\t");
                     s = replaceAll(s, from, std::string(row).append("0").append(digit).append("\t"));
                 }
             return s;
         },
         true},
        {"field list over two lines with SAMPLE_NAME",
         [](const std::string& p) {
             return replaceAll(p, "SAMPLE_ID\tXYZ_X", "SAMPLE_NAME\nXYZ_X");
         },
         true},
        {"Lab only, CGATS.17", [&](const std::string&) { return labOnly(refs); }, false},
    };
    for (const Accepted& row : rows) {
        SCOPED_TRACE(row.name);
        aucal::ReferenceData got;
        ASSERT_TRUE(aucal::parseReferenceText(row.make(plain), "variant", &got, &error)) << error;
        for (int i = 0; i < aucal::kReferencePatchCount; ++i)
            for (int k = 0; k < 3; ++k) {
                if (row.exact) ASSERT_EQ(got.xyz[i][k], expected.xyz[i][k]) << aucal::referencePatchName(i);
                else ASSERT_NEAR(got.xyz[i][k], expected.xyz[i][k], 1e-3) << aucal::referencePatchName(i);
            }
        // What the engine is handed reads back as the same values.
        aucal::ReferenceData again;
        ASSERT_TRUE(aucal::parseReferenceText(aucal::normalisedReferenceText(got), "normalised", &again, &error));
        EXPECT_EQ(again.xyz, got.xyz);
    }
}

// The data lines' XYZ divided by 100, as files on a 0 to 1 scale hold them.
std::string xyzOnAUnitScale(const std::string& plain) {
    std::istringstream in(plain);
    std::string out, line;
    bool data = false;
    while (std::getline(in, line)) {
        if (line == "END_DATA") data = false;
        if (data) {
            std::istringstream fields(line);
            std::string id, rest;  // rest: the LAB fields, with the tab before them
            double x, y, z;
            fields >> id >> x >> y >> z;
            std::getline(fields, rest);
            char scaled[96];
            std::snprintf(scaled, sizeof scaled, "%s\t%.5f\t%.5f\t%.5f", id.c_str(), x / 100, y / 100, z / 100);
            line = scaled + rest;
        }
        if (line == "BEGIN_DATA") data = true;
        out += line + "\n";
    }
    return out;
}

struct Refused {
    const char* name;
    std::function<std::string(const std::string& plain)> make;
    const char* lineNeedle;  // the line that must be named: where this text first occurs in the variant
    const char* says;
};

TEST(ReferenceFile, RefusedVariantsNameTheirLine) {
    const std::string plain = it8sim::it8ReferenceText(it8sim::makeIt8Reference());
    const auto valueOf = [&](const std::string& id) {
        const std::size_t at = plain.find("\n" + id + "\t") + id.size() + 2;
        return plain.substr(at, plain.find('\t', at) - at);  // its XYZ_X
    };
    const auto setX = [&](const std::string& p, const std::string& id, const std::string& x) {
        return replaceAll(p, "\n" + id + "\t" + valueOf(id) + "\t", "\n" + id + "\t" + x + "\t");
    };
    const Refused rows[] = {
        {"other header", [](const std::string& p) { return replaceAll(p, "IT8.7/2\n", "LGOROWLENGTH 6\n"); },
         "LGOROWLENGTH", "not with IT8.7/2 or CGATS.17"},
        {"decimal comma", [&](const std::string& p) { return setX(p, "B5", replaceAll(valueOf("B5"), ".", ",")); },
         "\nB5\t", "decimal comma"},
        {"nan", [&](const std::string& p) { return setX(p, "C2", "nan"); }, "\nC2\t", "not a finite number"},
        {"1e30", [&](const std::string& p) { return setX(p, "D3", "1e30"); }, "\nD3\t", "outside 0 to 150"},
        {"Y above 110",
         [](const std::string& p) {
             const std::size_t a = p.find("\nGS1\t") + 1;
             return p.substr(0, a) + "GS1\t80\t120.5\t70\t100\t0\t0" + p.substr(p.find('\n', a));
         },
         "\nGS1\t", "Y = 120.5"},
        {"a word", [&](const std::string& p) { return setX(p, "E6", "n/a"); }, "\nE6\t", "is not a number"},
        {"duplicate", [](const std::string& p) { return replaceAll(p, "\nEND_DATA\n", "\nA1 1 2 3 4 5 6\nEND_DATA\n"); },
         "\nA1 ", "appears again (first on line 12)"},
        {"missing patch",
         [](const std::string& p) {
             const std::size_t a = p.find("\nF7\t") + 1;
             return p.substr(0, a) + p.substr(p.find('\n', a) + 1);
         },
         "\nEND_DATA\n", "have no values: F7"},
        {"short line", [&](const std::string& p) { return replaceAll(p, "\nG9\t" + valueOf("G9") + "\t", "\nG9\t"); },
         "\nG9\t", "6 values where the data format names 7"},
        {"comma separated",
         [&](const std::string& p) { return replaceAll(p, "\nH1\t" + valueOf("H1") + "\t", "\nH1," + valueOf("H1") + ","); },
         "\nH1,", "holds a comma"},
        {"no colour fields", [](const std::string& p) { return replaceAll(replaceAll(p, "XYZ_", "XYZ"), "LAB_", "LAB"); },
         "BEGIN_DATA_FORMAT", "neither XYZ_X XYZ_Y XYZ_Z nor LAB_L LAB_A LAB_B"},
        {"no data", [](const std::string& p) { return p.substr(0, p.find("BEGIN_DATA\n")); }, "NUMBER_OF_SETS",
         "ends before BEGIN_DATA"},
        {"UTF-16", [](const std::string& p) { return "\xFF\xFE" + p; }, "\xFF\xFE", "UTF-16"},
        {"0 to 1 scale", [](const std::string& p) { return xyzOnAUnitScale(p); }, "\nGS1\t", "on a 0 to 1 scale"},
    };
    for (const Refused& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string text = row.make(plain);
        ASSERT_NE(text, plain);
        aucal::ReferenceData got;
        std::string error;
        ASSERT_FALSE(aucal::parseReferenceText(text, "ref.txt", &got, &error));
        // A needle that starts with a line end names the line after it.
        const int line = lineOf(text, row.lineNeedle) + (row.lineNeedle[0] == '\n' ? 1 : 0);
        EXPECT_NE(error.find("ref.txt line " + std::to_string(line) + ": "), std::string::npos) << error;
        EXPECT_NE(error.find(row.says), std::string::npos) << error;
    }
}

}  // namespace
