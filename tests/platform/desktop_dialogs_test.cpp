// Dialogs of the POSIX desktop: made from a registered template, placed in
// dialog units, destroyed with what they own, reached by dispatch; item
// texts, strings from resources, message boxes and the cursor.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/cursors.h"
#include "platform/desktop_posix.h"
#include "platform/dialogs.h"
#include "platform/message_box.h"
#include "platform/resource_table_posix.h"
#include "platform/resources.h"
#include "platform/window_placement.h"

namespace {

constexpr uint32_t kPopupStyle = 0x80000000u | 0x10000000u | 0x00400000u;  // WS_POPUP | WS_VISIBLE | WS_DLGFRAME

const PfStringResource kStrings[] = {
    {7u, "seven", 5u},
    {300u, "Big5 \xBC\x67 bytes", 13u},
};
const PfDialogItemResource kPopupItems[] = {
    {301, "STATIC", "", 0x40000007u, 19, 10, 68, 20},
};
const PfDialogItemResource kNamedItems[] = {
    {1, "BUTTON", "&OK", 0x50010001u, 10, 10, 40, 14},
    {2, "BUTTON", "&Cancel", 0x50010000u, 10, 30, 40, 14},
};
const PfDialogResource kDialogs[] = {
    {nullptr, 300u, kPopupStyle, 18, 18, 107, 40, "", "MS Sans Serif", 8, kPopupItems, 1u},
    {"NAMED", 0u, kPopupStyle | 0x00C00000u, 0, 0, 100, 50, "Named", "MS Sans Serif", 8, kNamedItems, 2u},
};
const PfResourceTable kTable = {kStrings, 2u, kDialogs, 2u};

PfInstance registeredInstance() {
    static const bool registered = pfdRegisterResources(&kTable, &kTable) != 0;
    return registered ? pfModuleOf(&kTable) : nullptr;
}

struct Call {
    PfWindow window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

std::vector<Call>& calls() {
    static std::vector<Call> c;
    return c;
}

intptr_t PF_STDCALL recordingProc(PfWindow w, uint32_t m, uintptr_t wp, intptr_t lp) {
    calls().push_back(Call{w, m, wp, lp});
    return m == 0x0400 ? 1234 : 0;
}

bool gAliveAtDestroy = false;

intptr_t PF_STDCALL aliveCheckingProc(PfWindow w, uint32_t m, uintptr_t, intptr_t) {
    if (m == PF_WM_DESTROY) gAliveAtDestroy = pfIsWindow(w) != 0 && pfGetDlgItem(w, 301) != nullptr;
    return 1;
}

intptr_t PF_STDCALL selfDestroyingProc(PfWindow w, uint32_t m, uintptr_t, intptr_t) {
    if (m == PF_WM_INITDIALOG) pfDestroyWindow(w);
    return 1;
}

size_t count(uint32_t message, PfWindow w) {
    size_t n = 0;
    for (const Call& c : calls())
        if (c.message == message && c.window == w) ++n;
    return n;
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        calls().clear();
        instance = registeredInstance();
        ASSERT_NE(instance, nullptr);
        host = pfdCreateWindow("host");  // at (100, 100), no frame
    }
    PfInstance instance = nullptr;
    PfWindow host = nullptr;
};

TEST_F(Dialogs, TemplateBecomesAPlacedDialogInitialisedBeforeCreationReturns) {
    PfWindow d = pfCreateDialogParam(instance, PF_MAKEINTRESOURCE(300), host, &recordingProc, 77);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].message, static_cast<uint32_t>(PF_WM_INITDIALOG));
    EXPECT_EQ(calls()[0].lParam, 77);

    // 8-point base units 6 x 13: 107 x 40 units = 161 x 65 pixels of client,
    // a 3-pixel dialog frame, at (18, 18) units = (27, 29) from the owner's client.
    PfRect r{};
    ASSERT_TRUE(pfGetWindowRect(d, &r));
    EXPECT_EQ(r.left, 127);
    EXPECT_EQ(r.top, 129);
    EXPECT_EQ(r.right - r.left, 167);
    EXPECT_EQ(r.bottom - r.top, 71);
    PfRect client{};
    ASSERT_TRUE(pfGetClientRect(d, &client));
    EXPECT_EQ(client.right, 161);
    EXPECT_EQ(client.bottom, 65);

    PfWindow item = pfGetDlgItem(d, 301);
    ASSERT_NE(item, nullptr);
    PfRect ir{};
    ASSERT_TRUE(pfGetWindowRect(item, &ir));
    PfPoint corner{ir.left, ir.top};
    ASSERT_TRUE(pfScreenToClient(d, &corner));
    EXPECT_EQ(corner.x, 29);  // 19 x 6 / 4 = 28.5, rounded
    EXPECT_EQ(corner.y, 16);
    EXPECT_EQ(ir.right - ir.left, 102);
    EXPECT_EQ(ir.bottom - ir.top, 33);

    PfdWindowInfo info{};
    ASSERT_TRUE(pfdGetWindowInfo(d, &info));
    EXPECT_EQ(info.owner, host);
    EXPECT_EQ(info.templateId, 300u);
    EXPECT_EQ(info.isDialog, 1);
    EXPECT_EQ(pfDestroyWindow(d), 1);
}

