#include "worker_processes.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "cancellation.h"
#include "platform/host_system.h"

namespace aucal {

namespace {

// A report on the pipe: this header, then `length` bytes of text.
struct Record {
    std::uint64_t item;
    std::uint32_t ok, length;
};

// All of size bytes through io (a read or write call) in as many calls as
// it takes; false at an error or the end.
template <typename Byte, typename Io>
bool whole(Byte* p, std::size_t size, Io io) {
    while (size > 0) {
        const long n = io(p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(PfHostFile to, const void* data, std::size_t size) {
    return whole(static_cast<const char*>(data), size, [to](const char* p, std::size_t n) { return pfHostWrite(to, p, n); });
}

bool readAll(PfHostFile from, void* data, std::size_t size) {
    return whole(static_cast<char*>(data), size, [from](char* p, std::size_t n) { return pfHostRead(from, p, n); });
}

}  // namespace

bool runInProcesses(int processes, std::size_t items, const ItemWork& work, const ItemReport& report,
                    const std::function<std::string(std::size_t item)>& lost) {
    if (processes < 2) return false;
    void* memory = pfHostSharedMemory(sizeof(std::atomic<std::size_t>));
    if (memory == nullptr) return false;
    auto* next = new (memory) std::atomic<std::size_t>(0);
    struct Copy {
        long id;
        PfHostFile reads;
    };
    std::vector<Copy> copies;
    for (int k = 1; k < processes; ++k) {
        PfHostFile ends[2];
        if (!pfHostPipe(ends)) break;
        const long id = pfHostFork();
        if (id == 0) {
            // The copy: its reports go to the pipe; it ends without running
            // this process's exit code (the parent's files and engine).
            for (const Copy& c : copies) pfHostClose(c.reads);
            pfHostClose(ends[0]);
            // What it throws ends it too (its claimed item then counts as
            // lost): it never returns into the parent's code.
            try {
                work(*next, [&](std::size_t item, bool ok, const std::string& text) {
                    const Record r{item, ok ? 1u : 0u, static_cast<std::uint32_t>(text.size())};
                    if (!writeAll(ends[1], &r, sizeof r) || !writeAll(ends[1], text.data(), text.size()))
                        pfHostExitNow(1);
                });
            } catch (...) {
                pfHostExitNow(1);
            }
            pfHostExitNow(0);
        }
        pfHostClose(ends[1]);
        if (id < 0) {
            pfHostClose(ends[0]);
            break;
        }
        copies.push_back({id, ends[0]});
    }
    if (copies.empty()) {
        pfHostFreeSharedMemory(memory, sizeof(std::atomic<std::size_t>));
        return false;
    }
    std::mutex lock;
    std::vector<char> reported(items, 0);
    auto mark = [&](std::size_t item, bool ok, std::string text) {
        {
            std::lock_guard<std::mutex> hold(lock);
            if (item >= items || reported[item]) return;
            reported[item] = 1;
        }
        report(item, ok, std::move(text));
    };
    std::vector<std::thread> listeners;
    for (const Copy& c : copies)
        listeners.emplace_back([&mark, from = c.reads] {
            Record r;
            while (readAll(from, &r, sizeof r)) {
                std::string text(r.length, '\0');
                if (!readAll(from, text.data(), text.size())) break;
                mark(static_cast<std::size_t>(r.item), r.ok != 0, std::move(text));
            }
        });
    work(*next, mark);
    for (std::thread& t : listeners) t.join();
    for (const Copy& c : copies) {
        pfHostClose(c.reads);
        pfHostWaitChild(c.id);
    }
    // Claimed (below the counter) and never reported: its copy died. After a
    // stop request every process leaves its claimed items as they are.
    const std::size_t claimed = std::min(next->load(), items);
    pfHostFreeSharedMemory(memory, sizeof(std::atomic<std::size_t>));
    if (!cancelled())
        for (std::size_t i = 0; i < claimed; ++i)
            if (!reported[i]) mark(i, false, lost(i));
    return true;
}

}  // namespace aucal
