// The drivers' desktop side as a host sees it, on both platforms: every
// driver library's string table read through LoadString (the Big5 and
// code-page-1252 bytes must come back unchanged from the DLLs' resources), and
// the message box titles that the profile strings give. On Windows only: the
// warm-up popup, dialog 300 of prescan.dll run by its exported WarmUpProc, on
// the real desktop (placement, colour messages, brush lifetime).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crosscheck.h"
#include "platform/resources.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string loadText(PfInstance instance, std::uint32_t id) {
    char buffer[512];
    const int n = pfLoadString(instance, id, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// One profile string of win.ini for the life of the object, then the file
// as it was: WriteProfileStringA on Windows; on Linux the stand-in reads
// win.ini of the Windows directory, so the line goes into that file.
class ProfileSetting {
public:
    ProfileSetting(const char* section, const char* key, const char* value) : section_(section), key_(key) {
#ifdef _WIN32
        char old[256];
        const char* missing = "\x01missing";
        GetProfileStringA(section, key, missing, old, sizeof old);
        hadValue_ = std::string(old) != missing;
        old_ = old;
        WriteProfileStringA(section, key, value);
#else
        path_ = crosscheck::windowsDirectory() + "/win.ini";
        std::ifstream in(path_, std::ios::binary);
        hadFile_ = static_cast<bool>(in);
        std::stringstream s;
        s << in.rdbuf();
        old_ = s.str();
        in.close();
        // The first section of a name wins: the new line goes in front.
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << "[" << section << "]\r\n" << key << "=" << value << "\r\n" << old_;
#endif
    }
    ~ProfileSetting() {
#ifdef _WIN32
        WriteProfileStringA(section_.c_str(), key_.c_str(), hadValue_ ? old_.c_str() : nullptr);
#else
        if (hadFile_) {
            std::ofstream out(path_, std::ios::binary | std::ios::trunc);
            out << old_;
        } else {
            std::remove(path_.c_str());
        }
#endif
    }
    ProfileSetting(const ProfileSetting&) = delete;
    ProfileSetting& operator=(const ProfileSetting&) = delete;

private:
    std::string section_, key_, old_;
#ifdef _WIN32
    bool hadValue_ = false;
#else
    std::string path_;
    bool hadFile_ = false;
#endif
};

}  // namespace

CROSSCHECK_CASE(driver_string_tables) {
    for (const char* name : {"scan", "vexa", "prescan"}) {
        crosscheck::Library driver = crosscheck::loadLibrary(name);
        const PfInstance instance = pfModuleOf(crosscheck::proc<void*>(driver, "Scan_Image"));
        crosscheck::require(instance != nullptr, std::string("no module for ") + name);
        // id (16 bits), length (16 bits), the bytes; ids without text left out.
        std::vector<std::uint8_t> table;
        std::size_t texts = 0;
        for (std::uint32_t id = 0; id < 400; ++id) {
            const std::string t = loadText(instance, id);
            if (t.empty()) continue;
            ++texts;
            const std::uint8_t head[4] = {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8),
                                          static_cast<std::uint8_t>(t.size()),
                                          static_cast<std::uint8_t>(t.size() >> 8)};
            table.insert(table.end(), head, head + 4);
            table.insert(table.end(), t.begin(), t.end());
        }
        crosscheck::check(texts == 7 * 29, std::string(name) + ": " + std::to_string(texts) + " texts, 203 expected");
        crosscheck::check(loadText(instance, 268) == "Aufw\xE4rmen...", std::string(name) + ": id 268 changed");
        crosscheck::check(loadText(instance, 318) == "\xB7\x78\xBE\xF7\xA4\xA4...",
                          std::string(name) + ": the Big5 bytes of id 318 changed");
        crosscheck::check(loadText(instance, 112) == " Onvoldoende geheugen.", std::string(name) + ": id 112 changed");
        crosscheck::writeOutput(std::string("desktop/strings_") + name + ".bin", table);
    }
}

