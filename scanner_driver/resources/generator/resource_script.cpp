// The statements of the resource script (STRINGTABLE, DIALOG) read from its
// tokens (script_lexer.cpp), and the table written out for the POSIX stand-in.
#include "resource_script.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "script_lexer.h"

namespace rcgen {
namespace {

// Style and id names the scripts use, with their Windows values.
const std::map<std::string, std::uint32_t>& knownNames() {
    static const std::map<std::string, std::uint32_t> names = {
        {"WS_POPUP", 0x80000000u},
        {"WS_CHILD", 0x40000000u},
        {"WS_VISIBLE", 0x10000000u},
        {"WS_DISABLED", 0x08000000u},
        {"WS_CAPTION", 0x00C00000u},
        {"WS_BORDER", 0x00800000u},
        {"WS_DLGFRAME", 0x00400000u},
        {"WS_VSCROLL", 0x00200000u},
        {"WS_HSCROLL", 0x00100000u},
        {"WS_SYSMENU", 0x00080000u},
        {"WS_GROUP", 0x00020000u},
        {"WS_TABSTOP", 0x00010000u},
        {"DS_MODALFRAME", 0x80u},
        {"DS_SETFONT", 0x40u},
        {"DS_CENTER", 0x800u},
        {"SS_LEFT", 0x0u},
        {"SS_CENTER", 0x1u},
        {"SS_RIGHT", 0x2u},
        {"SS_BLACKFRAME", 0x7u},
        {"SS_GRAYFRAME", 0x8u},
        {"BS_PUSHBUTTON", 0x0u},
        {"BS_DEFPUSHBUTTON", 0x1u},
        {"BS_RADIOBUTTON", 0x4u},
        {"BS_GROUPBOX", 0x7u},
        {"BS_AUTORADIOBUTTON", 0x9u},
        {"SBS_HORZ", 0x0u},
        {"SBS_VERT", 0x1u},
        {"ES_LEFT", 0x0u},
        {"ES_AUTOHSCROLL", 0x80u},
        {"IDOK", 1u},
        {"IDCANCEL", 2u},
    };
    return names;
}

constexpr std::uint32_t kWsChild = 0x40000000u;
constexpr std::uint32_t kWsVisible = 0x10000000u;
constexpr std::uint32_t kDsSetFont = 0x40u;

class Parser {
public:
    explicit Parser(const std::vector<Token>& tokens) : t_(tokens) {}

    Script parse() {
        Script s;
        std::set<std::uint32_t> ids;
        while (!atEnd()) {
            if (isName("STRINGTABLE")) {
                next();
                stringTable(s, ids);
            } else if (isName("LANGUAGE")) {
                next();
                language();
            } else {
                dialog(s);
            }
        }
        std::sort(s.strings.begin(), s.strings.end(),
                  [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; });
        return s;
    }

private:
    bool atEnd() const { return p_ >= t_.size(); }
    const Token& peek() const {
        static const Token end{};
        return atEnd() ? end : t_[p_];
    }
    int line() const { return atEnd() ? (t_.empty() ? 0 : t_.back().line) : t_[p_].line; }
    const Token& next() {
        if (atEnd()) throw Failure(line(), "unexpected end of script");
        return t_[p_++];
    }
    bool isName(const char* n) const { return peek().kind == Tok::Name && peek().text == n; }
    bool isPunct(const char* p) const { return peek().kind == Tok::Punct && peek().text == p; }
    void expect(const char* p) {
        if (!isPunct(p)) throw Failure(line(), std::string("expected '") + p + "'");
        next();
    }
    void begin() {
        if (isName("BEGIN") || isPunct("{")) {
            next();
            return;
        }
        throw Failure(line(), "expected BEGIN");
    }
    bool end() {
        if (isName("END") || isPunct("}")) {
            next();
            return true;
        }
        return false;
    }
    std::string string() {
        if (peek().kind != Tok::String) throw Failure(line(), "expected a string");
        return next().text;
    }

