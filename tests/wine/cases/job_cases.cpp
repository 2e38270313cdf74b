// The engine's job state as a host sees it: the progress fraction and the
// stop request, called through their documented (caller-cleans) convention.
#include <cstdint>
#include <cstdio>
#include <string>

#include "crosscheck.h"
#include "qel_cms.h"

CROSSCHECK_CASE(job_done_and_stop) {
    crosscheck::Library engine = crosscheck::loadLibrary("qel_cms");
    // The float result comes back on the x87 stack on 32-bit Windows.
    const float before = crosscheck::callCdecl<float>(engine, "DonePercentage");
    const std::int32_t stop = crosscheck::callCdecl<std::int32_t>(engine, "StopExecution");
    const std::int32_t stopAgain = crosscheck::callCdecl<std::int32_t>(engine, "StopExecution");
    const float after = crosscheck::callCdecl<float>(engine, "DonePercentage");
    crosscheck::check(before == 0.0f && after == 0.0f,
                      "DonePercentage gave " + std::to_string(before) + " and " + std::to_string(after));
    crosscheck::check(stop == 0 && stopAgain == 0, "StopExecution gave " + std::to_string(stop) + ", " +
                                                       std::to_string(stopAgain));
    char text[96];
    std::snprintf(text, sizeof text, "DonePercentage %a\nStopExecution %d %d\nDonePercentage %a\n",
                  static_cast<double>(before), static_cast<int>(stop), static_cast<int>(stopAgain),
                  static_cast<double>(after));
    crosscheck::writeOutput("job/done_and_stop.txt", text, std::char_traits<char>::length(text));
}