TEST_F(Dialogs, NamedTemplatesAreFoundWithoutRegardToCaseAndMissingOnesMakeNoWindow) {
    PfWindow d = pfCreateDialogParam(instance, "named", nullptr, &recordingProc, 0);
    ASSERT_NE(d, nullptr);
    char text[16];
    EXPECT_EQ(pfGetDlgItemText(d, 2, text, sizeof text), 7u);
    EXPECT_STREQ(text, "&Cancel");
    EXPECT_EQ(pfDestroyWindow(d), 1);
    calls().clear();

    const size_t before = pfdListWindows(nullptr, 0);
    EXPECT_EQ(pfCreateDialogParam(instance, PF_MAKEINTRESOURCE(999), host, &recordingProc, 0), nullptr);
    EXPECT_EQ(pfCreateDialogParam(nullptr, PF_MAKEINTRESOURCE(300), host, &recordingProc, 0), nullptr);
    EXPECT_EQ(
        pfCreateDialogParam(instance, PF_MAKEINTRESOURCE(300), reinterpret_cast<PfWindow>(0x4444), &recordingProc, 0),
        nullptr);
    EXPECT_EQ(pfdListWindows(nullptr, 0), before);
    EXPECT_TRUE(calls().empty());
}

TEST_F(Dialogs, DestroyingTheOwnerDestroysTheDialogOnceWithItsItems) {
    PfWindow d = pfCreateDialogParam(instance, PF_MAKEINTRESOURCE(300), host, &recordingProc, 0);
    ASSERT_NE(d, nullptr);
    PfWindow item = pfGetDlgItem(d, 301);
    ASSERT_TRUE(pfdPostMessage(d, 0x0400, 0, 0));
    EXPECT_EQ(pfdListWindows(nullptr, 0), 3u);

    pfdDestroyWindow(host);
    EXPECT_EQ(count(PF_WM_DESTROY, d), 1u);
    EXPECT_FALSE(pfIsWindow(d));
    EXPECT_FALSE(pfIsWindow(item));
    EXPECT_EQ(pfdListWindows(nullptr, 0), 0u);
    EXPECT_EQ(pfdQueuedMessages(nullptr), 0u);
    EXPECT_EQ(pfDestroyWindow(d), 0);
    EXPECT_EQ(count(PF_WM_DESTROY, d), 1u);
}

TEST_F(Dialogs, TheDialogAndItsItemsStillExistWhileItHearsDestroy) {
    PfWindow d = pfCreateDialogParam(instance, PF_MAKEINTRESOURCE(300), host, &aliveCheckingProc, 0);
    ASSERT_NE(d, nullptr);
    gAliveAtDestroy = false;
    EXPECT_EQ(pfDestroyWindow(d), 1);
    EXPECT_TRUE(gAliveAtDestroy);
    EXPECT_FALSE(pfIsWindow(d));
}

