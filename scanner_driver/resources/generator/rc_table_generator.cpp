// Build tool: turns a resource script into the C++ table that the POSIX
// platform stand-in serves.
//   rc_table_generator <script.rc> <output.cpp> <table symbol> [include dir...]
// Included headers are looked up beside the script, then in the include dirs.
#include <fstream>
#include <iostream>
#include <sstream>

#include "resource_script.h"

namespace {

std::optional<std::string> readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string directoryOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: rc_table_generator <script.rc> <output.cpp> <symbol> [include dir...]\n";
        return 2;
    }
    const std::string script = argv[1];
    std::vector<std::string> dirs{directoryOf(script)};
    for (int i = 4; i < argc; ++i) dirs.emplace_back(argv[i]);
    std::optional<std::string> text = readText(script);
    if (!text) {
        std::cerr << script << ": cannot read\n";
        return 1;
    }
    rcgen::ParseResult r = rcgen::parseScript(*text, [&](const std::string& name) -> std::optional<std::string> {
        for (const std::string& d : dirs)
            if (auto t = readText(d + "/" + name)) return t;
        return std::nullopt;
    });
    if (!r.ok) {
        std::cerr << script << ": " << r.error << "\n";
        return 1;
    }
    std::string out = rcgen::emitTable(r.script, argv[3], script.substr(script.find_last_of('/') + 1));
    std::ofstream o(argv[2], std::ios::binary);
    o << out;
    if (!o) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    return 0;
}
