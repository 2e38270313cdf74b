#include "job.h"

#include "engine_state.h"
#include "platform/dialogs.h"
#include "platform/messages.h"

namespace qel {

void reportProgress(ProgressRecord* record, ProgressCallback callback, int percent) {
    if (record == nullptr || callback == nullptr) return;
    record->count = static_cast<std::uint16_t>(percent);
    callback(record, 100);
}

int PollEscapeKey() {
    PfWindow focus = pfGetFocus();
    if (focus == nullptr) return 0;
    PfMessage& message = g_engine.lastPolledMessage;
    if (!pfPeekMessage(&message, focus, 0, 0, PF_PM_REMOVE)) return 0;
    if (message.message == PF_WM_KEYDOWN && (message.wParam & 0xFFFFu) == PF_VK_ESCAPE) {
        // WM_PAINT ends the drain: PM_REMOVE does not take it off the queue
        // (it comes back until the window is painted), so waiting for an
        // empty queue would never end while the focus window needs painting.
        PfMessage drained;
        while (pfPeekMessage(&drained, focus, 0, 0, PF_PM_REMOVE) && drained.message != PF_WM_PAINT) {
        }
        return 1;
    }
    return 0;
}

}  // namespace qel

using qel::g_engine;

extern "C" {

QEL_API float QEL_CDECL DonePercentage(void) {
    const auto& p = g_engine.progress;
    if (p.total == 0 || p.done == 0) return 0.0f;
    if (p.done >= p.total) return 1.0f;
    return static_cast<float>(static_cast<double>(p.done) / static_cast<double>(p.total));
}

QEL_API int32_t QEL_CDECL StopExecution(void) {
    g_engine.progress.stopFlag = 1;
    return 0;
}
}
