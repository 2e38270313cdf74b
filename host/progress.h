// Progress on the terminal from the libraries' progress callbacks, and
// cancellation: a signal during a long call (cancellation.h) is turned into an
// Escape key press on the host window, the same path as a user pressing Escape.
#ifndef AUCAL_PROGRESS_H
#define AUCAL_PROGRESS_H

#include <cstdint>
#include <string>

#include "platform/messages.h"
#include "qel_cms.h"

namespace aucal {

// The host's window: focused, so that the engine's Escape poll and the
// drivers' message pump read its queue.
PfWindow hostWindow();
// Makes another window (a driver's host dialog) the host window for a while;
// null goes back to the default one.
void setHostWindow(PfWindow window);

// One progress display at a time. The engine reports a percentage of 100,
// the drivers a line count of a total.
class ProgressDisplay {
public:
    ProgressDisplay(std::string label, bool quiet);
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // The host callback to pass to the libraries (callee removes the arguments).
    static int32_t QEL_STDCALL callback(ProgressRecord* record, int32_t total);
    ProgressRecord* record() { return &record_; }
    // Calls seen so far.
    int calls() const { return calls_; }
    // For steps of the host's own: count of total.
    void update(int current, int total) { show(current, total); }
    bool cancelled() const;

private:
    void show(int current, int total);
    std::string label_;
    bool quiet_;
    bool drawn_ = false;
    bool escapePosted_ = false;
    int calls_ = 0;
    int lastShown_ = -1;
    ProgressRecord record_{};
};

}  // namespace aucal

#endif
