// Items of a batch spread over copies of this process, each with its own
// engine: the engine holds one block per process and is called one export
// at a time, so copies are how its corrections run side by side.
//
// The copies are forked after the engine is loaded and the block set, and
// before any thread starts. Items are claimed from one counter in memory
// that all share; what a copy reports of an item comes back through a pipe
// and is handed to the caller's report in this process, which alone prints.
// An item that a copy claimed but never reported (the copy died) is
// reported failed. Where the platform has no fork (Windows), nothing runs
// and the caller uses threads.
#ifndef AUCAL_WORKER_PROCESSES_H
#define AUCAL_WORKER_PROCESSES_H

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

namespace aucal {

using ItemReport = std::function<void(std::size_t item, bool ok, std::string text)>;
// Claims items from next (next++ until past the end) and reports each.
using ItemWork = std::function<void(std::atomic<std::size_t>& next, const ItemReport& report)>;

// work in `processes` processes (this one and copies of it), over items
// 0 .. items - 1. False, having run nothing, when no copy could be made.
// lost: the sentence for an item claimed and never reported.
bool runInProcesses(int processes, std::size_t items, const ItemWork& work, const ItemReport& report,
                    const std::function<std::string(std::size_t item)>& lost);

}  // namespace aucal

#endif
