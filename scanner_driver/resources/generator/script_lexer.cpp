#include "script_lexer.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace rcgen {
namespace {

bool isOctal(char c) { return c >= '0' && c <= '7'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits the script into tokens, carrying out the preprocessor lines that
// the scripts use and expanding #defined names.
class Lexer {
public:
    Lexer(const std::string& text, const IncludeReader& readInclude) : readInclude_(readInclude) { lex(text, 1, true); }
    const std::vector<Token>& tokens() const { return tokens_; }

private:
    void define(const std::string& line, int lineNo) {
        std::istringstream in(line);
        std::string name;
        in >> name;
        std::string value;
        std::getline(in, value);
        std::size_t comment = value.find("//");
        if (comment != std::string::npos) value.erase(comment);
        if (name.empty() || name.find('(') != std::string::npos) throw Failure(lineNo, "unsupported #define " + name);
        defines_[name] = value;
    }

    void directive(const std::string& line, int lineNo, bool script) {
        std::string body = line.substr(line.find('#') + 1);
        std::istringstream in(body);
        std::string word;
        in >> word;
        std::string rest;
        std::getline(in, rest);
        if (word == "define") {
            define(rest, lineNo);
        } else if (!script) {
            return;  // headers: only their #defines matter here
        } else if (word == "include") {
            std::size_t open = rest.find('"');
            if (open == std::string::npos) return;  // <system headers>: the names are known
            std::size_t close = rest.find('"', open + 1);
            std::string name = rest.substr(open + 1, close - open - 1);
            std::optional<std::string> included = readInclude_ ? readInclude_(name) : std::nullopt;
            if (!included) throw Failure(lineNo, "cannot read include \"" + name + "\"");
            lex(*included, 1, false);
        } else if (word == "pragma") {
            std::string p = rest;
            p.erase(std::remove_if(p.begin(), p.end(), [](unsigned char c) { return std::isspace(c); }), p.end());
            if (p != "code_page(1252)") throw Failure(lineNo, "only #pragma code_page(1252) is supported");
        } else {
            throw Failure(lineNo, "unsupported directive #" + word);
        }
    }

    void lex(const std::string& text, int line, bool script) {
        std::size_t i = 0;
        bool lineStart = true;
        while (i < text.size()) {
            char c = text[i];
            if (c == '\n') {
                ++line;
                ++i;
                lineStart = true;
                continue;
            }
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
                continue;
            }
            if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
                while (i < text.size() && text[i] != '\n') ++i;
                continue;
            }
            if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
                std::size_t end = text.find("*/", i + 2);
                if (end == std::string::npos) throw Failure(line, "unterminated comment");
                line += static_cast<int>(std::count(text.begin() + i, text.begin() + end, '\n'));
                i = end + 2;
                continue;
            }
            if (c == '#' && lineStart) {
                std::size_t end = text.find('\n', i);
                if (end == std::string::npos) end = text.size();
                directive(text.substr(i, end - i), line, script);
                i = end;
                continue;
            }
            lineStart = false;
            if (!script) {  // in headers only the directives count
                while (i < text.size() && text[i] != '\n') ++i;
                continue;
            }
            if (c == '"') {
                i = lexString(text, i, line);
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                i = lexNumber(text, i, line);
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                std::size_t b = i;
                while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) ++i;
                name(text.substr(b, i - b), line);
            } else if (std::string(",|()+-~{}").find(c) != std::string::npos) {
                tokens_.push_back(Token{Tok::Punct, std::string(1, c), 0, line});
                ++i;
            } else {
                throw Failure(line, std::string("unexpected character '") + c + "'");
            }
        }
    }

    void name(const std::string& n, int line) {
        auto d = defines_.find(n);
        if (d == defines_.end()) {
            tokens_.push_back(Token{Tok::Name, n, 0, line});
            return;
        }
        if (depth_ > 16) throw Failure(line, "#define of " + n + " does not end");
        // The value is lexed as script text at the place of use.
        Lexer sub(*this);
        sub.depth_ = depth_ + 1;
        sub.tokens_.clear();
        sub.lex(d->second, line, true);
        for (Token& t : sub.tokens_) {
            t.line = line;
            tokens_.push_back(t);
        }
    }

    std::size_t lexNumber(const std::string& text, std::size_t i, int line) {
        std::int64_t v = 0;
        if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            i += 2;
            if (i >= text.size() || hexValue(text[i]) < 0) throw Failure(line, "bad hexadecimal number");
            while (i < text.size() && hexValue(text[i]) >= 0) v = v * 16 + hexValue(text[i++]);
        } else {
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) v = v * 10 + (text[i++] - '0');
        }
        while (i < text.size() && (text[i] == 'L' || text[i] == 'l' || text[i] == 'U' || text[i] == 'u')) ++i;
        if (v > 0xFFFFFFFFll) throw Failure(line, "number out of range");
        tokens_.push_back(Token{Tok::Number, "", v, line});
        return i;
    }

    std::size_t lexString(const std::string& text, std::size_t i, int line) {
        std::string bytes;
        ++i;
        for (;;) {
            if (i >= text.size() || text[i] == '\n') throw Failure(line, "unterminated string");
            char c = text[i];
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {  // "" stands for one quote
                    bytes += '"';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            if (c != '\\') {
                bytes += c;
                ++i;
                continue;
            }
            if (i + 1 >= text.size()) throw Failure(line, "unterminated string");
            char e = text[i + 1];
            i += 2;
            switch (e) {
                case 'n': bytes += '\n'; break;
                case 't': bytes += '\t'; break;
                case 'r': bytes += '\r'; break;
                case 'a': bytes += '\a'; break;
                case '\\': bytes += '\\'; break;
                case '"': bytes += '"'; break;
                case 'x': {
                    int v = 0, n = 0;
                    while (n < 2 && i < text.size() && hexValue(text[i]) >= 0) v = v * 16 + hexValue(text[i++]), ++n;
                    if (n == 0) throw Failure(line, "\\x without digits");
                    bytes += static_cast<char>(v);
                    break;
                }
                default:
                    if (!isOctal(e)) throw Failure(line, std::string("unknown escape \\") + e);
                    int v = e - '0', n = 1;
                    while (n < 3 && i < text.size() && isOctal(text[i])) v = v * 8 + (text[i++] - '0'), ++n;
                    if (v > 0xFF) throw Failure(line, "octal escape above \\377");
                    bytes += static_cast<char>(v);
            }
        }
        tokens_.push_back(Token{Tok::String, bytes, 0, line});
        return i;
    }

    IncludeReader readInclude_;
    std::map<std::string, std::string> defines_;
    std::vector<Token> tokens_;
    int depth_ = 0;
};

}  // namespace

std::vector<Token> tokenize(const std::string& text, const IncludeReader& readInclude) {
    return Lexer(text, readInclude).tokens();
}

}  // namespace rcgen
