// The drivers' texts: the seven language blocks and their empty positions,
// status texts in item 1017, message box text and title from the profile,
// the wait cursor and the popup's lifetime.
#include "messages.h"
#include "popup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_resources.h"
#include "platform/desktop_posix.h"
#include "platform/message_box.h"
#include "platform/resources.h"
#include "support/temp_dir.h"

namespace {

using drv::Text;

std::string text(std::uint16_t id) {
    char buffer[512];
    int n = pfLoadString(drv::driverInstance(), id, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

const char* const kEnglish[] = {
    "WRITE disk file error.",
    "Please make sure your slidekit is connected correctly.",
    "Disk space not enough.",
    "Flatbed Scanner not ready.",
    "Flatbed Scanner not found.",
    " Please make sure : \n \n",
    " 1. The cables are connected.\n",
    " 2. The scanner is turned on and power LED is\n",
    "    on.\n",
    " 3. You turned on the scanner before you\n",
    "    turned on the computer.",
    "Insufficient Memory.",
    "OPEN BITMAP file Procedure failed.",
    "Flatbed Scanner",
    "Paper Jammed in Automatic Document Feeder",
    "No Paper in Automatic Document Feeder",
    "Slide Scanner Cover not Closed!",
    "Warming Up...",
    "Korvan Aurela Calibrator",
    "Prescan Length",
    "inches",
    "&OK",
    "&Cancel",
    "&User Defined",
    "Length (inches)",
    "&Full Length",
    "Load SPICALL Error.",
    "Scanning ...",
    "Image Saving ...",
};

TEST(LanguageBlocks, EnglishIsExact) {
    for (std::uint16_t p = 1; p <= 29; ++p) EXPECT_EQ(text(p), kEnglish[p - 1]) << "position " << p;
}

TEST(LanguageBlocks, EveryBlockFillsPositionsOneToTwentyNineAndNothingElse) {
    for (std::uint16_t block = 0; block < DRV_LANGUAGE_COUNT; ++block) {
        const auto base = static_cast<std::uint16_t>(block * DRV_LANGUAGE_BLOCK_SIZE);
        EXPECT_EQ(text(base), "") << "position 0 of block " << block;
        for (std::uint16_t p = 1; p <= 29; ++p) EXPECT_NE(text(base + p), "") << "block " << block << " position " << p;
        for (std::uint16_t p = 30; p < 50; ++p) EXPECT_EQ(text(base + p), "") << "block " << block << " position " << p;
    }
    for (std::uint16_t id = 350; id < 400; ++id) EXPECT_EQ(text(id), "") << "id " << id;  // no block 7
}

TEST(LanguageBlocks, QuotedTextsAndTheProductTitleSpacing) {
    EXPECT_EQ(text(112), " Onvoldoende geheugen.");
    EXPECT_EQ(text(268), "Aufw\xE4rmen...");
    EXPECT_EQ(text(19), "Korvan Aurela Calibrator");
    EXPECT_EQ(text(69), "Korvan Aurela Calibrator");
    EXPECT_EQ(text(119), " Korvan Aurela Calibrator ");
    EXPECT_EQ(text(169), " Korvan Aurela Calibrator ");
    EXPECT_EQ(text(219), "Korvan Aurela Calibrator");
    EXPECT_EQ(text(269), "Korvan Aurela Calibrator ");
    EXPECT_EQ(text(319), "Korvan Aurela Calibrator");
}

TEST(LanguageBlocks, MixedBlocksCarryTheirSecondLanguageWhereTheTableSaysSo) {
    // Position 23 ("Cancel") is in the second language of blocks 1, 2, 4 and 5.
    EXPECT_EQ(text(73), "&Abbrechen");   // Spanish block, German 20..26
    EXPECT_EQ(text(123), "&Annuler");    // Dutch block, French 20..26
    EXPECT_EQ(text(173), "&Annulla");    // Dutch block, Italian 2, 20..26, 28, 29
    EXPECT_EQ(text(223), "&Cancelar");   // French block, Spanish 20..26
    EXPECT_EQ(text(273), "&Annuleren");  // German block, Dutch 20..26
    EXPECT_EQ(text(152), "Assicurarsi che l'adattatore per diapositive sia collegato correttamente.");
    EXPECT_EQ(text(178), "Scansione in corso ...");
    EXPECT_EQ(text(179), "Salvataggio immagine ...");
    EXPECT_EQ(text(177), text(127));  // position 27 stays Dutch in block 3
    EXPECT_EQ(text(63), "Error en el procedimiento de ABRIR archivo BITMAP.");
    EXPECT_EQ(text(80), "");
}

TEST(LanguageBlocks, TheChineseBlockIsWellFormedBig5) {
    EXPECT_EQ(text(318), "\xB7\x78\xBE\xF7\xA4\xA4...");                       // warming up
    EXPECT_EQ(text(312), "\xB0\x4F\xBE\xD0\xC5\xE9\xA4\xA3\xA8\xAC\xA1\x43");  // insufficient memory
    for (std::uint16_t p = 1; p <= 29; ++p) {
        const std::string s = text(300 + p);
        for (std::size_t i = 0; i < s.size(); ++i) {
            const auto lead = static_cast<unsigned char>(s[i]);
            if (lead < 0x80) continue;
            ASSERT_LT(i + 1, s.size()) << "position " << p << " ends inside a character";
            const auto trail = static_cast<unsigned char>(s[++i]);
            EXPECT_TRUE(lead >= 0xA1 && lead <= 0xF9) << "position " << p;
            EXPECT_TRUE((trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE)) << "position " << p;
        }
    }
}

TEST(LanguageBlocks, NoByteWouldChangeThroughTheWindowsCodePage) {
    // 0x80..0x9F are the bytes code page 1252 does not map to U+0080..U+009F
    // one to one; none may appear, in any block.
    for (std::uint16_t id = 0; id < 350; ++id)
        for (char c : text(id))
            EXPECT_FALSE(static_cast<unsigned char>(c) >= 0x80 && static_cast<unsigned char>(c) <= 0x9F) << "id " << id;
}

struct Box {
    PfWindow owner;
    std::string text;
    std::string title;
    std::uint32_t style;
};

int recordBox(void* context, PfWindow owner, const char* text, const char* title, std::uint32_t style) {
    static_cast<std::vector<Box>*>(context)->push_back(Box{owner, text, title, style});
    return PF_IDOK;
}

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        drv::setLanguage(0);
        pfdSetWindowsDirectory(windows.path().c_str());
        pfdSetMessageBoxHandler(&recordBox, &boxes);
        const std::int32_t items[] = {DRV_IDC_HOST_STATUS};
        host = pfdCreateDialogWindow("host", items, 1);
    }
    void TearDown() override { drv::setLanguage(0); }
    void profile(const std::string& body) { testsupport::writeText(windows.file("win.ini"), body); }
    std::string status() {
        char buffer[256];
        pfdGetItemText(host, DRV_IDC_HOST_STATUS, buffer, sizeof buffer);
        return buffer;
    }
    testsupport::TempDir windows;
    std::vector<Box> boxes;
    PfWindow host = nullptr;
};

TEST_F(Messages, StatusTextsComeFromTheCurrentBlock) {
    drv::setStatusText(host, Text::Scanning);
    EXPECT_EQ(status(), "Scanning ...");
    drv::setStatusText(host, Text::ImageSaving);
    EXPECT_EQ(status(), "Image Saving ...");
    drv::setLanguage(3);
    drv::setStatusText(host, Text::Scanning);
    EXPECT_EQ(status(), "Scansione in corso ...");
    drv::setLanguage(7);  // no block: empty texts, nothing else happens
    drv::setStatusText(host, Text::ImageSaving);
    EXPECT_EQ(status(), "");
    EXPECT_EQ(drv::blockBase(), 350);
}

TEST_F(Messages, TitleWithoutProfileIsFourBlanksAndCalibrator) {
    EXPECT_EQ(drv::messageTitle(), "    Calibrator");
    profile("[AUCAL]\nPackage=Pro\n");
    EXPECT_EQ(drv::messageTitle(), "  Pro Calibrator");
    profile("[AUCAL]\nBrand=\nPackage=Pro\n");  // present but empty: no blank for it
    EXPECT_EQ(drv::messageTitle(), " Pro Calibrator");
}

TEST_F(Messages, BrandNullInAnyCaseGivesCalibratorWhateverPackageHolds) {
    for (const char* brand : {"NULL", "null", "NuLl"}) {
        profile(std::string("[AUCAL]\nBrand=") + brand + "\nPackage=Pro\n");
        EXPECT_EQ(drv::messageTitle(), "Calibrator") << brand;
    }
    profile("[AUCAL]\nBrand=NULLS\n");
    EXPECT_EQ(drv::messageTitle(), "NULLS   Calibrator");
}

TEST_F(Messages, BrandAndPackageAreJoinedBySingleBlanks) {
    profile("[AUCAL]\nBrand=North\nPackage=Pro\n");
    EXPECT_EQ(drv::messageTitle(), "North Pro Calibrator");
}

TEST_F(Messages, MessageBoxShowsTheBlockTextUnderTheProfileTitle) {
    profile("[AUCAL]\nBrand=North\nPackage=Pro\n");
    drv::setLanguage(2);
    drv::showMessage(host, Text::InsufficientMemory);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, host);
    EXPECT_EQ(boxes[0].text, " Onvoldoende geheugen.");
    EXPECT_EQ(boxes[0].title, "North Pro Calibrator");
    EXPECT_EQ(boxes[0].style, static_cast<std::uint32_t>(PF_MB_OK | PF_MB_ICONINFORMATION));
}

