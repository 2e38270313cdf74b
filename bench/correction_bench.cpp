// CorrectImage throughput in both modes on a 4096 x 4096 image, random pixels
// and a smooth gradient, in Mpixel/s.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "qel_layout.h"
#include "qel_cms.h"

namespace {

constexpr int kSide = 4096;

std::vector<std::uint8_t> randomImage() {
    std::vector<std::uint8_t> img(3u * kSide * kSide);
    std::mt19937 rng(1);
    for (auto& b : img) b = static_cast<std::uint8_t>(rng());
    return img;
}

std::vector<std::uint8_t> smoothImage() {
    std::vector<std::uint8_t> img(3u * kSide * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            std::uint8_t* p = &img[3u * (static_cast<std::size_t>(y) * kSide + x)];
            p[0] = static_cast<std::uint8_t>(x * 255 / (kSide - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / (kSide - 1));
            p[2] = static_cast<std::uint8_t>((x + y) * 255 / (2 * (kSide - 1)));
        }
    return img;
}

std::vector<std::uint8_t> lutBlock() {
    std::vector<std::uint8_t> block(qel::kLutBlockReportedSize);
    std::mt19937 rng(2);
    for (auto& b : block) b = static_cast<std::uint8_t>(rng());
    return block;
}

std::vector<std::uint8_t> matrixBlock() {
    std::vector<std::uint8_t> block(qel::kMatrixBlockReportedSize, 0);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) block[qel::blockTableOffset(k, i)] = static_cast<std::uint8_t>(255 - i);
    const float m[3][4] = {{2.0f, 0.9f, 0.05f, 0.05f}, {-1.0f, 0.1f, 0.8f, 0.1f}, {0.5f, 0.02f, 0.08f, 0.9f}};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) qel::storeFloatLE(&block[qel::matrixEntryOffset(k, j)], m[k][j]);
    return block;
}

void run(benchmark::State& state, const std::vector<std::uint8_t>& block, const std::vector<std::uint8_t>& image) {
    InitCorrect(block.data(), static_cast<int32_t>(block.size()));
    std::vector<std::uint8_t> work = image;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), image.data(), image.size());
        state.ResumeTiming();
        ImageBuffer buffer{kSide, kSide, work.data()};
        CorrectImage(&buffer);
        benchmark::DoNotOptimize(work.data());
    }
    ReleaseCorrect();
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(kSide) * kSide / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_LookupRandom(benchmark::State& s) { static auto img = randomImage(); run(s, lutBlock(), img); }
void BM_LookupSmooth(benchmark::State& s) { static auto img = smoothImage(); run(s, lutBlock(), img); }
void BM_MatrixRandom(benchmark::State& s) { static auto img = randomImage(); run(s, matrixBlock(), img); }
void BM_MatrixSmooth(benchmark::State& s) { static auto img = smoothImage(); run(s, matrixBlock(), img); }

BENCHMARK(BM_LookupRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookupSmooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatrixRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatrixSmooth)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
