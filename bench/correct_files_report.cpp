// `aucal correct` end to end against the Debian tools that apply a device
// link to a file: LittleCMS's tificc for 8-bit TIFF, ImageMagick's convert
// for PNG. One 6000 x 4000 photograph-like picture (smooth gradients with
// grain) and a batch of 20 copies of it, the same block for aucal and as a
// device link (written by `aucal icc`) for the others. Each command runs as
// its own process; wall time, CPU time (user + system, the children's
// rusage) and peak resident memory, the median of the rounds, the commands
// alternating so that a drifting machine slows both alike. The tools run one
// after another on a batch, as a user would call them.
// AUCAL_BENCH_ROUNDS sets the rounds (3); AUCAL_BENCH_PNG_BATCH=1 adds the
// batch of 20 PNG files (minutes). `correct_files_report --files DIR` only
// writes the block, the device link and the pictures into DIR, to time the
// commands by hand.
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "saved_file.h"
#include "sample_blocks.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWidth = 6000, kHeight = 4000, kBatch = 20;

std::vector<std::uint8_t> photoLike() {
    std::vector<std::uint8_t> img(3u * kWidth * kHeight);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> grain(-3, 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double u = x / double(kWidth), v = y / double(kHeight);
            const double base[3] = {40 + 170 * u * (1 - 0.4 * v), 60 + 150 * v * (1 - 0.3 * u),
                                    90 + 120 * (0.5 + 0.5 * std::sin(6 * u + 4 * v)) * (1 - 0.5 * u)};
            std::uint8_t* p = &img[3 * (static_cast<std::size_t>(y) * kWidth + x)];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(std::clamp(base[c] + grain(rng), 0.0, 255.0));
        }
    return img;
}

bool writeTiff(const std::string& path, const std::vector<std::uint8_t>& img) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (t == nullptr) return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(kWidth));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(kHeight));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    bool ok = true;
    for (int y = 0; y < kHeight && ok; ++y)
        ok = TIFFWriteScanline(t, const_cast<std::uint8_t*>(&img[3u * kWidth * y]), static_cast<std::uint32_t>(y)) == 1;
    TIFFClose(t);
    return ok;
}

bool writePng(const std::string& path, const std::vector<std::uint8_t>& img) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, img.data(), 0, nullptr) != 0;
}

struct Figures {
    double wall = 0, cpu = 0, peakMiB = 0;
    bool ok = true;
};

// One process, its output thrown away.
Figures runProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    Figures f;
    int status = 0;
    rusage ru{};
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid) return Figures{0, 0, 0, false};
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    f.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec * 1e-6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec * 1e-6;
    f.peakMiB = ru.ru_maxrss / 1024.0;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return f;
}

