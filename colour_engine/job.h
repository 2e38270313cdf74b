// A job of the engine: progress reports to the host and the Escape poll, shared
// by the analyses.
#ifndef QEL_JOB_H
#define QEL_JOB_H

#include "platform/memory.h"
#include "qel_cms.h"

namespace qel {

// Writes percent into the host's record and calls the host with the total
// 100; only when both the record and the callback are non-null.
void reportProgress(ProgressRecord* record, ProgressCallback callback, int percent);

// Takes one message of the focus window from the queue; 1 when it is an
// Escape key press (the focus window's queue is then drained), else 0. The
// message taken is discarded.
int PollEscapeKey();

}  // namespace qel

#endif
