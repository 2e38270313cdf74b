// The IT8.7/2 reference reader: line ends, separators, field lists, patch
// decoding, broken and hostile files, and the built-in table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "it8_reference.h"
#include "platform/files.h"
#include "platform/raii.hpp"
#include "qel_cms.h"
#include "support/temp_dir.h"

namespace {

using qel::It8Reference;

// Values written for patch index i; patches the reader must skip get 999.
float refX(int i) { return static_cast<float>(i) + 0.25f; }
float refY(int i) { return static_cast<float>(i) * 0.5f + 1.0f; }
float refZ(int i) { return 200.0f - static_cast<float>(i); }

struct FileStyle {
    std::string eol = "\n";
    std::string sep = " ";
    std::string fields = "SAMPLE_ID XYZ_X XYZ_Y XYZ_Z";
    // Tokens written before X (after the identifier) and between X and Y.
    int columnsBeforeX = 0;
    bool extraBetweenXAndY = false;
    std::string firstLine = "IT8.7/2";
};

// A standard file: A1..L22 and GS0..GS23, in that order.
std::string it8File(const FileStyle& st, const std::vector<std::string>& skipIds = {},
                    const std::vector<std::string>& extraLines = {}) {
    std::string s = st.firstLine + st.eol + "ORIGINATOR" + st.sep + "\"test\"" + st.eol;
    s += "NUMBER_OF_FIELDS" + st.sep + "4" + st.eol + "BEGIN_DATA_FORMAT" + st.eol + st.fields + st.eol +
         "END_DATA_FORMAT" + st.eol + "NUMBER_OF_SETS" + st.sep + "288" + st.eol + "BEGIN_DATA" + st.eol;
    auto line = [&](const std::string& id, int index) {
        for (const auto& skip : skipIds)
            if (skip == id) return;
        const float x = index < 0 ? 999.0f : refX(index);
        const float y = index < 0 ? 999.0f : refY(index);
        const float z = index < 0 ? 999.0f : refZ(index);
        std::string l = id;
        for (int c = 0; c < st.columnsBeforeX; ++c) l += st.sep + "name" + std::to_string(c);
        l += st.sep + std::to_string(x);
        if (st.extraBetweenXAndY) l += st.sep + "55.5";
        l += st.sep + std::to_string(y) + st.sep + std::to_string(z) + st.sep + "1.0" + st.sep + "2.0";
        s += l + st.eol;
    };
    const char rows[] = "ABCDEFGHIJKL";
    for (int r = 0; r < 12; ++r)
        for (int c = 1; c <= 22; ++c) line(std::string(1, rows[r]) + std::to_string(c), qel::ChromaticPatchIndex(r + 1, c));
    for (int g = 0; g <= 23; ++g) line("GS" + std::to_string(g), qel::GreyPatchIndex(g));
    for (const auto& extra : extraLines) s += extra + st.eol;
    s += "END_DATA" + st.eol;
    return s;
}

class Reference : public testing::Test {
protected:
    int read(const std::string& text) {
        const std::string path = dir_.file("ref.txt");
        testsupport::writeText(path, text);
        std::memset(&ref_, 0, sizeof ref_);
        return qel::ReadIt8Reference(&ref_, path.c_str());
    }
    void expectStandardValues(bool yFromExtraColumn = false) {
        for (int i = 0; i < qel::kReferencePatches; ++i) {
            EXPECT_EQ(ref_.entry[i][0], std::stof(std::to_string(refX(i)))) << i;
            EXPECT_EQ(ref_.entry[i][1], yFromExtraColumn ? 55.5f : std::stof(std::to_string(refY(i)))) << i;
            EXPECT_EQ(ref_.entry[i][2], std::stof(std::to_string(yFromExtraColumn ? refY(i) : refZ(i)))) << i;
        }
        EXPECT_EQ(ref_.entry[130][0], 0.0f);
        EXPECT_EQ(ref_.entry[130][1], 0.0f);
    }
    testsupport::TempDir dir_;
    It8Reference ref_{};
};

TEST_F(Reference, PatchIndexOrder) {
    EXPECT_EQ(qel::ChromaticPatchIndex(1, 1), 0);
    EXPECT_EQ(qel::ChromaticPatchIndex(1, 11), 8);
    EXPECT_EQ(qel::ChromaticPatchIndex(2, 1), 9);
    EXPECT_EQ(qel::ChromaticPatchIndex(7, 5), 57);
    EXPECT_EQ(qel::ChromaticPatchIndex(12, 11), 107);
    for (int c : {0, 4, 8, 12, 22, 23}) EXPECT_EQ(qel::ChromaticPatchIndex(1, c), -1) << c;
    EXPECT_EQ(qel::ChromaticPatchIndex(13, 1), -1);
    EXPECT_EQ(qel::GreyPatchIndex(1), 108);
    EXPECT_EQ(qel::GreyPatchIndex(5), 112);
    EXPECT_EQ(qel::GreyPatchIndex(22), 129);
    EXPECT_EQ(qel::GreyPatchIndex(0), -1);
    EXPECT_EQ(qel::GreyPatchIndex(23), -1);
}

TEST_F(Reference, AcceptsEachLineEnd) {
    for (const char* eol : {"\n", "\r", "\r\n"}) {
        FileStyle st;
        st.eol = eol;
        ASSERT_EQ(read(it8File(st)), QEL_SCANNER_OK) << static_cast<int>(eol[0]) << std::strlen(eol);
        expectStandardValues();
    }
}

TEST_F(Reference, AcceptsTabsRunsOfDelimitersAndExtraColumns) {
    FileStyle st;
    st.sep = "\t \t";
    st.fields = "\t SAMPLE_ID\tSAMPLE_NAME  XYZ_X XYZ_Y XYZ_Z LAB_L LAB_B  ";
    st.columnsBeforeX = 1;
    ASSERT_EQ(read(it8File(st)), QEL_SCANNER_OK);
    expectStandardValues();
}

TEST_F(Reference, ReadsTheXColumnAndTheTwoAfterItWhateverTheYAndZPositions) {
    FileStyle st;
    st.fields = "SAMPLE_ID XYZ_X LAB_L XYZ_Y XYZ_Z";
    st.extraBetweenXAndY = true;
    ASSERT_EQ(read(it8File(st)), QEL_SCANNER_OK);
    expectStandardValues(true);
}

TEST_F(Reference, FieldListRules) {
    FileStyle st;
    st.fields = "SAMPLE_ID XYZ_X XYZ_Z";
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_OK);
    st.fields = "SAMPLE_ID XYZ_X";
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_REFERENCE_INVALID);
    st.fields = "XYZ_X XYZ_Y XYZ_Z";  // X at position 0
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_REFERENCE_INVALID);
    st.fields = "SAMPLE_ID XYZ_X XYZ_Y XYZ_Z XYZ_X";  // the last occurrence wins: position 4
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_REFERENCE_INVALID);  // data lines lack tokens 5 and 6
    st.fields = "SAMPLE_ID XYZ_Y XYZ_Z";
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_REFERENCE_INVALID);
}

