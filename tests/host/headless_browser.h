// Headless Chromium for the host's page tests: find it, run it with a fresh
// profile and no network chatter, and read back its screenshots.
#ifndef TESTS_HOST_HEADLESS_BROWSER_H
#define TESTS_HOST_HEADLESS_BROWSER_H

#include <png.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace testsupport {

// Runs a shell command, keeping its standard output; the exit status, or -1.
inline int runCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (output != nullptr) output->append(buffer, n);
    const int raw = pclose(pipe);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The browser with the flags every run uses (a profile folder of its own,
// created empty in dir); empty when Chromium is not installed.
inline std::string headlessChromium(const TempDir& dir, const std::string& profile = "profile") {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (std::filesystem::exists(p))
            return std::string(p) +
                   " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                   "--disable-background-networking --disable-component-update --disable-sync --user-data-dir=" +
                   dir.file(profile) + " ";
    return {};
}

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // rows top first, 3 or 1 bytes a pixel as asked
};

// Reads a PNG screenshot as RGB (format PNG_FORMAT_RGB) or grey.
inline bool readScreenshot(const std::string& path, Screenshot* shot, std::uint32_t format = PNG_FORMAT_RGB) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = format;
    shot->width = static_cast<int>(png.width);
    shot->height = static_cast<int>(png.height);
    shot->pixels.resize(PNG_IMAGE_SIZE(png));
    return png_image_finish_read(&png, nullptr, shot->pixels.data(), 0, nullptr) != 0;
}

}  // namespace testsupport

#endif
