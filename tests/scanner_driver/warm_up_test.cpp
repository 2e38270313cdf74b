// The warm-up popup procedure (WarmUpProc of prescan, the popup procedure of
// scan and vexa): placement, the face brush's life, the colour messages and
// what it paints.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_resources.h"
#include "messages.h"
#include "popup.h"
#include "platform/desktop_posix.h"
#include "platform/dialogs.h"
#include "platform/resource_table_posix.h"
#include "scan_driver.h"

namespace {

intptr_t send(PfWindow w, std::uint32_t message, std::uintptr_t wParam = 0) {
    return WarmUpProc(w, message, wParam, 0);
}

PfWindow popupOfSize(std::int32_t width, std::int32_t height) {
    PfWindow w = pfdCreateWindow("popup");
    PfRect r{5, 7, 5 + width, 7 + height};
    pfdSetWindowRect(w, &r);
    return w;
}

PfRect placedAt(std::int32_t screenWidth, std::int32_t screenHeight, std::int32_t width, std::int32_t height) {
    pfdSetScreenSize(screenWidth, screenHeight);
    PfWindow w = popupOfSize(width, height);
    EXPECT_EQ(send(w, PF_WM_INITDIALOG), 1);
    PfRect r{};
    pfGetWindowRect(w, &r);
    EXPECT_EQ(send(w, PF_WM_DESTROY), 1);
    return r;
}

class WarmUp : public ::testing::Test {
protected:
    void SetUp() override {
        drv::setLanguage(0);
        brushes = pfdLiveGdiObjects();
    }
    void TearDown() override { drv::setLanguage(0); }
    std::size_t brushes = 0;
};

TEST_F(WarmUp, CentresAcrossAndOneThirdDown) {
    PfRect r = placedAt(1024, 768, 200, 80);
    EXPECT_EQ(r.left, 412);
    EXPECT_EQ(r.top, 229);
    EXPECT_EQ(r.right, 612);
    EXPECT_EQ(r.bottom, 309);
    r = placedAt(640, 480, 200, 80);
    EXPECT_EQ(r.left, 220);
    EXPECT_EQ(r.top, 133);
    // Wider than the screen: signed division truncates toward zero.
    r = placedAt(100, 100, 201, 105);
    EXPECT_EQ(r.left, -50);
    EXPECT_EQ(r.top, -1);
}

TEST_F(WarmUp, BrushIsMadeOnOpeningSharedWhileOpenAndDeletedWithTheLastPopup) {
    PfWindow first = popupOfSize(200, 80);
    PfWindow second = popupOfSize(200, 80);
    PfDC dc = pfdCreateDC();
    const std::uint64_t created = pfdGdiObjectsCreated();

    EXPECT_EQ(send(first, PF_WM_CTLCOLORDLG, reinterpret_cast<std::uintptr_t>(dc)), 0);  // not open yet
    send(first, PF_WM_INITDIALOG);
    auto brush = reinterpret_cast<PfBrush>(send(first, PF_WM_CTLCOLORDLG, reinterpret_cast<std::uintptr_t>(dc)));
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(pfdObjectColour(brush), PF_RGB(192, 192, 192));
    send(second, PF_WM_INITDIALOG);
    EXPECT_EQ(pfdGdiObjectsCreated(), created + 1);
    EXPECT_EQ(send(second, PF_WM_CTLCOLORSTATIC, reinterpret_cast<std::uintptr_t>(dc)),
              reinterpret_cast<intptr_t>(brush));

    send(first, PF_WM_DESTROY);
    EXPECT_EQ(pfdObjectColour(brush), PF_RGB(192, 192, 192));  // still alive for the second popup
    send(second, PF_WM_DESTROY);
    EXPECT_EQ(pfdObjectColour(brush), PF_CLR_INVALID);
    EXPECT_EQ(pfdLiveGdiObjects(), brushes);
    send(second, PF_WM_DESTROY);  // a stray second destroy deletes nothing more

    send(first, PF_WM_INITDIALOG);  // a later popup makes a new brush
    EXPECT_EQ(pfdGdiObjectsCreated(), created + 2);
    send(first, PF_WM_DESTROY);
    EXPECT_EQ(pfdLiveGdiObjects(), brushes);
    pfdDeleteDC(dc);
}

TEST_F(WarmUp, ColourMessagesPaintGreyExceptTheScrollBar) {
    PfWindow w = popupOfSize(200, 80);
    send(w, PF_WM_INITDIALOG);
    const std::uint32_t grey[] = {PF_WM_CTLCOLORMSGBOX,        PF_WM_CTLCOLOREDIT, PF_WM_CTLCOLORLISTBOX,
                                  PF_WM_CTLCOLORBTN,           PF_WM_CTLCOLORDLG,  PF_WM_CTLCOLORSTATIC,
                                  0x10000u | PF_WM_CTLCOLORBTN};  // only the low 16 bits count
    const auto brush = reinterpret_cast<intptr_t>(drv::popupState().faceBrush);
    ASSERT_NE(brush, 0);
    for (std::uint32_t m : grey) {
        PfDC dc = pfdCreateDC();
        EXPECT_EQ(send(w, m, reinterpret_cast<std::uintptr_t>(dc)), brush) << std::hex << m;
        EXPECT_EQ(pfdBackgroundColour(dc), PF_RGB(192, 192, 192)) << std::hex << m;
        pfdDeleteDC(dc);
    }
    PfDC dc = pfdCreateDC();
    EXPECT_EQ(send(w, PF_WM_CTLCOLORSCROLLBAR, reinterpret_cast<std::uintptr_t>(dc)), 0);
    EXPECT_EQ(pfdBackgroundColour(dc), PF_RGB(255, 255, 255));
    pfdDeleteDC(dc);
    EXPECT_EQ(send(w, PF_WM_MOVE), 1);
    EXPECT_EQ(send(w, PF_WM_COMMAND), 0);
    EXPECT_EQ(send(w, PF_WM_CLOSE), 0);
    EXPECT_EQ(send(w, PF_WM_DESTROY), 1);
}

std::vector<PfdDrawOp> drawn() {
    std::vector<PfdDrawOp> ops(pfdDrawOpCount());
    for (std::size_t i = 0; i < ops.size(); ++i) pfdGetDrawOp(i, &ops[i]);
    return ops;
}

TEST_F(WarmUp, PaintsASunkenFrameAndTheBlockTextInItem301) {
    drv::setLanguage(5);
    PfWindow host = pfdCreateWindow("host");
    PfWindow popup = pfCreateDialogParam(drv::driverInstance(), PF_MAKEINTRESOURCE(DRV_IDD_POPUP), host,
                                         reinterpret_cast<PfDialogProc>(&WarmUpProc), 0);
    ASSERT_NE(popup, nullptr);
    PfRect r{};
    pfGetWindowRect(popup, &r);
    EXPECT_EQ(r.left, (1024 - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (768 - (r.bottom - r.top)) / 3);

    EXPECT_EQ(pfdSendMessage(popup, PF_WM_PAINT, 0, 0), 1);
    const std::vector<PfdDrawOp> ops = drawn();
    ASSERT_EQ(ops.size(), 7u);
    // Item 301 at (19, 10) 68 x 20 units: (29, 16) to (131, 49) in the client.
    const PfRect frame{29, 16, 131, 49};
    const struct {
        int kind;
        std::int32_t x, y;
        PfColour colour;
    } expected[] = {
        {PFD_DRAW_MOVE, frame.left, frame.bottom, 0},         {PFD_DRAW_LINE, frame.left, frame.top, 0},
        {PFD_DRAW_LINE, frame.right, frame.top, 0},           {PFD_DRAW_MOVE, frame.left, frame.bottom, 0},
        {PFD_DRAW_LINE, frame.right, frame.bottom, 0xFFFFFF}, {PFD_DRAW_LINE, frame.right, frame.top, 0xFFFFFF},
    };
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(ops[i].kind, expected[i].kind) << i;
        EXPECT_EQ(ops[i].x, expected[i].x) << i;
        EXPECT_EQ(ops[i].y, expected[i].y) << i;
        if (ops[i].kind == PFD_DRAW_LINE) {
            EXPECT_EQ(ops[i].colour, expected[i].colour) << i;
        }
        EXPECT_EQ(ops[i].paintContext, 0) << "the frame goes through a context of its own";
        EXPECT_EQ(ops[i].window, popup);
    }
    EXPECT_EQ(ops[6].kind, PFD_DRAW_TEXT);
    EXPECT_EQ(ops[6].paintContext, 1);
    EXPECT_STREQ(ops[6].text, "Aufw\xE4rmen...");
    EXPECT_EQ(ops[6].colour, PF_RGB(192, 192, 192));
    EXPECT_EQ(ops[6].format, static_cast<std::uint32_t>(PF_DT_CENTER | PF_DT_VCENTER | PF_DT_SINGLELINE));
    EXPECT_EQ(ops[6].rect.left, frame.left);
    EXPECT_EQ(ops[6].rect.top, frame.top);
    EXPECT_EQ(ops[6].rect.right, frame.right);
    EXPECT_EQ(ops[6].rect.bottom, frame.bottom);
    EXPECT_EQ(pfdLiveDCs(), 0u);
    EXPECT_EQ(pfdLiveGdiObjects(), brushes + 1);  // the pens are gone, the brush stays
    pfDestroyWindow(popup);
}

TEST_F(WarmUp, ADialogWithoutTheFrameItemPaintsNothing) {
    PfWindow w = popupOfSize(200, 80);
    send(w, PF_WM_INITDIALOG);
    EXPECT_EQ(send(w, PF_WM_PAINT), 1);
    EXPECT_EQ(pfdDrawOpCount(), 0u);
    EXPECT_EQ(pfdLiveDCs(), 0u);
    send(w, PF_WM_DESTROY);
}

// A string table whose warm-up text is longer than the popup's 66-byte buffer.
const PfStringResource kLongStrings[] = {
    {18u, "0123456789012345678901234567890123456789012345678901234567890123456789", 70u},
};
const PfResourceTable kLongTable = {kLongStrings, 1u, nullptr, 0u};

TEST_F(WarmUp, ThePopupTextIsCutTo65Bytes) {
    // The test program is the module that holds the driver code: swap its table for a moment.
    ASSERT_TRUE(pfdRegisterResources(&kLongTable, &drvResourceTable));
    PfWindow w = popupOfSize(200, 80);
    send(w, PF_WM_INITDIALOG);
    ASSERT_TRUE(pfdRegisterResources(&drvResourceTable, &drvResourceTable));
    EXPECT_EQ(std::string(drv::popupState().text), std::string(kLongStrings[0].text, 65));
    send(w, PF_WM_DESTROY);
}

}  // namespace