TEST_F(Reference, BrokenFilesAreRejected) {
    FileStyle st;
    st.firstLine = "CGATS.17";
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_REFERENCE_INVALID);
    st.firstLine = "IT8.7/2x";
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_REFERENCE_INVALID);
    st.firstLine = "it8.7/2";
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_REFERENCE_INVALID);
    st.firstLine = "  IT8.7/2   trailing words";
    EXPECT_EQ(read(it8File(st)), QEL_SCANNER_OK);

    EXPECT_EQ(read(""), QEL_SCANNER_REFERENCE_INVALID);
    EXPECT_EQ(read("\n"), QEL_SCANNER_REFERENCE_INVALID);
    const std::string good = it8File(FileStyle{});
    std::string noFormat = good;
    noFormat.replace(noFormat.find("BEGIN_DATA_FORMAT"), 17, "BEGIN_DATA_FORMAX");
    EXPECT_EQ(read(noFormat), QEL_SCANNER_REFERENCE_INVALID);
    EXPECT_EQ(read("IT8.7/2\nBEGIN_DATA_FORMAT"), QEL_SCANNER_REFERENCE_INVALID);
    EXPECT_EQ(read("IT8.7/2\nBEGIN_DATA_FORMAT\nSAMPLE_ID XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\n"),
              QEL_SCANNER_REFERENCE_INVALID);
    // An empty line after BEGIN_DATA_FORMAT is the field list: nothing noted.
    std::string blankFields = good;
    blankFields.insert(blankFields.find("SAMPLE_ID"), "\n");
    EXPECT_EQ(read(blankFields), QEL_SCANNER_REFERENCE_INVALID);
}

TEST_F(Reference, IgnoresUnusedIdentifiersAndDecodesNumbers) {
    // Padded numbers and the extra identifiers of real files.
    std::string text = it8File(FileStyle{}, {"A1", "G5", "GS5"},
                               {"Dmin 999 999 999", "Dmax 999 999 999", "A01 0.25 1 200", "G05 57.25 29.5 143",
                                "GS05 112.25 57 88", "M1 999 999 999", "a1 999 999 999", "A+1x 0.25 1 200"});
    ASSERT_EQ(read(text), QEL_SCANNER_OK);
    expectStandardValues();
}

