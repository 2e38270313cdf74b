// The engine's Escape poll on a real Windows message queue. The poll is
// internal to the engine, so this case calls it from the engine's static
// library linked into the Windows host (the native side has its own tests of
// it on the stand-in's queue). Cases of the analyses that cancel on Escape go
// through the DLL's exports instead, with the same withFocusWindow().
#ifdef _WIN32
#include <windows.h>

#include <string>

#include "crosscheck.h"
#include "job.h"

using crosscheck::check;

CROSSCHECK_CASE(escape_poll_real_queue) {
    crosscheck::withFocusWindow([](crosscheck::FocusWindow& window) {
        HWND hwnd = static_cast<HWND>(window.handle());
        check(qel::PollEscapeKey() == 0, "poll of an empty queue found an Escape");

        // Another message first: it is taken and dropped; the Escape behind it
        // is found by the next poll, which empties the window's queue.
        window.post(crosscheck::kWmUser + 1, 0, 0);
        window.postKeyDown(crosscheck::kVkEscape);
        window.post(crosscheck::kWmUser + 2, 0, 0);
        window.postKeyDown('B');
        check(qel::PollEscapeKey() == 0, "the message in front of the Escape was not the one taken");
        check(qel::PollEscapeKey() == 1, "the Escape key press was not found");
        check(window.takeQueued() == 0, "messages behind the Escape were left queued");

        // Not an Escape press: another key, the Escape key's release, the
        // character 27.
        window.postKeyDown('Q');
        window.post(WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0000001u));
        window.post(WM_CHAR, 27, 1);
        int found = 0;
        for (int i = 0; i < 3; ++i) found += qel::PollEscapeKey();
        check(found == 0, "a message that is not an Escape key press counted as one");
        check(window.takeQueued() == 0, "each poll takes one message");

        // Only the low 16 bits of the word parameter are the key code.
        window.post(WM_KEYDOWN, 0x7FFF0000u | VK_ESCAPE, 1);
        check(qel::PollEscapeKey() == 1, "Escape with high bits in the word parameter was missed");

        // The window needs painting: WM_PAINT stays in the queue whatever is
        // taken, and the drain after an Escape must still come to an end.
        InvalidateRect(hwnd, nullptr, TRUE);
        window.postKeyDown(crosscheck::kVkEscape);
        window.post(crosscheck::kWmUser + 3, 0, 0);
        check(qel::PollEscapeKey() == 1, "Escape in front of a pending paint was missed");
        MSG m;
        check(!PeekMessageA(&m, hwnd, crosscheck::kWmUser, crosscheck::kWmUser + 0xFF, PM_REMOVE),
              "a posted message survived the drain");
        ValidateRect(hwnd, nullptr);

        // No focus window: nothing is taken.
        SetFocus(nullptr);
        window.postKeyDown(crosscheck::kVkEscape);
        check(qel::PollEscapeKey() == 0, "poll without a focus window found an Escape");
        check(window.takeQueued() == 1, "poll without a focus window took a message");
    });
}

#endif
