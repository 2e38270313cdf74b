#include "strip_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace aucal {

namespace {

// Strips handed from one stage to the next, in order. close(): no more will
// come (pop drains what is there); abort(): stop now (pop returns null).
class StripQueue {
public:
    void push(Strip* s) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (aborted_) return;
            strips_.push_back(s);
        }
        ready_.notify_one();
    }
    Strip* pop() {
        std::unique_lock<std::mutex> hold(lock_);
        ready_.wait(hold, [&] { return aborted_ || closed_ || !strips_.empty(); });
        if (aborted_ || strips_.empty()) return nullptr;
        Strip* s = strips_.front();
        strips_.pop_front();
        return s;
    }
    void close() { set(&closed_); }
    void abort() { set(&aborted_); }

private:
    void set(bool* flag) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            *flag = true;
        }
        ready_.notify_all();
    }
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<Strip*> strips_;
    bool closed_ = false, aborted_ = false;
};

}  // namespace

bool runStripPipeline(int height, int stripRows, int buffers, const StripStages& stages, std::string* error) {
    std::vector<Strip> strips(static_cast<std::size_t>(std::max(1, buffers)));
    StripQueue empty, decoded, corrected;
    for (Strip& s : strips) empty.push(&s);
    auto abortAll = [&] {
        empty.abort();
        decoded.abort();
        corrected.abort();
    };
    const int step = std::max(1, stripRows);
    std::string readError, correctError, writeError;
    bool readOk = true, correctOk = true, writeOk = true;
    std::thread reader([&] {
        for (int y = 0; y < height; y += step) {
            Strip* s = empty.pop();
            if (s == nullptr) break;
            s->first = y;
            s->rows = std::min(step, height - y);
            if (!(readOk = stages.read(*s, &readError))) {
                abortAll();
                break;
            }
            decoded.push(s);
        }
        decoded.close();
    });
    std::thread writer([&] {
        while (Strip* s = corrected.pop()) {
            if (!(writeOk = stages.write(*s, &writeError))) {
                abortAll();
                break;
            }
            empty.push(s);
        }
    });
    std::exception_ptr thrown;
    try {
        while (Strip* s = decoded.pop()) {
            if (!(correctOk = stages.correct(*s, &correctError))) {
                abortAll();
                break;
            }
            corrected.push(s);
        }
    } catch (...) {
        thrown = std::current_exception();
        abortAll();
    }
    corrected.close();
    reader.join();
    writer.join();
    if (thrown) std::rethrow_exception(thrown);
    if (!readOk) *error = readError;
    else if (!correctOk) *error = correctError;
    else if (!writeOk) *error = writeError;
    return readOk && correctOk && writeOk;
}

}  // namespace aucal
