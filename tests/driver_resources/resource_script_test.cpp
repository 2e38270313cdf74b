// The resource script reader: the string escapes and styles read as windres
// reads them, the checks that keep texts safe for the 8-bit table, and the
// table it writes.
#include "resource_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

rcgen::ParseResult parse(const std::string& script, const std::map<std::string, std::string>& includes = {}) {
    return rcgen::parseScript(script, [&](const std::string& name) -> std::optional<std::string> {
        auto it = includes.find(name);
        if (it == includes.end()) return std::nullopt;
        return it->second;
    });
}

std::string onlyString(const std::string& literal) {
    rcgen::ParseResult r = parse("STRINGTABLE\nBEGIN\n  1, " + literal + "\nEND\n");
    EXPECT_TRUE(r.ok) << r.error;
    return r.ok && r.script.strings.size() == 1 ? r.script.strings[0].bytes : "<none>";
}

TEST(ResourceScript, StringEscapesTakeAtMostThreeOctalOrTwoHexDigits) {
    EXPECT_EQ(onlyString(R"("Aufw\344rmen")"), "Aufw\xE4rmen");
    EXPECT_EQ(onlyString(R"("\1234")"), "S4");
    EXPECT_EQ(onlyString(R"("\xe4B")"),
              "\xE4"
              "B");
    EXPECT_EQ(onlyString(R"("a""b\"c")"), "a\"b\"c");
    EXPECT_EQ(onlyString(R"(" line\n \\ tab\t")"), " line\n \\ tab\t");
    EXPECT_EQ(onlyString(R"("\274g\244J")"), "\xBCg\xA4J");  // Big5 lead byte, ASCII trail byte
}

TEST(ResourceScript, BytesTheCodePageWouldChangeAreRefused) {
    rcgen::ParseResult r = parse("STRINGTABLE\nBEGIN\n  1, \"ok\"\n  2, \"\\201x\"\nEND\n");
    ASSERT_FALSE(r.ok);
    EXPECT_NE(r.error.find("line 4"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("0x80..0x9F"), std::string::npos) << r.error;
}

TEST(ResourceScript, StringIdsAreUniqueSortedAndEmptyTextsLeftOut) {
    rcgen::ParseResult r = parse("STRINGTABLE\nBEGIN\n  30, \"b\"\n  2 \"a\"\n  31, \"\"\nEND\n");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.script.strings.size(), 2u);
    EXPECT_EQ(r.script.strings[0].id, 2u);
    EXPECT_EQ(r.script.strings[1].id, 30u);

    r = parse("STRINGTABLE\nBEGIN\n  2, \"a\"\n  2, \"b\"\nEND\n");
    ASSERT_FALSE(r.ok);
    EXPECT_NE(r.error.find("twice"), std::string::npos) << r.error;
}

TEST(ResourceScript, ControlsStartVisibleChildrenAndNotClearsABit) {
    rcgen::ParseResult r = parse(
        "#include <windows.h>\n"
        "300 DIALOG 18, 18, 107, 40\nSTYLE WS_POPUP | WS_VISIBLE | WS_DLGFRAME | WS_SYSMENU\n"
        "FONT 8, \"MS Sans Serif\"\nBEGIN\n"
        "  CONTROL \"\", 301, \"Static\", SS_BLACKFRAME | NOT WS_VISIBLE, 19, 10, 68, 20\n"
        "  CONTROL \"&OK\", IDOK, Button, BS_DEFPUSHBUTTON, -1, 2, 3, 4\n"
        "END\n");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.script.dialogs.size(), 1u);
    const rcgen::DialogEntry& d = r.script.dialogs[0];
    EXPECT_EQ(d.id, 300u);
    EXPECT_EQ(d.style, 0x90480040u);  // with DS_SETFONT for the FONT line
    EXPECT_EQ(d.fontPoints, 8);
    EXPECT_EQ(d.fontName, "MS Sans Serif");
    ASSERT_EQ(d.controls.size(), 2u);
    EXPECT_EQ(d.controls[0].style, 0x40000007u);
    EXPECT_EQ(d.controls[0].windowClass, "STATIC");
    EXPECT_EQ(d.controls[0].cx, 68);
    EXPECT_EQ(d.controls[1].id, 1);
    EXPECT_EQ(d.controls[1].style, 0x50000001u);
    EXPECT_EQ(d.controls[1].x, -1);
}