TEST_F(Reference, EveryPatchMustBeSetAndLaterLinesWin) {
    // 129 usable lines.
    EXPECT_EQ(read(it8File(FileStyle{}, {"C7"})), QEL_SCANNER_REFERENCE_INVALID);
    // 130 accepted lines, but one patch twice and one missing: still rejected.
    EXPECT_EQ(read(it8File(FileStyle{}, {"C7"}, {"A1 1 2 3"})), QEL_SCANNER_REFERENCE_INVALID);
    // A patch listed twice takes its later values.
    ASSERT_EQ(read(it8File(FileStyle{}, {}, {"A1 1 2 3"})), QEL_SCANNER_OK);
    EXPECT_EQ(ref_.entry[0][0], 1.0f);
    EXPECT_EQ(ref_.entry[0][1], 2.0f);
    EXPECT_EQ(ref_.entry[0][2], 3.0f);
    // A line without the three value tokens is ignored.
    EXPECT_EQ(read(it8File(FileStyle{}, {"GS22"}, {"GS22 1 2"})), QEL_SCANNER_REFERENCE_INVALID);
    // Lines after END_DATA are not read.
    std::string late = it8File(FileStyle{}, {"B2"});
    late += "B2 1 2 3\n";
    EXPECT_EQ(read(late), QEL_SCANNER_REFERENCE_INVALID);
}

TEST_F(Reference, NumberForms) {
    ASSERT_EQ(read(it8File(FileStyle{}, {}, {"A1 1.2e1 -0 .5", "A2 nan inf 1e-999", "A3 +7.5x 3E+1 12abc"})),
              QEL_SCANNER_OK);
    EXPECT_EQ(ref_.entry[0][0], 12.0f);
    EXPECT_EQ(ref_.entry[0][1], 0.0f);
    EXPECT_TRUE(std::signbit(ref_.entry[0][1]));
    EXPECT_EQ(ref_.entry[0][2], 0.5f);
    EXPECT_EQ(ref_.entry[1][0], 0.0f);  // no digits
    EXPECT_EQ(ref_.entry[1][1], 0.0f);
    EXPECT_EQ(ref_.entry[1][2], 0.0f);  // below the float range
    EXPECT_EQ(ref_.entry[2][0], 7.5f);
    EXPECT_EQ(ref_.entry[2][1], 30.0f);
    EXPECT_EQ(ref_.entry[2][2], 12.0f);
    // Nearest float to the decimal, not a double rounded again.
    ASSERT_EQ(read(it8File(FileStyle{}, {}, {"A1 1.00000005960464477539062500001 3.89 0"})), QEL_SCANNER_OK);
    EXPECT_EQ(ref_.entry[0][0], 1.00000011920928955078125f);
    EXPECT_EQ(ref_.entry[0][1], 3.89f);
}

TEST_F(Reference, ValueBeyondTheFloatRangeMakesTheLineUnusable) {
    EXPECT_EQ(read(it8File(FileStyle{}, {"A1"}, {"A1 1e999 1 1"})), QEL_SCANNER_REFERENCE_INVALID);
    EXPECT_EQ(read(it8File(FileStyle{}, {"A1"}, {"A1 1 -4e38 1"})), QEL_SCANNER_REFERENCE_INVALID);
    // The patch's earlier line keeps its values.
    ASSERT_EQ(read(it8File(FileStyle{}, {}, {"A1 1 1 1e999"})), QEL_SCANNER_OK);
    EXPECT_EQ(ref_.entry[0][2], std::stof(std::to_string(refZ(0))));
    EXPECT_TRUE(std::isfinite(ref_.entry[0][0]));
}

TEST_F(Reference, LongLinesAndNulBytes) {
    // A 300-character header line and a 10 MB one: split, never overrun.
    std::string text = it8File(FileStyle{});
    const std::size_t afterFirst = text.find('\n') + 1;
    text.insert(afterFirst, std::string(300, 'x') + "\n" + std::string(10u << 20, 'y') + "\n");
    EXPECT_EQ(read(text), QEL_SCANNER_OK);

    // A data line split at 200 characters: its values are beyond the split.
    std::string longLine = "A1" + std::string(250, ' ') + "1 2 3";
    EXPECT_EQ(read(it8File(FileStyle{}, {"A1"}, {longLine})), QEL_SCANNER_REFERENCE_INVALID);

    // A NUL at the start of a line ends the file there.
    std::string nul = it8File(FileStyle{});
    nul.insert(nul.find("GS1 "), std::string(1, '\0'));
    EXPECT_EQ(read(nul), QEL_SCANNER_REFERENCE_INVALID);
    // A NUL inside a line ends that line's text.
    std::string inner = it8File(FileStyle{}, {"B1"}, {std::string("B1 9.25 5.5 191") + '\0' + " 7 7 7"});
    ASSERT_EQ(read(inner), QEL_SCANNER_OK);
    EXPECT_EQ(ref_.entry[9][0], 9.25f);
    EXPECT_EQ(ref_.entry[9][2], 191.0f);
}

