// The current time in UTC as text, for what files say about when they were made.
#ifndef AUCAL_UTC_TIME_H
#define AUCAL_UTC_TIME_H

#include <ctime>
#include <string>

namespace aucal {

// format as for strftime, e.g. "%Y-%m-%d".
inline std::string utcNow(const char* format) {
    const std::time_t t = std::time(nullptr);
    // std::gmtime on both systems (gmtime_r is POSIX's): aucal asks for the
    // time from one thread only.
    const std::tm utc = *std::gmtime(&t);
    char text[64];
    return std::strftime(text, sizeof text, format, &utc) > 0 ? text : "";
}

}  // namespace aucal

#endif