    // Expressions: numbers and known names joined by |, +, - ; unary -, ~,
    // and NOT (which, in a style, clears the bits from what came before).
    std::int64_t primary() {
        const Token& tok = next();
        if (tok.kind == Tok::Number) return tok.number;
        if (tok.kind == Tok::Name) {
            auto it = knownNames().find(tok.text);
            if (it == knownNames().end()) throw Failure(tok.line, "unknown name " + tok.text);
            return it->second;
        }
        if (tok.kind == Tok::Punct && tok.text == "(") {
            std::int64_t v = expression();
            expect(")");
            return v;
        }
        if (tok.kind == Tok::Punct && tok.text == "-") return -primary();
        if (tok.kind == Tok::Punct && tok.text == "~") return ~primary() & 0xFFFFFFFFll;
        throw Failure(tok.line, "expected a number");
    }
    std::int64_t expression() {
        std::int64_t v = primary();
        while (isPunct("|") || isPunct("+") || isPunct("-")) {
            std::string op = next().text;
            std::int64_t r = primary();
            v = op == "|" ? (v | r) : op == "+" ? v + r : v - r;
        }
        return v;
    }
    std::uint32_t style(std::uint32_t base) {
        std::uint32_t v = base;
        bool first = true;
        while (first || isPunct("|")) {
            if (!first) next();
            first = false;
            if (isName("NOT")) {
                next();
                v &= ~static_cast<std::uint32_t>(primary());
            } else {
                v |= static_cast<std::uint32_t>(primary());
            }
        }
        return v;
    }
    std::int16_t coordinate() {
        std::int64_t v = expression();
        if (v < -32768 || v > 32767) throw Failure(line(), "coordinate out of range");
        return static_cast<std::int16_t>(v);
    }

    // x, y, width, height in dialog units.
    void rectangle(std::int16_t& x, std::int16_t& y, std::int16_t& cx, std::int16_t& cy) {
        x = coordinate();
        expect(",");
        y = coordinate();
        expect(",");
        cx = coordinate();
        expect(",");
        cy = coordinate();
    }
    // LANGUAGE primary, sub: the scripts hold one language, so it is read and dropped.
    void language() {
        expression();
        expect(",");
        expression();
    }

    void stringTable(Script& s, std::set<std::uint32_t>& ids) {
        while (!isName("BEGIN") && !isPunct("{")) {  // memory options, LANGUAGE
            if (atEnd()) throw Failure(line(), "expected BEGIN");
            next();
        }
        begin();
        while (!end()) {
            int l = line();
            std::int64_t id = expression();
            if (id < 0 || id > 0xFFFF) throw Failure(l, "string id out of range");
            if (isPunct(",")) next();
            std::string text = string();
            while (peek().kind == Tok::String) text += next().text;
            if (!ids.insert(static_cast<std::uint32_t>(id)).second)
                throw Failure(l, "string id " + std::to_string(id) + " defined twice");
            for (unsigned char c : text)
                if (c >= 0x80 && c <= 0x9F)
                    throw Failure(l, "byte 0x80..0x9F in string " + std::to_string(id) +
                                         ": it would not come back unchanged through code page 1252");
            if (text.size() > 4096) throw Failure(l, "string too long");
            if (!text.empty()) s.strings.push_back(StringEntry{static_cast<std::uint32_t>(id), text});
        }
    }

