// The driver libraries as a host sees them: each carries the whole string
// table in its own resources, and prescan's exported WarmUpProc runs dialog
// 300 made from prescan's resources, showing the text of the language of its
// last Scan_Image call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_resources.h"
#include "messages.h"
#include "platform/desktop_posix.h"
#include "platform/dialogs.h"
#include "platform/library.h"
#include "platform/resources.h"
#include "scan_driver.h"
#include "support/temp_dir.h"

namespace {

class LoadedDriver {
public:
    explicit LoadedDriver(const char* path) : library_(pfLoadLibrary(path)) {}
    ~LoadedDriver() {
        if (library_ != nullptr) pfFreeLibrary(library_);
    }
    LoadedDriver(const LoadedDriver&) = delete;
    LoadedDriver& operator=(const LoadedDriver&) = delete;
    bool loaded() const { return library_ != nullptr; }
    PfInstance instance() const { return pfInstanceOfLibrary(library_); }
    template <class F>
    F procedure(const char* name) const {
        return reinterpret_cast<F>(pfGetProcAddress(library_, name));
    }

private:
    PfLibrary library_;
};

std::string text(PfInstance instance, std::uint16_t id) {
    char buffer[512];
    int n = pfLoadString(instance, id, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string paintedText(PfWindow popup) {
    const std::size_t first = pfdDrawOpCount();
    pfdSendMessage(popup, PF_WM_PAINT, 0, 0);
    for (std::size_t i = first; i < pfdDrawOpCount(); ++i) {
        PfdDrawOp op{};
        pfdGetDrawOp(i, &op);
        if (op.kind == PFD_DRAW_TEXT) return op.text;
    }
    return "<nothing drawn>";
}

#if defined(DRIVER_LIB_scan) && defined(DRIVER_LIB_vexa) && defined(DRIVER_LIB_prescan)

TEST(DriverLibraries, EachCarriesTheWholeStringTable) {
    const PfInstance own = drv::driverInstance();
    for (const char* path : {DRIVER_LIB_scan, DRIVER_LIB_vexa, DRIVER_LIB_prescan}) {
        LoadedDriver driver(path);
        ASSERT_TRUE(driver.loaded()) << path;
        ASSERT_NE(driver.instance(), nullptr);
        ASSERT_NE(driver.instance(), own);
        for (std::uint16_t id = 0; id < 400; ++id) ASSERT_EQ(text(driver.instance(), id), text(own, id)) << path;
    }
}

TEST(DriverLibraries, UnloadingWithdrawsTheResources) {
    PfInstance instance = nullptr;
    {
        LoadedDriver driver(DRIVER_LIB_scan);
        ASSERT_TRUE(driver.loaded());
        instance = driver.instance();
        EXPECT_EQ(text(instance, 28), "Scanning ...");
    }
    EXPECT_EQ(text(instance, 28), "");
}

TEST(WarmUpProcExport, RunsDialog300OfPrescanAndShowsTheLastScanLanguage) {
    LoadedDriver prescan(DRIVER_LIB_prescan);
    ASSERT_TRUE(prescan.loaded());
    auto warmUp = prescan.procedure<PfDialogProc>("WarmUpProc");
    auto scanImage = prescan.procedure<ScanImageProc>("Scan_Image");
    ASSERT_NE(warmUp, nullptr);
    ASSERT_NE(scanImage, nullptr);
    PfWindow host = pfdCreateWindow("host");
    pfdSetScreenSize(640, 480);
    const std::size_t brushes = pfdLiveGdiObjects();

    PfWindow popup = pfCreateDialogParam(prescan.instance(), PF_MAKEINTRESOURCE(DRV_IDD_POPUP), host, warmUp, 0);
    ASSERT_NE(popup, nullptr);
    PfRect r{};
    pfGetWindowRect(popup, &r);
    EXPECT_EQ(r.left, (640 - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (480 - (r.bottom - r.top)) / 3);
    EXPECT_EQ(paintedText(popup), "Warming Up...");  // English before any Scan_Image
    EXPECT_EQ(pfdLiveGdiObjects(), brushes + 1);
    EXPECT_EQ(pfDestroyWindow(popup), 1);
    EXPECT_EQ(pfdLiveGdiObjects(), brushes);

    // A run in German that cannot load its pass-through library: message 5,
    // result 1, and the language stays for the popup.
    testsupport::TempDir windows;
    pfdSetWindowsDirectory(windows.path().c_str());
    const auto window32 = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(host));
    EXPECT_EQ(scanImage(window32, windows.file("out.tga").c_str(), nullptr, 0, 5), 1);
    EXPECT_EQ(pfdMessageBoxCount(), 1u);
    popup = pfCreateDialogParam(prescan.instance(), PF_MAKEINTRESOURCE(DRV_IDD_POPUP), host, warmUp, 0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(paintedText(popup), "Aufw\xE4rmen...");
    pfdDestroyWindow(host);  // takes the popup and its brush with it
    EXPECT_FALSE(pfIsWindow(popup));
    EXPECT_EQ(pfdLiveGdiObjects(), brushes);
}

#endif

}  // namespace