TEST_F(Reference, UnopenedFile) {
    EXPECT_EQ(qel::ReadIt8Reference(&ref_, dir_.file("missing.txt").c_str()), QEL_SCANNER_REFERENCE_UNOPENED);
    EXPECT_EQ(qel::ReadIt8Reference(&ref_, nullptr), QEL_SCANNER_REFERENCE_UNOPENED);
}

class TextLines : public testing::Test {
protected:
    std::vector<std::string> lines(const std::string& bytes) {
        const std::string path = dir_.file("lines.txt");
        testsupport::writeText(path, bytes);
        pf::FileHandle file(pfLopen(path.c_str(), PF_OF_READ));
        EXPECT_TRUE(file.ok());
        qel::TextFile text(file.get());
        std::vector<std::string> out;
        char line[qel::kTextLineCapacity + 1];
        std::memset(line, '#', sizeof line);
        while (qel::ReadTextLine(text, line) == 1) {
            out.emplace_back(line);
            if (out.size() > 1000) break;
        }
        return out;
    }
    testsupport::TempDir dir_;
};

TEST_F(TextLines, LineEnds) {
    using V = std::vector<std::string>;
    EXPECT_EQ(lines("a\r\nb\rc\nd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(lines("\r\n\r\n"), (V{"", ""}));
    EXPECT_EQ(lines("\n\r\r\n"), (V{"", "", ""}));  // LF CR: two line ends
    EXPECT_EQ(lines("x\r"), (V{"x"}));
    EXPECT_EQ(lines(""), V{});
    EXPECT_EQ(lines(std::string("ab\0cd\nef", 8)), (V{"ab", "ef"}));
    EXPECT_EQ(lines(std::string("ab\n\0cd\nef", 9)), (V{"ab"}));
}

TEST_F(TextLines, SplitsAtTwoHundredCharactersDroppingTheNext) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += static_cast<char>('a' + i % 26);
    const auto got = lines(text + "\nnext");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], text.substr(0, 200));
    EXPECT_EQ(got[1], text.substr(201));
    EXPECT_EQ(got[2], "next");
    // Exactly 200 characters then a line end: no split.
    const auto exact = lines(std::string(200, 'z') + "\r\nq");
    ASSERT_EQ(exact.size(), 2u);
    EXPECT_EQ(exact[0].size(), 200u);
    EXPECT_EQ(exact[1], "q");
}

TEST(DefaultReference, BuiltInTableInIndexOrder) {
    It8Reference ref{};
    ref.entry[130][0] = 7.0f;
    qel::LoadDefaultIt8Reference(&ref);
    const float a1[3] = {3.89f, 3.33f, 2.46f}, a11[3] = {47.76f, 42.27f, 28.38f}, b1[3] = {3.74f, 3.41f, 2.0f};
    const float g5[3] = {8.64f, 11.03f, 10.08f}, l11[3] = {46.06f, 40.37f, 34.12f};
    const float gs1[3] = {71.67f, 74.08f, 61.44f}, gs22[3] = {0.62f, 0.66f, 0.73f};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(ref.entry[0][c], a1[c]);
        EXPECT_EQ(ref.entry[8][c], a11[c]);
        EXPECT_EQ(ref.entry[9][c], b1[c]);
        EXPECT_EQ(ref.entry[57][c], g5[c]);
        EXPECT_EQ(ref.entry[107][c], l11[c]);
        EXPECT_EQ(ref.entry[108][c], gs1[c]);
        EXPECT_EQ(ref.entry[129][c], gs22[c]);
    }
    EXPECT_EQ(ref.entry[130][0], 7.0f);
    // The grey scale runs from light to dark.
    for (int i = 109; i < 130; ++i) EXPECT_LT(ref.entry[i][1], ref.entry[i - 1][1]) << i;
    // The nearest float to the decimal, not a rounding through double.
    EXPECT_EQ(ref.entry[0][0], std::stof("3.89"));
}

}  // namespace