// prescan with a "DRIVER" that names no library shows message 5 (the check
// list) under the title built from "AUCAL" "Brand" and "Package", and returns 1.
CROSSCHECK_CASE(driver_message_titles) {
    crosscheck::Library prescan = crosscheck::loadLibrary("prescan");
    ProfileSetting driver("KVSINFO_A3", "DRIVER", "NOSUCH.DLL");
    std::string results;
    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        const std::string image = crosscheck::outputPath("desktop/never_written.tga");
        auto run = [&](std::uint32_t language, const char* what) {
            const auto result = crosscheck::callStdcall<std::int32_t>(prescan, "Scan_Image", window.handle32(),
                                                                      image.c_str(), nullptr, 0u, language);
            results += std::string(what) + ": result " + std::to_string(result) + ", status \"" +
                       window.itemText(crosscheck::FocusWindow::kStatusItem) + "\"\n";
        };
        run(0, "no brand, no package");
        {
            ProfileSetting brand("AUCAL", "Brand", "North");
            ProfileSetting package("AUCAL", "Package", "Pro");
            run(0, "North Pro");
            run(6, "North Pro, Chinese");
        }
        {
            ProfileSetting brand("AUCAL", "Brand", "nUlL");
            ProfileSetting package("AUCAL", "Package", "Pro");
            run(2, "Brand nUlL");
        }
        {
            ProfileSetting package("AUCAL", "Package", "Pro");
            run(5, "Package only");
        }
    });
    crosscheck::check(crosscheck::messageBoxes().size() == 5,
                      std::to_string(crosscheck::messageBoxes().size()) + " message boxes, 5 expected");
    const std::string boxes = crosscheck::messageBoxText();
    crosscheck::writeOutput("desktop/message_titles.txt", boxes.data(), boxes.size());
    crosscheck::writeOutput("desktop/message_title_runs.txt", results.data(), results.size());
}

#ifdef _WIN32

CROSSCHECK_CASE(driver_warm_up_popup_win32) {
    crosscheck::Library prescan = crosscheck::loadLibrary("prescan");
    auto warmUp = crosscheck::proc<DLGPROC>(prescan, "WarmUpProc");
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(pfModuleOf(reinterpret_cast<void*>(warmUp)));
    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        HWND host = static_cast<HWND>(window.handle());
        HWND popup = CreateDialogParamA(instance, MAKEINTRESOURCEA(300), host, warmUp, 0);
        crosscheck::require(popup != nullptr, "dialog 300 of prescan.dll: " + std::to_string(GetLastError()));
        crosscheck::check(GetWindow(popup, GW_OWNER) == host, "the popup is not owned by the host window");

        RECT r{};
        GetWindowRect(popup, &r);
        const int width = r.right - r.left, height = r.bottom - r.top;
        const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 3;
        crosscheck::check(r.left == x && r.top == y, "popup at (" + std::to_string(r.left) + ", " +
                                                         std::to_string(r.top) + "), expected (" + std::to_string(x) +
                                                         ", " + std::to_string(y) + ")");
        HWND frame = GetDlgItem(popup, 301);
        crosscheck::check(frame != nullptr && !IsWindowVisible(frame), "item 301 missing or visible");

        HDC dc = GetDC(popup);
        SetBkColor(dc, RGB(1, 2, 3));
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessageA(popup, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(frame)));
        crosscheck::require(brush != nullptr, "WM_CTLCOLORSTATIC gave no brush");
        LOGBRUSH logBrush{};
        crosscheck::check(GetObjectType(brush) == OBJ_BRUSH && GetObjectA(brush, sizeof logBrush, &logBrush) != 0 &&
                              logBrush.lbColor == RGB(192, 192, 192),
                          "the face brush is not grey");
        crosscheck::check(GetBkColor(dc) == RGB(192, 192, 192), "the colour message left the background colour");
        const auto dialogBrush = SendMessageA(popup, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), 0);
        crosscheck::check(dialogBrush == reinterpret_cast<LRESULT>(brush), "WM_CTLCOLORDLG gave another brush");
        SetBkColor(dc, RGB(1, 2, 3));
        const auto scrollBar = crosscheck::callStdcall<std::int32_t>(
            prescan, "WarmUpProc", popup, static_cast<std::uint32_t>(WM_CTLCOLORSCROLLBAR), dc, 0);
        crosscheck::check(scrollBar == 0, "WM_CTLCOLORSCROLLBAR gave " + std::to_string(scrollBar));
        crosscheck::check(GetBkColor(dc) == RGB(1, 2, 3), "WM_CTLCOLORSCROLLBAR changed the background colour");
        ReleaseDC(popup, dc);

        // Painting goes through the procedure without leaving objects behind.
        const DWORD objectsBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        RedrawWindow(popup, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        const DWORD objectsAfter = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        crosscheck::check(objectsAfter <= objectsBefore,
                          "painting left " + std::to_string(objectsAfter - objectsBefore) + " drawing objects behind");

        crosscheck::check(DestroyWindow(popup) != 0, "DestroyWindow failed");
        crosscheck::check(GetObjectType(brush) == 0, "the face brush outlived its popup");

        HWND again = CreateDialogParamA(instance, MAKEINTRESOURCEA(300), host, warmUp, 0);
        crosscheck::require(again != nullptr, "a second popup failed");
        HDC dc2 = GetDC(again);
        auto brush2 = reinterpret_cast<HBRUSH>(SendMessageA(again, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc2), 0));
        crosscheck::check(brush2 != nullptr && GetObjectType(brush2) == OBJ_BRUSH, "the second popup has no brush");
        ReleaseDC(again, dc2);
        DestroyWindow(again);
        crosscheck::check(brush2 == nullptr || GetObjectType(brush2) == 0, "the second brush outlived its popup");
    });
}

#endif