TEST_F(Dialogs, AProcedureThatDestroysItsDialogWhileOpeningGetsNoWindow) {
    EXPECT_EQ(pfCreateDialogParam(instance, PF_MAKEINTRESOURCE(300), host, &selfDestroyingProc, 0), nullptr);
    EXPECT_EQ(pfdListWindows(nullptr, 0), 1u);  // the host alone
}

TEST_F(Dialogs, DispatchReachesTheDialogProcedure) {
    PfWindow d = pfCreateDialogParam(instance, PF_MAKEINTRESOURCE(300), host, &recordingProc, 0);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(pfdPostMessage(d, 0x0400, 5, 6));
    PfMessage m{};
    ASSERT_TRUE(pfPeekMessage(&m, nullptr, 0, 0, PF_PM_REMOVE));
    EXPECT_EQ(pfDispatchMessage(&m), 1234);
    ASSERT_EQ(count(0x0400, d), 1u);
    EXPECT_EQ(calls().back().wParam, 5u);
    EXPECT_EQ(pfSendMessage(d, 0x0400, 0, 0), 1234);
    EXPECT_EQ(pfdSendMessage(d, 0x0400, 0, 0), 1234);
    pfDestroyWindow(d);
}

TEST_F(Dialogs, MovingKeepsTheSizeCarriesTheItemsAndTellsTheProcedure) {
    PfWindow d = pfCreateDialogParam(instance, PF_MAKEINTRESOURCE(300), host, &recordingProc, 0);
    ASSERT_NE(d, nullptr);
    PfRect before{}, itemBefore{};
    pfGetWindowRect(d, &before);
    pfGetWindowRect(pfGetDlgItem(d, 301), &itemBefore);
    ASSERT_TRUE(pfSetWindowPos(d, nullptr, 10, 20, 999, 999, PF_SWP_NOSIZE | PF_SWP_NOZORDER));
    PfRect after{}, itemAfter{};
    pfGetWindowRect(d, &after);
    pfGetWindowRect(pfGetDlgItem(d, 301), &itemAfter);
    EXPECT_EQ(after.left, 10);
    EXPECT_EQ(after.top, 20);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    EXPECT_EQ(itemAfter.left - after.left, itemBefore.left - before.left);
    EXPECT_EQ(itemAfter.top - after.top, itemBefore.top - before.top);
    ASSERT_EQ(count(PF_WM_MOVE, d), 1u);
    EXPECT_EQ(calls().back().lParam, (23 << 16) | 13);  // the client origin inside the frame

    ASSERT_TRUE(pfSetWindowPos(d, nullptr, 0, 0, 50, 40, PF_SWP_NOMOVE | PF_SWP_NOZORDER));
    pfGetWindowRect(d, &after);
    EXPECT_EQ(after.left, 10);
    EXPECT_EQ(after.right - after.left, 50);
    EXPECT_EQ(count(PF_WM_MOVE, d), 1u);
    pfDestroyWindow(d);
}