TEST(ResourceScript, NamedDialogsAndDefaultStyles) {
    rcgen::ParseResult r = parse("prescanl DIALOG 0, 0, 10, 10\nCAPTION \"Prescan Length\"\nBEGIN\nEND\n");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.script.dialogs.size(), 1u);
    EXPECT_EQ(r.script.dialogs[0].name, "PRESCANL");
    EXPECT_EQ(r.script.dialogs[0].id, 0u);
    EXPECT_EQ(r.script.dialogs[0].style, 0x80880000u);  // WS_POPUP | WS_BORDER | WS_SYSMENU
    EXPECT_EQ(r.script.dialogs[0].caption, "Prescan Length");
}

TEST(ResourceScript, HeaderDefinesNameIdsAndMistakesAreReportedWithTheirLine) {
    const std::map<std::string, std::string> headers = {
        {"ids.h", "// ids\n#define POPUP 300\n#define FRAME 301 // the frame\nextern int ignored;\n"}};
    rcgen::ParseResult r = parse(
        "#include \"ids.h\"\nPOPUP DIALOG 0, 0, 1, 1\nBEGIN\n  CONTROL \"\", FRAME, \"Static\", 0, 0, 0, 1, 1\nEND\n",
        headers);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.script.dialogs[0].id, 300u);
    EXPECT_EQ(r.script.dialogs[0].controls[0].id, 301);

    r = parse("#include \"missing.h\"\n");
    EXPECT_FALSE(r.ok);
    r = parse("#pragma code_page(65001)\n");
    EXPECT_FALSE(r.ok);
    r = parse("\n\n1 DIALOG 0, 0, 1, 1\nSTYLE WS_POPUP | WS_NOSUCH\nBEGIN\nEND\n");
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error, "line 4: unknown name WS_NOSUCH");
    r = parse("STRINGTABLE\nBEGIN\n  1, \"open\nEND\n");
    EXPECT_FALSE(r.ok);
    r = parse("#define LOOP LOOP\nSTRINGTABLE\nBEGIN\n LOOP, \"x\"\nEND\n");
    EXPECT_FALSE(r.ok);
}

TEST(ResourceScript, TheTableEscapesEveryByteThatIsNotPlainText) {
    rcgen::Script s;
    s.strings.push_back(rcgen::StringEntry{268, "Aufw\xE4rmen...\"\\?"});
    const std::string out = rcgen::emitTable(s, "someTable", "x.rc");
    EXPECT_NE(out.find(R"({268u, "Aufw\344rmen...\"\\\077", 15u})"), std::string::npos) << out;
    EXPECT_NE(out.find("extern \"C\" const PfResourceTable someTable = {kStrings, 1u, nullptr, 0u};"),
              std::string::npos)
        << out;
}

TEST(ResourceScript, TheDriversScriptHoldsSevenFullBlocksAndTwoDialogs) {
    std::ifstream in(DRIVER_RESOURCE_SCRIPT, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    rcgen::ParseResult r = rcgen::parseScript(text.str(), [](const std::string& name) -> std::optional<std::string> {
        std::ifstream h(std::string(DRIVER_RESOURCE_DIR) + "/" + name, std::ios::binary);
        if (!h) return std::nullopt;
        std::stringstream s;
        s << h.rdbuf();
        return s.str();
    });
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.script.strings.size(), 7u * 29u);
    for (const rcgen::StringEntry& e : r.script.strings) {
        EXPECT_GE(e.id % 50, 1u) << e.id;
        EXPECT_LE(e.id % 50, 29u) << e.id;
        EXPECT_LT(e.id, 350u) << e.id;
    }
    ASSERT_EQ(r.script.dialogs.size(), 2u);
    EXPECT_EQ(r.script.dialogs[0].id, 300u);
    EXPECT_EQ(r.script.dialogs[1].name, "PRESCANL");
}

}  // namespace
