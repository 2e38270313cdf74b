// Checks of the cross-check harness itself: the focus window and its queue on
// both platforms; on Windows the convention probe and the resource compiler's
// output (through a small DLL of string table, dialog and one export per
// convention).
#include <cstdint>
#include <cstring>
#include <string>

#include "crosscheck.h"

#include "platform/dialogs.h"
#include "platform/message_box.h"

#ifdef _WIN32
#include <windows.h>
#endif

CROSSCHECK_CASE(harness_focus_window_queue) {
    crosscheck::withFocusWindow([](crosscheck::FocusWindow& window) {
        crosscheck::check(window.handle32() != 0, "the window has no 32-bit handle");
        window.postKeyDown(crosscheck::kVkEscape);
        window.post(crosscheck::kWmUser + 7, 1, 2);
        window.postKeyDown('A');
        crosscheck::check(window.hasFocus(), "posting took the focus away");
        const std::size_t queued = window.takeQueued();
        crosscheck::check(queued == 3, "3 messages posted, " + std::to_string(queued) + " queued");
        crosscheck::check(window.takeQueued() == 0, "the queue was not empty after taking everything");
    });
}

// The host window's status item and message boxes, through the platform
// calls that the drivers make: the real ones on Windows, the stand-in's here.
CROSSCHECK_CASE(harness_status_item_and_message_boxes) {
    crosscheck::withFocusWindow([](crosscheck::FocusWindow& window) {
        PfWindow owner = static_cast<PfWindow>(window.handle());
        crosscheck::check(pfSetDlgItemText(owner, crosscheck::FocusWindow::kStatusItem, "Scanning line 12") != 0,
                          "SetDlgItemText on item 1017 failed");
        crosscheck::check(window.itemText(crosscheck::FocusWindow::kStatusItem) == "Scanning line 12",
                          "item 1017 reads \"" + window.itemText(crosscheck::FocusWindow::kStatusItem) + "\"");

        const int first = pfMessageBox(owner, "Scanner not ready", "Brand Package", PF_MB_OK | PF_MB_ICONSTOP);
        crosscheck::setMessageBoxAnswer(PF_IDCANCEL);
        const int second = pfMessageBox(owner, "Cancel the scan?", "Brand", PF_MB_OKCANCEL | PF_MB_ICONEXCLAMATION);
        crosscheck::check(first == PF_IDOK && second == PF_IDCANCEL,
                          "message boxes answered " + std::to_string(first) + ", " + std::to_string(second));
        crosscheck::check(crosscheck::messageBoxes().size() == 2,
                          std::to_string(crosscheck::messageBoxes().size()) + " message boxes seen, 2 shown");
        const std::string seen = crosscheck::messageBoxText();
        crosscheck::writeOutput("harness/message_boxes.txt", seen.data(), seen.size());
    });
}

#ifdef _WIN32

namespace {

struct RawProbe {
    crosscheck::detail::RawResult result;
    bool found;
};

RawProbe probe(const crosscheck::Library& dll, const char* name, std::uint32_t a, std::uint32_t b) {
    void* f = dll.symbol(name);
    const std::uint32_t args[2] = {a, b};
    if (f == nullptr) return {{}, false};
    return {crosscheck::detail::rawCall(f, args, 2, false), true};
}

}  // namespace

CROSSCHECK_CASE(harness_convention_probe) {
    crosscheck::Library dll = crosscheck::loadLibrary("crosscheck_resource_probe");
    // Both exports by their plain names; each convention measured as it is.
    const RawProbe stdcallProbe = probe(dll, "ProbeAddStdcall", 40, 2);
    const RawProbe cdeclProbe = probe(dll, "ProbeAddCdecl", 40, 3);
    crosscheck::require(stdcallProbe.found && cdeclProbe.found, "the probe's exports are missing or decorated");
    crosscheck::check(stdcallProbe.result.eax == 42 && cdeclProbe.result.eax == 43, "wrong sums through the probe");
    crosscheck::check(stdcallProbe.result.calleeRemoved == 8,
                      "callee-cleans export removed " + std::to_string(stdcallProbe.result.calleeRemoved));
    crosscheck::check(cdeclProbe.result.calleeRemoved == 0,
                      "caller-cleans export removed " + std::to_string(cdeclProbe.result.calleeRemoved));
    // And through the typed helpers, with the right conventions.
    crosscheck::check(crosscheck::callStdcall<std::int32_t>(dll, "ProbeAddStdcall", 1, 2) == 3, "callStdcall");
    crosscheck::check(crosscheck::callCdecl<std::int32_t>(dll, "ProbeAddCdecl", 1, 3) == 4, "callCdecl");
}

