// Reads the subset of the resource script language that the drivers'
// resources use (STRINGTABLE; DIALOG with STYLE, EXSTYLE, CAPTION, FONT and
// generic CONTROL items; #include of headers for their #defines; #pragma
// code_page(1252)) and writes it out as a table for the POSIX platform
// stand-in. windres compiles the same script for Windows, so the two readings
// must agree: string escapes take at most three octal or two hexadecimal
// digits, "" is a quote, controls start from WS_CHILD | WS_VISIBLE and NOT
// clears a style bit.
#ifndef SCANNER_DRIVER_RESOURCES_GENERATOR_RESOURCE_SCRIPT_H
#define SCANNER_DRIVER_RESOURCES_GENERATOR_RESOURCE_SCRIPT_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rcgen {

struct StringEntry {
    std::uint32_t id = 0;
    std::string bytes;  // 8-bit text as stored
};

struct ControlEntry {
    std::string text;
    std::int32_t id = 0;
    std::string windowClass;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogEntry {
    std::string name;      // empty for a numbered template
    std::uint32_t id = 0;  // 0 for a named template
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    std::string fontName;
    std::uint16_t fontPoints = 0;
    std::vector<ControlEntry> controls;
};

struct Script {
    std::vector<StringEntry> strings;  // ascending ids, empty texts left out
    std::vector<DialogEntry> dialogs;
};

struct ParseResult {
    bool ok = false;
    std::string error;  // "line N: what"
    Script script;
};

// Returns the text of an included file ("name" includes only), or nothing
// when it cannot be found.
using IncludeReader = std::function<std::optional<std::string>(const std::string& name)>;

ParseResult parseScript(const std::string& text, const IncludeReader& readInclude);

// C++ source defining `extern "C" const PfResourceTable <symbol>`.
std::string emitTable(const Script& script, const std::string& symbol, const std::string& sourceName);

}  // namespace rcgen

#endif