TEST_F(Messages, NotReadyAndNotFoundShowTheSameCheckList) {
    drv::showMessage(host, Text::ScannerNotReady);
    drv::showMessage(host, Text::ScannerNotFound);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text,
              " Please make sure : \n \n 1. The cables are connected.\n 2. The scanner is turned on and power LED "
              "is\n    on.\n 3. You turned on the scanner before you\n    turned on the computer.");
    EXPECT_EQ(boxes[1].text, boxes[0].text);
    drv::showMessage(host, Text::LoadSpicallError);
    EXPECT_EQ(boxes.back().text, "Load SPICALL Error.");
}

TEST(WaitCursor, ShowsTheWaitCursorAndRestoresTheArrowOnce) {
    {
        drv::WaitCursor cursor;
        EXPECT_EQ(pfdCurrentCursor(), static_cast<std::uint32_t>(PF_IDC_WAIT));
        cursor.restore();
        EXPECT_EQ(pfdCurrentCursor(), static_cast<std::uint32_t>(PF_IDC_ARROW));
        pfSetCursor(pfLoadSystemCursor(PF_IDC_WAIT));  // someone else's wait cursor
    }
    EXPECT_EQ(pfdCurrentCursor(), static_cast<std::uint32_t>(PF_IDC_WAIT));
    { drv::WaitCursor cursor; }
    EXPECT_EQ(pfdCurrentCursor(), static_cast<std::uint32_t>(PF_IDC_ARROW));
}

