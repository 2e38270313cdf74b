// aucal trace show FILE: what a scanner session trace holds (see
// simulator/trace/trace.h): its dialect and library, then every call with
// its timing, and the data that crossed.
#include <cstdio>

#include "command_registry.h"
#include "commands.h"
#include "trace.h"

namespace aucal {

namespace {

int showTrace(const std::string& path) {
    sim::trace::Trace trace;
    std::string error;
    if (!sim::trace::read(path, &trace, &error)) return fail(error);
    std::size_t sent = 0, received = 0;
    for (const sim::trace::Call& c : trace.calls)
        for (const sim::trace::Segment& s : c.data)
            (s.direction == sim::trace::Direction::ToScanner ? sent : received) += s.bytes.size();
    std::printf("%s: trace version %u, %s dialect, recorded through %s\n", path.c_str(), trace.header.version,
                sim::dialectName(trace.header.dialect), trace.header.library.c_str());
    std::printf("%zu calls; data handed to the scanner %zu bytes, from the scanner %zu bytes\n", trace.calls.size(),
                sent, received);
    for (std::size_t i = 0; i < trace.calls.size(); ++i)
        std::printf("%4zu  %s\n", i + 1, sim::trace::describe(trace.calls[i]).c_str());
    return 0;
}

AddedCommand addTrace(CLI::App& app, const CommonOptions&) {
    auto path = std::make_shared<std::string>();
    auto* cmd = app.add_subcommand("trace", "scanner session traces (recorded by the recording pass-through library)")
                    ->require_subcommand(1);
    cmd->add_subcommand("show", "list the calls of a trace")->add_option("file", *path, "the trace")->required();
    return {cmd, [path] { return showTrace(*path); }};
}

const RegisterCommand registered(75, addTrace);

}  // namespace

}  // namespace aucal