    void dialog(Script& s) {
        DialogEntry d;
        int l = line();
        const Token& name = next();
        if (name.kind == Tok::Number) {
            if (name.number <= 0 || name.number > 0xFFFF) throw Failure(l, "dialog id out of range");
            d.id = static_cast<std::uint32_t>(name.number);
        } else if (name.kind == Tok::Name || name.kind == Tok::String) {
            d.name = name.text;
            std::transform(d.name.begin(), d.name.end(), d.name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        } else {
            throw Failure(l, "expected a statement");
        }
        if (!isName("DIALOG") && !isName("DIALOGEX"))
            throw Failure(line(), "only STRINGTABLE and DIALOG are supported");
        next();
        while (peek().kind == Tok::Name && !isName("BEGIN")) next();  // memory options
        rectangle(d.x, d.y, d.cx, d.cy);
        bool styled = false;
        for (;;) {
            if (isName("STYLE")) {
                next();
                d.style = style(0);
                styled = true;
            } else if (isName("EXSTYLE")) {
                next();
                style(0);
            } else if (isName("CAPTION")) {
                next();
                d.caption = string();
            } else if (isName("FONT")) {
                next();
                std::int64_t points = expression();
                if (points <= 0 || points > 72) throw Failure(line(), "font size out of range");
                d.fontPoints = static_cast<std::uint16_t>(points);
                expect(",");
                d.fontName = string();
            } else if (isName("LANGUAGE")) {
                next();
                language();
            } else {
                break;
            }
        }
        // Without STYLE a dialog is a bordered popup with a system menu.
        if (!styled) d.style = 0x80000000u | 0x00800000u | 0x00080000u;
        if (!d.fontName.empty()) d.style |= kDsSetFont;
        begin();
        while (!end()) {
            if (!isName("CONTROL")) throw Failure(line(), "only CONTROL items are supported");
            next();
            ControlEntry c;
            c.text = string();
            expect(",");
            std::int64_t id = expression();
            if (id < -32768 || id > 0xFFFF) throw Failure(line(), "item id out of range");
            c.id = static_cast<std::int32_t>(id);
            expect(",");
            const Token& cls = next();
            if (cls.kind != Tok::String && cls.kind != Tok::Name) throw Failure(cls.line, "expected a class name");
            c.windowClass = cls.text;
            std::transform(c.windowClass.begin(), c.windowClass.end(), c.windowClass.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
            expect(",");
            c.style = style(kWsChild | kWsVisible);
            expect(",");
            rectangle(c.x, c.y, c.cx, c.cy);
            if (isPunct(",")) {
                next();
                style(0);
            }
            d.controls.push_back(c);
        }
        for (const DialogEntry& other : s.dialogs)
            if (other.id == d.id && other.name == d.name) throw Failure(l, "dialog defined twice");
        s.dialogs.push_back(d);
    }

    const std::vector<Token>& t_;
    std::size_t p_ = 0;
};

std::string cString(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F && c != '?') {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\%03o", c);
            out += esc;
        }
    }
    return out + "\"";
}

}  // namespace

ParseResult parseScript(const std::string& text, const IncludeReader& readInclude) {
    ParseResult r;
    try {
        const std::vector<Token> tokens = tokenize(text, readInclude);
        r.script = Parser(tokens).parse();
        r.ok = true;
    } catch (const Failure& f) {
        r.error = f.message();
    }
    return r;
}

std::string emitTable(const Script& script, const std::string& symbol, const std::string& sourceName) {
    std::ostringstream o;
    o << "// Generated from " << sourceName << " at build time; edit the script, not this file.\n"
      << "#include \"platform/resource_table_posix.h\"\n\nnamespace {\n\n";
    if (!script.strings.empty()) {
        o << "const PfStringResource kStrings[] = {\n";
        for (const StringEntry& s : script.strings)
            o << "    {" << s.id << "u, " << cString(s.bytes) << ", " << s.bytes.size() << "u},\n";
        o << "};\n\n";
    }
    for (std::size_t i = 0; i < script.dialogs.size(); ++i) {
        const DialogEntry& d = script.dialogs[i];
        if (d.controls.empty()) continue;
        o << "const PfDialogItemResource kItems" << i << "[] = {\n";
        for (const ControlEntry& c : d.controls)
            o << "    {" << c.id << ", " << cString(c.windowClass) << ", " << cString(c.text) << ", 0x" << std::hex
              << c.style << std::dec << "u, " << c.x << ", " << c.y << ", " << c.cx << ", " << c.cy << "},\n";
        o << "};\n\n";
    }
    if (!script.dialogs.empty()) {
        o << "const PfDialogResource kDialogs[] = {\n";
        for (std::size_t i = 0; i < script.dialogs.size(); ++i) {
            const DialogEntry& d = script.dialogs[i];
            o << "    {" << (d.name.empty() ? std::string("nullptr") : cString(d.name)) << ", " << d.id << "u, 0x"
              << std::hex << d.style << std::dec << "u, " << d.x << ", " << d.y << ", " << d.cx << ", " << d.cy << ", "
              << cString(d.caption) << ", " << (d.fontName.empty() ? std::string("nullptr") : cString(d.fontName))
              << ", " << d.fontPoints << ", "
              << (d.controls.empty() ? std::string("nullptr") : "kItems" + std::to_string(i)) << ", "
              << d.controls.size() << "u},\n";
        }
        o << "};\n\n";
    }
    o << "}  // namespace\n\n"
      << "extern \"C\" const PfResourceTable " << symbol << ";\n"
      << "extern \"C\" const PfResourceTable " << symbol << " = {" << (script.strings.empty() ? "nullptr" : "kStrings")
      << ", " << script.strings.size() << "u, " << (script.dialogs.empty() ? "nullptr" : "kDialogs") << ", "
      << script.dialogs.size() << "u};\n";
    return o.str();
}

}  // namespace rcgen