// The probe's kernel32 calls go through the host's redirections: blocks and
// files are counted while held, Sleep costs no real time.
CROSSCHECK_CASE(harness_counted_imports) {
    crosscheck::Library dll = crosscheck::loadLibrary("crosscheck_resource_probe");
    const std::size_t blocks = crosscheck::liveGlobalBlocks(), files = crosscheck::openFiles();
    void* block = crosscheck::callCdecl<void*>(dll, "ProbeAllocBlock", 4096u);
    crosscheck::require(block != nullptr, "GlobalAlloc in the probe failed");
    crosscheck::check(crosscheck::liveGlobalBlocks() == blocks + 1, "the probe's block was not counted");
    crosscheck::check(crosscheck::callCdecl<std::int32_t>(dll, "ProbeFreeBlock", block) == 1, "GlobalFree failed");
    crosscheck::check(crosscheck::liveGlobalBlocks() == blocks, "the freed block is still counted");

    const std::string path = crosscheck::outputPath("harness/probe_file.tmp");
    const std::int32_t file = crosscheck::callCdecl<std::int32_t>(dll, "ProbeOpenFile", path.c_str());
    crosscheck::require(file != HFILE_ERROR, "_lcreat in the probe failed");
    crosscheck::check(crosscheck::openFiles() == files + 1, "the probe's file was not counted");
    crosscheck::callCdecl<std::int32_t>(dll, "ProbeCloseFile", file);
    crosscheck::check(crosscheck::openFiles() == files, "the closed file is still counted");
    DeleteFileA(path.c_str());

    const std::uint64_t slept = crosscheck::sleptMilliseconds();
    crosscheck::callCdecl<void>(dll, "ProbeSleep", 1500u);
    crosscheck::check(crosscheck::sleptMilliseconds() == slept + 1500u, "the probe's Sleep was not redirected");
}

namespace {

std::string loadString(HMODULE module, UINT id) {
    char text[256];
    const int n = LoadStringA(module, id, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

INT_PTR CALLBACK probeDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

}  // namespace

CROSSCHECK_CASE(harness_resources) {
    crosscheck::Library dll = crosscheck::loadLibrary("crosscheck_resource_probe");
    HMODULE module = GetModuleHandleA("crosscheck_resource_probe.dll");
    crosscheck::require(module != nullptr, "the probe DLL is not loaded");
    crosscheck::check(loadString(module, 1) == "resource probe", "string 1: \"" + loadString(module, 1) + "\"");
    crosscheck::check(loadString(module, 51) == "second block", "string 51: \"" + loadString(module, 51) + "\"");
    crosscheck::check(loadString(module, 4).empty(), "string 4 should not exist");
    const std::string big5 = loadString(module, 2);
    crosscheck::check(big5 == "\xA4\xA4\xA4\xE5", "Big5 bytes did not come back unchanged (" +
                                                      std::to_string(big5.size()) + " bytes)");
    const std::string undefined = loadString(module, 3);
    crosscheck::check(undefined == "\x81\x8D\x8F\x90\x9D\x80",
                      "bytes 0x81 0x8D 0x8F 0x90 0x9D 0x80 did not come back unchanged (" +
                          std::to_string(undefined.size()) + " bytes)");

    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& owner) {
        HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(100), static_cast<HWND>(owner.handle()),
                                         probeDialogProc, 0);
        crosscheck::require(dialog != nullptr, "CreateDialogParamA failed: " + std::to_string(GetLastError()));
        crosscheck::check(GetDlgItem(dialog, 1017) != nullptr, "the dialog has no item 1017");
        crosscheck::check(SetDlgItemTextA(dialog, 1017, "status text") != 0, "SetDlgItemTextA failed");
        char text[64] = {};
        GetDlgItemTextA(dialog, 1017, text, sizeof text);
        crosscheck::check(std::strcmp(text, "status text") == 0, std::string("item 1017 reads \"") + text + "\"");
        DestroyWindow(dialog);
    });
}

#endif