std::vector<PfWindow> windows() {
    std::vector<PfWindow> w(pfdListWindows(nullptr, 0));
    pfdListWindows(w.data(), w.size());
    return w;
}

TEST(Popup, IsDialog300OwnedByTheHostAndGoesAwayWithItsBrush) {
    PfWindow host = pfdCreateWindow("host");
    const std::size_t brushes = pfdLiveGdiObjects();
    PfWindow shown = nullptr;
    {
        drv::Popup popup(host, &drv::popupProcedure);
        shown = popup.window();
        ASSERT_NE(shown, nullptr);
        PfdWindowInfo info{};
        ASSERT_TRUE(pfdGetWindowInfo(shown, &info));
        EXPECT_EQ(info.templateId, static_cast<std::uint32_t>(DRV_IDD_POPUP));
        EXPECT_EQ(info.owner, host);
        EXPECT_NE(pfGetDlgItem(shown, DRV_IDC_POPUP_FRAME), nullptr);
        EXPECT_EQ(pfdLiveGdiObjects(), brushes + 1);
        popup.destroy();
        EXPECT_FALSE(pfIsWindow(shown));
        EXPECT_EQ(pfdLiveGdiObjects(), brushes);
        popup.destroy();  // a second destroy does nothing
    }
    { drv::Popup popup(host, &drv::popupProcedure); }  // destroyed on the way out
    EXPECT_EQ(windows(), std::vector<PfWindow>{host});
    EXPECT_EQ(pfdLiveGdiObjects(), brushes);
}

TEST(Popup, SurvivesTheHostDestroyingItFirstAndAMissingOwner) {
    PfWindow host = pfdCreateWindow("host");
    {
        drv::Popup popup(host, &drv::popupProcedure);
        ASSERT_NE(popup.window(), nullptr);
        pfdDestroyWindow(host);  // takes the owned popup with it
        EXPECT_FALSE(pfIsWindow(popup.window()));
    }
    EXPECT_TRUE(windows().empty());
    drv::Popup orphan(reinterpret_cast<PfWindow>(0x7770), &drv::popupProcedure);
    EXPECT_EQ(orphan.window(), nullptr);
}

}  // namespace
