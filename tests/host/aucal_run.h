// Running the built aucal as a person does: its exit status and everything it
// printed (standard output and error together).
#ifndef TESTS_HOST_AUCAL_RUN_H
#define TESTS_HOST_AUCAL_RUN_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testsupport {

struct CliRun {
    int status;
    std::string output;
};

inline CliRun runAucal(const std::string& args) {
    const std::string command = std::string(AUCAL_BINARY) + " " + args + " 2>&1";
    CliRun r{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) r.output += buffer;
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

}  // namespace testsupport

#endif
