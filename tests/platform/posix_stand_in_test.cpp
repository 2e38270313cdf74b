// The POSIX stand-in's global memory and files behave as the system expects
// of their Windows counterparts, and the faults it injects land where asked.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/desktop_posix.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/raii.hpp"
#include "support/temp_dir.h"

namespace {

TEST(GlobalMemory, ZeroFilledShareableBlocksLieBelowFourGiB) {
    pf::LockedGlobal block(PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, 200000);
    ASSERT_TRUE(block.ok());
    EXPECT_LE(reinterpret_cast<std::uintptr_t>(block.data()) + 200000, 0x100000000ull);
    const auto* p = block.as<std::uint8_t>();
    for (std::size_t i = 0; i < 200000; i += 997) ASSERT_EQ(p[i], 0);
    EXPECT_EQ(pfGlobalSize(block.handle()), 200000u);
}

TEST(GlobalMemory, UnknownHandlesAreRefused) {
    PfGlobal h = pfGlobalAlloc(PF_GMEM_MOVEABLE, 16);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(pfGlobalFree(h), nullptr);
    EXPECT_EQ(pfGlobalLock(h), nullptr);
    EXPECT_EQ(pfGlobalSize(h), 0u);
    EXPECT_EQ(pfGlobalFree(h), h);
}

TEST(GlobalMemory, TheNthAllocationFails) {
    pfdFailAllocationAfter(3);
    pf::LockedGlobal a(0, 8), b(0, 8), c(0, 8), d(0, 8);
    EXPECT_TRUE(a.ok());
    EXPECT_TRUE(b.ok());
    EXPECT_FALSE(c.ok());
    EXPECT_TRUE(d.ok());
}

TEST(Files, BackslashPathsAndShortReads) {
    testsupport::TempDir dir;
    std::string path = dir.path().string() + "\\data.bin";
    for (char& ch : path)
        if (ch == '/') ch = '\\';
    pf::FileHandle out(pfLcreat(path.c_str(), 0));
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(pfLwrite(out.get(), "abcdef", 6), 6u);
    out.close();
    pf::FileHandle in(pfLopen(dir.file("data.bin").c_str(), PF_OF_READ));
    ASSERT_TRUE(in.ok());
    char buf[16] = {};
    EXPECT_EQ(pfLlseek(in.get(), 4, PF_FILE_BEGIN), 4);
    EXPECT_EQ(pfLread(in.get(), buf, 16), 2u);
    EXPECT_EQ(std::string(buf), "ef");
    in.close();
    EXPECT_EQ(pfDeleteFile(path.c_str()), 1);
    EXPECT_EQ(pfLopen(path.c_str(), PF_OF_READ), PF_HFILE_ERROR);
}

TEST(Files, TheNthWriteComesUpShort) {
    testsupport::TempDir dir;
    pf::FileHandle out(pfLcreat(dir.file("w").c_str(), 0));
    ASSERT_TRUE(out.ok());
    pfdFailWriteAfter(2);
    EXPECT_EQ(pfLwrite(out.get(), "0123456789", 10), 10u);
    EXPECT_LT(pfHwrite(out.get(), "0123456789", 10), 10);
    EXPECT_EQ(pfLwrite(out.get(), "0123456789", 10), 10u);
}

TEST(Files, ClosedOrUnknownHandlesFail) {
    EXPECT_EQ(pfLread(12345, nullptr, 1), PF_FILE_IO_ERROR);
    EXPECT_EQ(pfLclose(12345), PF_HFILE_ERROR);
    EXPECT_EQ(pfLopen(nullptr, PF_OF_READ), PF_HFILE_ERROR);
}

TEST(Clock, VirtualSleepCostsNoTime) {
    pfdUseVirtualClock(1);
    std::uint64_t before = pfdVirtualMilliseconds();
    for (int i = 0; i < 100; ++i) pfSleep(1000);
    EXPECT_EQ(pfdVirtualMilliseconds() - before, 100000u);
    pfdUseVirtualClock(0);
}

}  // namespace
