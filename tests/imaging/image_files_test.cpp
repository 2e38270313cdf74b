// Image files of every kind, from the corpus that libpng, libtiff and libjpeg
// write at test time: read as stored (samples, alpha, pages, metadata) or
// refused naming what they are, and written back by our writers unchanged.
#include "imaging/image_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "image_corpus.h"
#include "support/temp_dir.h"

namespace {

using corpus::Kind;
using corpus::Variant;
using imaging::Format;

class CorpusFiles : public ::testing::TestWithParam<Kind> {
protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        std::string error;
        ASSERT_TRUE(corpus::writeAll(dir_->path().string(), &error)) << error;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string pathOf(const Kind& k) { return dir_->file(k.file); }
    static std::string scratch(const std::string& name) { return dir_->file(name); }
    static testsupport::TempDir* dir_;
};
testsupport::TempDir* CorpusFiles::dir_ = nullptr;

// Every page of a file, whole.
std::vector<imaging::Image> readPages(const std::string& path, imaging::FileFacts* facts, std::string* error) {
    std::vector<imaging::Image> pages;
    auto reader = imaging::openImage(path, error);
    if (!reader) return pages;
    *facts = reader->facts();
    do {
        imaging::Image page = reader->shape();
        page.pixels.resize(page.rowBytes() * static_cast<std::size_t>(page.height));
        if (!reader->readRows(page.height, page.pixels.data(), error)) return {};
        pages.push_back(std::move(page));
    } while (reader->nextPage(error));
    return pages;
}

void expectSamples(const Kind& k, const std::vector<imaging::Image>& pages, int tolerance) {
    for (std::size_t p = 0; p < pages.size(); ++p)
        for (int y = 0; y < k.height; ++y)
            for (int x = 0; x < k.width; ++x)
                for (int c = 0; c < k.channels; ++c) {
                    const int got = static_cast<int>(pages[p].sample(x, y, c));
                    const int want = static_cast<int>(corpus::expectedSample(k, static_cast<int>(p), x, y, c));
                    ASSERT_LE(std::abs(got - want), tolerance) << k.file << " page " << p << " at " << x << "," << y
                                                               << " channel " << c;
                }
}

// What the Metadata kinds carry, as each format names it.
void expectMetadata(const Kind& k, const imaging::Metadata& m, bool profileKept) {
    if (k.variant != Variant::Metadata) {
        EXPECT_EQ(m.xDpi, 0.0);
        EXPECT_TRUE(m.iccProfile.empty());
        return;
    }
    EXPECT_NEAR(m.xDpi, corpus::kDpi, 0.01);
    EXPECT_NEAR(m.yDpi, corpus::kDpi, 0.01);
    const std::string key = k.format == Format::Jpeg ? "Comment" : corpus::kTextKey;
    bool found = false;
    for (const auto& [name, value] : m.text) found = found || (name == key && value == corpus::kTextValue);
    EXPECT_TRUE(found) << k.file;
    const char* date = k.format == Format::Png ? "2024-05-06 07:08:09" : k.format == Format::Tiff ? corpus::kDate : "";
    EXPECT_EQ(m.dateTime, date);
    EXPECT_EQ(m.iccProfile.empty(), !profileKept);
    if (profileKept) {
        EXPECT_EQ(m.iccProfile, corpus::profileBytes());
    }
}

TEST_P(CorpusFiles, ReadAsStoredOrRefusedByName) {
    const Kind& k = GetParam();
    std::string error;
    imaging::FileFacts facts;
    const std::vector<imaging::Image> pages = readPages(pathOf(k), &facts, &error);
    if (k.refusal != nullptr) {
        EXPECT_TRUE(pages.empty());
        EXPECT_NE(error.find(k.refusal), std::string::npos) << error;
        EXPECT_NE(error.find(k.file), std::string::npos) << error;
        return;
    }
    ASSERT_FALSE(pages.empty()) << error;
    EXPECT_EQ(facts.format, k.format);
    EXPECT_EQ(pages.size(), k.variant == Variant::TwoPages ? 2u : 1u);
    EXPECT_EQ(facts.pages, static_cast<int>(pages.size()));
    const imaging::Image& first = pages.front();
    ASSERT_EQ(first.width, k.width);
    ASSERT_EQ(first.height, k.height);
    ASSERT_EQ(first.channels, k.channels);
    ASSERT_EQ(first.bitsPerSample, k.bits);
    EXPECT_EQ(first.metadata.orientation, k.variant == Variant::Orientation6 ? 6 : 1);
    expectSamples(k, pages, k.tolerance);
    expectMetadata(k, first.metadata, true);
}

class ReadableFiles : public CorpusFiles {};

TEST_P(ReadableFiles, WrittenBackUntaggedWithItsSamplesAlphaAndMetadata) {
    const Kind& k = GetParam();
    std::string error;
    imaging::FileFacts facts;
    const std::vector<imaging::Image> pages = readPages(pathOf(k), &facts, &error);
    ASSERT_FALSE(pages.empty()) << error;
    const std::string out = scratch(std::string("back-") + k.file);
    auto writer = imaging::createImage(out, k.format, imaging::WriteOptions{95}, &error);
    ASSERT_TRUE(writer) << error;
    for (const imaging::Image& page : pages) {
        ASSERT_TRUE(writer->beginPage(page, &error)) << error;
        ASSERT_TRUE(writer->writeRows(page.height, page.pixels.data(), &error)) << error;
    }
    ASSERT_TRUE(writer->finish(&error)) << error;
    const std::vector<imaging::Image> back = readPages(out, &facts, &error);
    ASSERT_EQ(back.size(), pages.size()) << error;
    EXPECT_EQ(back.front().channels, k.channels);
    EXPECT_EQ(back.front().bitsPerSample, k.bits);
    EXPECT_EQ(back.front().metadata.orientation, pages.front().metadata.orientation);
    if (k.format == Format::Jpeg) {
        expectSamples(k, back, 2 * k.tolerance);
    } else {
        for (std::size_t p = 0; p < pages.size(); ++p) EXPECT_EQ(back[p].pixels, pages[p].pixels) << k.file;
    }
    // Device values go out untagged: the input's profile is not copied.
    expectMetadata(k, back.front().metadata, false);
    EXPECT_TRUE(back.front().metadata.iccProfile.empty());
}

std::string kindName(const ::testing::TestParamInfo<Kind>& info) {
    std::string name;
    for (const char* c = info.param.file; *c != '\0'; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

std::vector<Kind> readableKinds() {
    std::vector<Kind> kinds;
    for (const Kind& k : corpus::kinds())
        if (k.refusal == nullptr) kinds.push_back(k);
    return kinds;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFiles, ::testing::ValuesIn(corpus::kinds()), kindName);
INSTANTIATE_TEST_SUITE_P(Corpus, ReadableFiles, ::testing::ValuesIn(readableKinds()), kindName);

}  // namespace
