// The Windows directory and win.ini of the POSIX desktop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/desktop_posix.h"
#include "platform/profile.h"
#include "support/temp_dir.h"

namespace {

std::string profile(const char* section, const char* key, const char* def, uint32_t size = 256) {
    char buffer[256];
    uint32_t n = pfGetProfileString(section, key, def, buffer, size);
    EXPECT_EQ(n, std::strlen(buffer));
    return buffer;
}

TEST(Profile, SectionsAndKeysMatchWithoutCaseAndValuesLoseBlanksAndQuotes) {
    testsupport::TempDir dir;
    testsupport::writeText(dir.file("win.ini"),
                           "; settings\r\n[other]\r\nBrand=Wrong\r\n[ aucal ]\r\n  brand =  North  \r\n"
                           "Package=\"  Pro \"\r\nEmpty=\r\n[AUCAL]\r\nBrand=Second\r\n");
    pfdSetWindowsDirectory(dir.path().c_str());
    EXPECT_EQ(profile("AUCAL", "Brand", " "), "North");
    EXPECT_EQ(profile("Aucal", "PACKAGE", " "), "  Pro ");
    EXPECT_EQ(profile("AUCAL", "Empty", "default"), "");
    EXPECT_EQ(profile("AUCAL", "Missing", " "), " ");
    EXPECT_EQ(profile("KVSINFO_A3", "DRIVER", "KASPI_SP.DLL"), "KASPI_SP.DLL");
    EXPECT_EQ(profile("AUCAL", "Brand", " ", 3), "No");
    EXPECT_EQ(profile("AUCAL", nullptr, "x"), "");
    EXPECT_EQ(profile("AUCAL", "Missing", nullptr), "");
}

TEST(Profile, AWinIniOfAnotherLetterCaseIsReadAndAMissingOneGivesDefaults) {
    testsupport::TempDir dir;
    pfdSetWindowsDirectory(dir.path().c_str());
    EXPECT_EQ(profile("KVSINFO_A3", "DRIVER", "KASPI_SP.DLL"), "KASPI_SP.DLL");
    testsupport::writeText(dir.file("WIN.INI"), "[KVSINFO_A3]\nDRIVER=OTHER.DLL\n");
    EXPECT_EQ(profile("KVSINFO_A3", "DRIVER", "KASPI_SP.DLL"), "OTHER.DLL");
}

TEST(WindowsDirectory, HostSettingWinsOverTheEnvironmentAndTooSmallBuffersAreLeftAlone) {
    testsupport::TempDir host;
    testsupport::TempDir env;
    setenv("AUCAL_WINDIR", env.path().c_str(), 1);
    char buffer[512];
    uint32_t n = pfGetWindowsDirectory(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n), env.path().string());

    const std::string set = host.path().string() + "//";
    pfdSetWindowsDirectory(set.c_str());
    n = pfGetWindowsDirectory(buffer, sizeof buffer);
    const std::string expected = host.path().string();  // without the trailing separators
    EXPECT_EQ(std::string(buffer, n), expected);

    const auto length = static_cast<uint32_t>(expected.size());
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(pfGetWindowsDirectory(buffer, length), length + 1);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(pfGetWindowsDirectory(buffer, length + 1), length);

    pfdResetDesktop();
    n = pfGetWindowsDirectory(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n), env.path().string());
    unsetenv("AUCAL_WINDIR");
}

}  // namespace
