// The resource script's tokens: the script split into names, numbers,
// strings and punctuation, with the preprocessor lines the scripts use
// (#include of headers for their #defines, #define, #pragma code_page(1252))
// carried out and #defined names expanded where they are used.
#ifndef SCANNER_DRIVER_RESOURCES_GENERATOR_SCRIPT_LEXER_H
#define SCANNER_DRIVER_RESOURCES_GENERATOR_SCRIPT_LEXER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "resource_script.h"

namespace rcgen {

enum class Tok { End, Name, Number, String, Punct };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // name, punctuation, or string bytes
    std::int64_t number = 0;
    int line = 0;
};

class Failure {
public:
    Failure(int line, std::string what) : line_(line), what_(std::move(what)) {}
    std::string message() const { return "line " + std::to_string(line_) + ": " + what_; }

private:
    int line_;
    std::string what_;
};

// The script's tokens; throws Failure at the first problem.
std::vector<Token> tokenize(const std::string& text, const IncludeReader& readInclude);

}  // namespace rcgen

#endif
