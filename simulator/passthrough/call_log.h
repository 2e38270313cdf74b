// The call log: one text line per event, appended to the scenario's log file
// and closed again at once, so that a test can read it while the library is
// still loaded and nothing stays open.
#ifndef SIMULATOR_PASSTHROUGH_CALL_LOG_H
#define SIMULATOR_PASSTHROUGH_CALL_LOG_H

#include <cstdint>
#include <string>

namespace sim {

// "WORD key=value key=value ...", values in decimal.
class LogLine {
public:
    explicit LogLine(const char* word) : text_(word) {}
    LogLine& add(const char* key, std::uint64_t value);
    LogLine& add(const char* key, const std::string& value);
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

class CallLog {
public:
    void open(const std::string& path) { path_ = path; }
    void write(const LogLine& line) const;

private:
    std::string path_;
};

}  // namespace sim

#endif
