// Drawing on the POSIX desktop: device contexts and objects are accounted
// for, and what is drawn is recorded with its colours.
#include <gtest/gtest.h>

#include "platform/desktop_posix.h"
#include "platform/drawing.h"

namespace {

TEST(Drawing, SelectedObjectsCannotBeDeletedAndContextsAreGivenBack) {
    PfWindow w = pfdCreateWindow("w");
    const size_t live = pfdLiveGdiObjects();
    PfDC dc = pfGetDC(w);
    ASSERT_NE(dc, nullptr);
    PfPen pen = pfCreatePen(PF_PS_SOLID, 1, PF_RGB(255, 255, 255));
    ASSERT_NE(pen, nullptr);
    EXPECT_EQ(pfdLiveGdiObjects(), live + 1);
    PfGdiObject stock = pfSelectObject(dc, pen);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(pfDeleteObject(pen), 0);
    EXPECT_EQ(pfSelectObject(dc, stock), pen);
    EXPECT_EQ(pfDeleteObject(pen), 1);
    EXPECT_EQ(pfDeleteObject(pen), 0);
    EXPECT_EQ(pfdLiveGdiObjects(), live);
    EXPECT_EQ(pfReleaseDC(nullptr, dc), 0);  // not the window it came from
    EXPECT_EQ(pfReleaseDC(w, dc), 1);
    EXPECT_EQ(pfdLiveDCs(), 0u);
}

TEST(Drawing, LinesCarryThePenColourAndTextTheBackground) {
    PfWindow w = pfdCreateWindow("w");
    PfPaintStruct ps{};
    PfDC dc = pfBeginPaint(w, &ps);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ps.dc, dc);
    PfPen pen = pfCreatePen(PF_PS_SOLID, 1, PF_RGB(1, 2, 3));
    PfGdiObject old = pfSelectObject(dc, pen);
    PfPoint previous{-1, -1};
    pfMoveToEx(dc, 4, 5, &previous);
    pfLineTo(dc, 6, 7);
    pfSelectObject(dc, old);
    pfDeleteObject(pen);
    EXPECT_EQ(pfSetBkColor(dc, PF_RGB(192, 192, 192)), PF_RGB(255, 255, 255));
    PfRect r{1, 2, 3, 4};
    pfDrawText(dc, "hello", 4, &r, PF_DT_CENTER);
    EXPECT_EQ(pfEndPaint(w, &ps), 1);
    EXPECT_EQ(pfEndPaint(w, &ps), 0);

    ASSERT_EQ(pfdDrawOpCount(), 3u);
    PfdDrawOp op{};
    pfdGetDrawOp(1, &op);
    EXPECT_EQ(op.kind, PFD_DRAW_LINE);
    EXPECT_EQ(op.colour, 0x030201u);
    EXPECT_EQ(op.x, 6);
    EXPECT_EQ(op.paintContext, 1);
    pfdGetDrawOp(2, &op);
    EXPECT_EQ(op.kind, PFD_DRAW_TEXT);
    EXPECT_STREQ(op.text, "hell");
    EXPECT_EQ(op.colour, 0xC0C0C0u);
    EXPECT_EQ(op.rect.bottom, 4);
    EXPECT_EQ(op.window, w);
    EXPECT_EQ(pfdGetDrawOp(3, &op), 0);
    EXPECT_EQ(pfSetBkColor(dc, 0), PF_CLR_INVALID);  // the context is gone
}

}  // namespace
