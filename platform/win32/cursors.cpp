// System cursors: direct calls to user32.
#include "platform/cursors.h"

#include <windows.h>

extern "C" {

PfCursor pfLoadSystemCursor(uint32_t id) {
    return reinterpret_cast<PfCursor>(LoadCursorA(nullptr, MAKEINTRESOURCEA(id)));
}

PfCursor pfSetCursor(PfCursor cursor) {
    return reinterpret_cast<PfCursor>(SetCursor(reinterpret_cast<HCURSOR>(cursor)));
}
}
