// Saved models and blocks: what is refused and why.
#include <gtest/gtest.h>

#include <filesystem>

#include "qel_cms.h"
#include "saved_file.h"
#include "support/temp_dir.h"

namespace {

using aucal::SavedKind;

std::vector<std::uint8_t> payloadOf(std::size_t n) {
    std::vector<std::uint8_t> p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(i * 7);
    return p;
}

TEST(SavedFile, RoundTripKeepsTheExactBytes) {
    testsupport::TempDir dir;
    const auto payload = payloadOf(QEL_MATRIX_BLOCK_SIZE);
    std::string error;
    const std::string note = "patch differences: mean 0.41\nwarning: none\n";
    ASSERT_TRUE(aucal::saveFile(dir.file("m.blk"), SavedKind::MatrixBlock, payload, &error, note)) << error;
    aucal::LoadedFile loaded;
    ASSERT_TRUE(aucal::loadFile(dir.file("m.blk"), &loaded, &error)) << error;
    EXPECT_EQ(loaded.kind, SavedKind::MatrixBlock);
    EXPECT_EQ(loaded.payload, payload);
    EXPECT_EQ(loaded.note, note);
    EXPECT_EQ(loaded.version, 2u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.blk.part")));
}

TEST(SavedFile, DamagedFilesAreRefusedWithAReason) {
    testsupport::TempDir dir;
    std::string error;
    ASSERT_TRUE(aucal::saveFile(dir.file("l.blk"), SavedKind::LookupBlock, payloadOf(QEL_LUT_BLOCK_SIZE), &error));
    const auto good = testsupport::readFile(dir.file("l.blk"));
    aucal::LoadedFile loaded;

    auto truncated = good;
    truncated.resize(good.size() - 1);
    testsupport::writeFile(dir.file("t.blk"), truncated);
    EXPECT_FALSE(aucal::loadFile(dir.file("t.blk"), &loaded, &error));
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;

    auto flipped = good;
    flipped[24 + 5000] ^= 0x10;
    testsupport::writeFile(dir.file("c.blk"), flipped);
    EXPECT_FALSE(aucal::loadFile(dir.file("c.blk"), &loaded, &error));
    EXPECT_NE(error.find("corrupted"), std::string::npos) << error;

    auto wrongVersion = good;
    wrongVersion[12] = 9;
    testsupport::writeFile(dir.file("v.blk"), wrongVersion);
    EXPECT_FALSE(aucal::loadFile(dir.file("v.blk"), &loaded, &error));
    EXPECT_NE(error.find("version"), std::string::npos) << error;

    testsupport::writeText(dir.file("x.blk"), "hello, not a block");
    EXPECT_FALSE(aucal::loadFile(dir.file("x.blk"), &loaded, &error));
    EXPECT_FALSE(aucal::loadFile(dir.file("missing.blk"), &loaded, &error));
}

// Files written before the header carried a note: the 24-byte header, then
// the payload.
TEST(SavedFile, VersionOneFilesStillLoad) {
    testsupport::TempDir dir;
    const auto payload = payloadOf(818);
    std::vector<std::uint8_t> bytes = {'A', 'U', 'C', 'A', 'L', 'S', 'A', 'V', 2, 0, 0, 0, 1, 0, 0, 0, 0x32, 3, 0, 0};
    const std::uint32_t crc = aucal::crc32(payload.data(), payload.size());
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    testsupport::writeFile(dir.file("v1.blk"), bytes);
    aucal::LoadedFile loaded;
    std::string error;
    ASSERT_TRUE(aucal::loadFile(dir.file("v1.blk"), &loaded, &error)) << error;
    EXPECT_EQ(loaded.version, 1u);
    EXPECT_EQ(loaded.payload, payload);
    EXPECT_TRUE(loaded.note.empty());
}

TEST(SavedFile, ADamagedNoteIsRefused) {
    testsupport::TempDir dir;
    std::string error;
    ASSERT_TRUE(aucal::saveFile(dir.file("n.blk"), SavedKind::MatrixBlock, payloadOf(818), &error, "figures\n"));
    auto bytes = testsupport::readFile(dir.file("n.blk"));
    auto changed = bytes;
    changed[32] ^= 0x01;  // the note's first byte
    testsupport::writeFile(dir.file("c.blk"), changed);
    aucal::LoadedFile loaded;
    EXPECT_FALSE(aucal::loadFile(dir.file("c.blk"), &loaded, &error));
    EXPECT_NE(error.find("note"), std::string::npos) << error;
    changed = bytes;
    changed[26] = 0x7F;  // a note longer than the file
    testsupport::writeFile(dir.file("t.blk"), changed);
    EXPECT_FALSE(aucal::loadFile(dir.file("t.blk"), &loaded, &error));
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

TEST(SavedFile, SizeMustMatchTheKind) {
    testsupport::TempDir dir;
    std::string error;
    ASSERT_TRUE(aucal::saveFile(dir.file("odd.blk"), SavedKind::MatrixBlock, payloadOf(900), &error));
    aucal::LoadedFile loaded;
    EXPECT_FALSE(aucal::loadFile(dir.file("odd.blk"), &loaded, &error));
    EXPECT_NE(error.find(std::to_string(QEL_MATRIX_BLOCK_SIZE)), std::string::npos) << error;
}

TEST(SavedFile, WrongKindIsNamed) {
    testsupport::TempDir dir;
    std::string error;
    ASSERT_TRUE(aucal::saveFile(dir.file("s.mdl"), SavedKind::ScannerModel, payloadOf(QEL_MODEL_SIZE), &error));
    aucal::LoadedFile loaded;
    EXPECT_FALSE(aucal::loadFileOfKind(dir.file("s.mdl"), {SavedKind::MatrixBlock, SavedKind::LookupBlock}, &loaded,
                                       &error));
    EXPECT_NE(error.find("scanner model"), std::string::npos) << error;
}

TEST(SavedFile, Crc32OfAKnownString) {
    const std::string s = "123456789";
    EXPECT_EQ(aucal::crc32(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), 0xCBF43926u);
}

}  // namespace
