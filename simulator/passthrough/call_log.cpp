#include "call_log.h"

#include <cstdio>

namespace sim {

LogLine& LogLine::add(const char* key, std::uint64_t value) {
    text_ += ' ';
    text_ += key;
    text_ += '=';
    text_ += std::to_string(value);
    return *this;
}

LogLine& LogLine::add(const char* key, const std::string& value) {
    text_ += ' ';
    text_ += key;
    text_ += '=';
    // One token per value: blanks would split it when the log is read back.
    for (char c : value) text_ += (c == ' ' || c == '\t' || c == '\n' || c == '\r') ? '_' : c;
    return *this;
}

void CallLog::write(const LogLine& line) const {
    if (path_.empty()) return;
    std::FILE* file = std::fopen(path_.c_str(), "ab");
    if (file == nullptr) return;
    std::fputs(line.text().c_str(), file);
    std::fputc('\n', file);
    std::fclose(file);
}

}  // namespace sim