// Several processes one after another: times add up, the peak is the largest.
Figures runSeries(const std::vector<std::vector<std::string>>& commands) {
    Figures total;
    for (const auto& c : commands) {
        const Figures f = runProcess(c);
        total.wall += f.wall;
        total.cpu += f.cpu;
        total.peakMiB = std::max(total.peakMiB, f.peakMiB);
        total.ok = total.ok && f.ok;
    }
    return total;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Row {
    std::string name;
    std::vector<Figures> runs = {};
    Figures median() const {
        std::vector<double> w, c, p;
        bool ok = true;
        for (const Figures& f : runs) {
            w.push_back(f.wall);
            c.push_back(f.cpu);
            p.push_back(f.peakMiB);
            ok = ok && f.ok;
        }
        return {::median(w), ::median(c), ::median(p), ok};
    }
};

std::string findProgram(const std::vector<std::string>& names) {
    for (const auto& n : names)
        for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"})
            if (access((std::string(dir) + "/" + n).c_str(), X_OK) == 0) return std::string(dir) + "/" + n;
    return {};
}

// goal: the wall gain asked of ours (0: none), with no more peak memory.
void printPair(const Row& ours, const Row& theirs, double goal) {
    const Figures a = ours.median(), b = theirs.median();
    for (const auto* r : {&ours, &theirs}) {
        const Figures f = r->median();
        std::printf("%-44s %8.2f %8.2f %8.1f %10.2f%s\n", r->name.c_str(), f.wall, f.cpu, f.peakMiB, b.wall / f.wall,
                    f.ok ? "" : "  (failed)");
    }
    std::printf("%-44s %8s %8s %8s   peak %s", "", "", "", "", a.peakMiB <= b.peakMiB ? "not above" : "ABOVE");
    if (goal > 0) std::printf(", goal %.0fx wall %s", goal, b.wall / a.wall >= goal ? "met" : "NOT MET");
    std::printf("\n");
}

std::string loadAverage() {
    double l[3];
    if (getloadavg(l, 3) != 3) return "load average unknown";
    char text[64];
    std::snprintf(text, sizeof text, "load average %.2f %.2f %.2f", l[0], l[1], l[2]);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const bool filesOnly = argc == 3 && std::string(argv[1]) == "--files";
    const fs::path dir = filesOnly ? fs::path(argv[2])
                                   : fs::temp_directory_path() / ("aucal-correct-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "out");
    const std::string aucal = AUCAL_PROGRAM;
    const std::string tificc = findProgram({"tificc"});
    const std::string convert = findProgram({"convert-im6.q16", "convert-im6", "magick"});
    const int rounds = std::getenv("AUCAL_BENCH_ROUNDS") ? std::max(1, std::atoi(std::getenv("AUCAL_BENCH_ROUNDS"))) : 3;

    std::string error;
    const std::string block = (dir / "printer.blk").string(), link = (dir / "printer-link.icc").string();
    if (!aucal::saveFile(block, aucal::SavedKind::LookupBlock, lutBlock(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (!runProcess({aucal, "icc", "--block", block, "--output", link}).ok) {
        std::fprintf(stderr, "aucal icc could not write the device link\n");
        return 1;
    }
    const std::string tif = (dir / "photo.tif").string(), png = (dir / "photo.png").string();
    // The picture is freed before any tool runs: a forked child's peak
    // memory counts what the parent held at the fork.
    auto written = [&] {
        const auto picture = photoLike();
        return writeTiff(tif, picture) && writePng(png, picture);
    };
    if (!written()) {
        std::fprintf(stderr, "could not write the pictures in %s\n", dir.string().c_str());
        return 1;
    }
    // The batch: 20 names of the same file (the reads then cost the same for
    // every tool: from the page cache).
    std::vector<std::string> tifs, pngs;
    for (int i = 0; i < kBatch; ++i) {
        for (auto [one, list, ext] : {std::tuple{&tif, &tifs, ".tif"}, std::tuple{&png, &pngs, ".png"}}) {
            const fs::path name = dir / ("photo-" + std::to_string(i) + ext);
            fs::create_hard_link(*one, name);
            list->push_back(name.string());
        }
    }
    if (filesOnly) return 0;
    const std::string out = (dir / "out").string();
    auto aucalOn = [&](const std::vector<std::string>& inputs) {
        std::vector<std::string> argv = {aucal, "--quiet", "correct", "--block", block, "--output-dir", out};
        argv.insert(argv.end(), inputs.begin(), inputs.end());
        return argv;
    };
    auto eachWith = [&](const std::vector<std::string>& inputs, auto command) {
        std::vector<std::vector<std::string>> list;
        for (const auto& in : inputs) list.push_back(command(in, out + "/" + fs::path(in).filename().string()));
        return list;
    };
    auto tificcOne = [&](const std::string& in, const std::string& o) {
        return std::vector<std::string>{tificc, "-l", link, in, o};
    };
    auto convertOne = [&](const std::string& in, const std::string& o) {
        return std::vector<std::string>{convert, in, "-profile", link, o};
    };
    auto clean = [&] {
        fs::remove_all(out);
        fs::create_directories(out);
    };

    std::printf("aucal correct end to end, %d x %d 8-bit RGB, median of %d rounds (PNG: 1)\n", kWidth, kHeight,
                rounds);
    std::printf("(%d cores, %s at the start)\n", static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)), loadAverage().c_str());
    std::printf("%-44s %8s %8s %8s %10s\n", "", "wall s", "CPU s", "peak MiB", "wall gain");
    struct Pair {
        Row ours, theirs;
        std::vector<std::string> oursArgv;
        std::vector<std::vector<std::string>> theirsSeries;
        int rounds;
        double goal;
    };
    std::vector<Pair> pairs;
    if (!tificc.empty()) {
        pairs.push_back({{"aucal correct, 1 TIFF"}, {"tificc -l (LittleCMS), 1 TIFF"}, aucalOn({tif}),
                         eachWith({tif}, tificcOne), rounds, 5});
        pairs.push_back({{"aucal correct, 20 TIFF"}, {"tificc -l, 20 TIFF one after another"}, aucalOn(tifs),
                         eachWith(tifs, tificcOne), rounds, 8});
    } else {
        std::printf("(tificc not found: package liblcms2-utils)\n");
    }
    if (!convert.empty()) {
        // PNG encoding dominates and takes seconds a file: one round, and the
        // batch only on request.
        pairs.push_back({{"aucal correct, 1 PNG"}, {"convert -profile (ImageMagick), 1 PNG"}, aucalOn({png}),
                         eachWith({png}, convertOne), 1, 0});
        if (std::getenv("AUCAL_BENCH_PNG_BATCH") != nullptr)
            pairs.push_back({{"aucal correct, 20 PNG"}, {"convert -profile, 20 PNG one after another"},
                             aucalOn(pngs), eachWith(pngs, convertOne), 1, 0});
        else
            std::printf("(the batch of 20 PNG runs with AUCAL_BENCH_PNG_BATCH=1)\n");
    } else {
        std::printf("(ImageMagick's convert not found: package imagemagick)\n");
    }
    for (Pair& p : pairs) {
        for (int r = 0; r < p.rounds; ++r) {
            clean();
            p.ours.runs.push_back(runProcess(p.oursArgv));
            clean();
            p.theirs.runs.push_back(runSeries(p.theirsSeries));
        }
        printPair(p.ours, p.theirs, p.goal);
        std::fflush(stdout);
    }
    std::printf("(wall gain: the other tool's median wall time over this row's; %s at the end: a load above\n"
                " the cores means other work shared the machine, and the gains then understate ours)\n",
                loadAverage().c_str());
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
