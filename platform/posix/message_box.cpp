// Message boxes on the POSIX desktop: each box goes to the host's handler,
// which answers for the user.
#include "platform/message_box.h"

#include <mutex>

#include "desktop_state.h"
#include "desktop_windows.h"
#include "platform/desktop_posix.h"

namespace pf_posix {
namespace {

struct MessageBoxes {
    PfdMessageBoxHandler handler = nullptr;
    void* context = nullptr;
    size_t shown = 0;
};

MessageBoxes& boxes() {
    static MessageBoxes b;
    return b;
}

}  // namespace

void resetMessageBoxes() { boxes() = MessageBoxes{}; }

}  // namespace pf_posix

using namespace pf_posix;

extern "C" {

PF_EXPORT int pfMessageBox(PfWindow owner, const char* text, const char* title, uint32_t style) {
    PfdMessageBoxHandler handler = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(desktopMutex());
        ++boxes().shown;
        handler = boxes().handler;
        context = boxes().context;
    }
    // A null title shows "Error" on Windows.
    const char* shownTitle = title != nullptr ? title : "Error";
    return handler != nullptr ? handler(context, owner, text != nullptr ? text : "", shownTitle, style) : PF_IDOK;
}

PF_EXPORT void pfdSetMessageBoxHandler(PfdMessageBoxHandler handler, void* context) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    boxes().handler = handler;
    boxes().context = handler != nullptr ? context : nullptr;
}

PF_EXPORT size_t pfdMessageBoxCount(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return boxes().shown;
}
}