TEST(HostDialog, ItemTextsAreSetReadAndCutToTheBuffer) {
    const int32_t ids[] = {1017, 1018};
    PfWindow host = pfdCreateDialogWindow("host", ids, 2);
    ASSERT_TRUE(pfSetDlgItemText(host, 1017, "Scanning ..."));
    char small[5];
    EXPECT_EQ(pfdGetItemText(host, 1017, small, sizeof small), 12u);
    EXPECT_STREQ(small, "Scan");
    EXPECT_EQ(pfGetDlgItemText(host, 1017, small, sizeof small), 4u);
    EXPECT_STREQ(small, "Scan");
    char text[32];
    EXPECT_EQ(pfdGetItemText(host, 1018, text, sizeof text), 0u);
    EXPECT_EQ(pfdGetItemText(host, 99, text, sizeof text), static_cast<size_t>(-1));
    EXPECT_FALSE(pfSetDlgItemText(host, 99, "x"));
    std::strcpy(text, "stale");
    EXPECT_EQ(pfGetDlgItemText(host, 99, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
    PfdWindowInfo info{};
    ASSERT_TRUE(pfdGetWindowInfo(pfGetDlgItem(host, 1018), &info));
    EXPECT_EQ(info.parent, host);
    EXPECT_EQ(info.itemId, 1018);
}

TEST(Strings, LoadStringCopiesCutsAndReportsMissingIds) {
    PfInstance instance = registeredInstance();
    ASSERT_NE(instance, nullptr);
    char buffer[16];
    EXPECT_EQ(pfLoadString(instance, 7, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "seven");
    EXPECT_EQ(pfLoadString(instance, 7 + 0x10000, buffer, sizeof buffer), 5);  // ids are 16-bit
    EXPECT_EQ(pfLoadString(instance, 7, buffer, 4), 3);
    EXPECT_STREQ(buffer, "sev");
    EXPECT_EQ(pfLoadString(instance, 300, buffer, sizeof buffer), 13);
    EXPECT_EQ(std::string(buffer), "Big5 \xBC\x67 bytes");
    std::strcpy(buffer, "stale");
    EXPECT_EQ(pfLoadString(instance, 8, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(pfLoadString(nullptr, 7, buffer, sizeof buffer), 0);
    EXPECT_EQ(pfLoadString(instance, 7, buffer, 0), 0);
}

struct Box {
    PfWindow owner;
    std::string text;
    std::string title;
    uint32_t style;
};

int recordBox(void* context, PfWindow owner, const char* text, const char* title, uint32_t style) {
    static_cast<std::vector<Box>*>(context)->push_back(Box{owner, text, title, style});
    return PF_IDCANCEL;
}

TEST(MessageBoxes, TheHandlerAnswersAndWithoutItEveryBoxIsOk) {
    std::vector<Box> boxes;
    PfWindow owner = pfdCreateWindow("owner");
    EXPECT_EQ(pfMessageBox(owner, "a", "b", 0), PF_IDOK);
    pfdSetMessageBoxHandler(&recordBox, &boxes);
    EXPECT_EQ(pfMessageBox(owner, "text", "title", PF_MB_OK | PF_MB_ICONINFORMATION), PF_IDCANCEL);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].text, "text");
    EXPECT_EQ(boxes[0].title, "title");
    EXPECT_EQ(boxes[0].style, 0x40u);
    EXPECT_EQ(pfdMessageBoxCount(), 2u);
    pfdResetDesktop();
    EXPECT_EQ(pfdMessageBoxCount(), 0u);
    EXPECT_EQ(pfMessageBox(nullptr, "c", nullptr, 0), PF_IDOK);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST(Cursors, SetCursorReturnsThePreviousOneAndUnknownIdsLoadNothing) {
    EXPECT_EQ(pfdCurrentCursor(), static_cast<uint32_t>(PF_IDC_ARROW));
    PfCursor wait = pfLoadSystemCursor(PF_IDC_WAIT);
    PfCursor arrow = pfLoadSystemCursor(PF_IDC_ARROW);
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(pfSetCursor(wait), arrow);
    EXPECT_EQ(pfdCurrentCursor(), static_cast<uint32_t>(PF_IDC_WAIT));
    EXPECT_EQ(pfLoadSystemCursor(12345), nullptr);
    EXPECT_EQ(pfSetCursor(nullptr), wait);
    EXPECT_EQ(pfdCurrentCursor(), 0u);
    pfdResetDesktop();
    EXPECT_EQ(pfdCurrentCursor(), static_cast<uint32_t>(PF_IDC_ARROW));
}

TEST(Screen, MetricsFollowTheHostAndResetToTheDefault) {
    EXPECT_EQ(pfGetSystemMetrics(PF_SM_CXSCREEN), 1024);
    EXPECT_EQ(pfGetSystemMetrics(PF_SM_CYSCREEN), 768);
    pfdSetScreenSize(640, 480);
    EXPECT_EQ(pfGetSystemMetrics(PF_SM_CXSCREEN), 640);
    EXPECT_EQ(pfGetSystemMetrics(PF_SM_CYSCREEN), 480);
    pfdResetDesktop();
    EXPECT_EQ(pfGetSystemMetrics(PF_SM_CXSCREEN), 1024);
}

}  // namespace
