// The mouse cursor of the POSIX desktop: the system cursors are fixed
// objects; the desktop remembers which one is shown.
#include "platform/cursors.h"

#include <mutex>

#include "desktop_state.h"
#include "desktop_windows.h"
#include "platform/desktop_posix.h"

namespace pf_posix {
namespace {

struct SystemCursor {
    uint32_t id;
};

SystemCursor gArrow{PF_IDC_ARROW};
SystemCursor gWait{PF_IDC_WAIT};

PfCursor handleOf(SystemCursor& c) { return reinterpret_cast<PfCursor>(&c); }

PfCursor& current() {
    static PfCursor cursor = handleOf(gArrow);
    return cursor;
}

}  // namespace

void resetCursor() { current() = handleOf(gArrow); }

}  // namespace pf_posix

using namespace pf_posix;

extern "C" {

PF_EXPORT PfCursor pfLoadSystemCursor(uint32_t id) {
    switch (id) {
        case PF_IDC_ARROW: return handleOf(gArrow);
        case PF_IDC_WAIT: return handleOf(gWait);
        default: return nullptr;
    }
}

PF_EXPORT PfCursor pfSetCursor(PfCursor cursor) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    // Only the system cursors exist here; anything else is not a cursor.
    if (cursor != nullptr && cursor != handleOf(gArrow) && cursor != handleOf(gWait)) return current();
    PfCursor previous = current();
    current() = cursor;
    return previous;
}

PF_EXPORT uint32_t pfdCurrentCursor(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    PfCursor c = current();
    return c == nullptr ? 0 : reinterpret_cast<SystemCursor*>(c)->id;
}
}
