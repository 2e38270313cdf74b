// The table the POSIX build generates from the drivers' resource script must
// hold exactly what windres compiles from it for the Windows DLLs: every
// string (as the 8-bit bytes LoadStringA gives back under code page 1252)
// and both dialog templates, field by field.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "driver_resources.h"

namespace {

struct Reader {
    const std::vector<std::uint8_t>& data;
    std::size_t at;
    std::uint16_t u16() {
        std::uint16_t v = static_cast<std::uint16_t>(data.at(at) | (data.at(at + 1) << 8));
        at += 2;
        return v;
    }
    std::uint32_t u32() {
        std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    // sz_Or_Ord: 0xFFFF and an ordinal, or a zero-terminated UTF-16 string.
    std::string nameOrOrdinal(std::uint16_t* ordinal) {
        *ordinal = 0;
        if (data.at(at) == 0xFF && data.at(at + 1) == 0xFF) {
            at += 2;
            *ordinal = u16();
            return {};
        }
        return text();
    }
    // UTF-16 units below 0x100 back to their bytes; a unit above fails the test.
    std::string text() {
        std::string s;
        for (std::uint16_t u = u16(); u != 0; u = u16()) {
            EXPECT_LT(u, 0x100u) << "a unit LoadStringA would not turn back into one byte";
            s += static_cast<char>(u & 0xFF);
        }
        return s;
    }
    void align4() { at = (at + 3) & ~static_cast<std::size_t>(3); }
};

struct Item {
    std::int32_t id;
    std::string windowClass, text;
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
};
struct Dialog {
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
    std::string caption, font;
    std::uint16_t points;
    std::vector<Item> items;
};

struct Compiled {
    std::map<std::uint32_t, std::string> strings;
    std::map<std::string, Dialog> dialogs;  // "#300" or the name
};

// "#" and a number (built without operator+, which GCC 12 misreads here).
std::string ordinalName(unsigned number) {
    char name[16];
    std::snprintf(name, sizeof name, "#%u", number);
    return name;
}

std::string atomClass(std::uint16_t atom) {
    switch (atom) {
        case 0x80: return "BUTTON";
        case 0x81: return "EDIT";
        case 0x82: return "STATIC";
        case 0x83: return "LISTBOX";
        case 0x84: return "SCROLLBAR";
        case 0x85: return "COMBOBOX";
        default: return ordinalName(atom);
    }
}

Dialog readDialog(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    Reader r{bytes, at};
    Dialog d{};
    d.style = r.u32();
    r.u32();  // extended style
    const std::uint16_t count = r.u16();
    d.x = static_cast<std::int16_t>(r.u16());
    d.y = static_cast<std::int16_t>(r.u16());
    d.cx = static_cast<std::int16_t>(r.u16());
    d.cy = static_cast<std::int16_t>(r.u16());
    std::uint16_t ord = 0;
    r.nameOrOrdinal(&ord);  // menu
    r.nameOrOrdinal(&ord);  // class
    d.caption = r.text();
    if ((d.style & 0x40u) != 0) {  // DS_SETFONT
        d.points = r.u16();
        d.font = r.text();
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        r.align4();
        Item item{};
        item.style = r.u32();
        r.u32();
        item.x = static_cast<std::int16_t>(r.u16());
        item.y = static_cast<std::int16_t>(r.u16());
        item.cx = static_cast<std::int16_t>(r.u16());
        item.cy = static_cast<std::int16_t>(r.u16());
        item.id = static_cast<std::int16_t>(r.u16());
        std::string cls = r.nameOrOrdinal(&ord);
        item.windowClass = ord != 0 ? atomClass(ord) : cls;
        item.text = r.nameOrOrdinal(&ord);
        r.at += r.u16();  // creation data
        d.items.push_back(item);
    }
    return d;
}

Compiled readRes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Compiled c;
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        Reader r{bytes, at};
        const std::uint32_t dataSize = r.u32();
        const std::uint32_t headerSize = r.u32();
        std::uint16_t type = 0, nameOrd = 0;
        r.nameOrOrdinal(&type);
        const std::string name = r.nameOrOrdinal(&nameOrd);
        const std::size_t data = at + headerSize;
        if (type == 6) {  // string table: 16 strings per bundle, bundle n holds ids (n - 1) x 16 ...
            Reader s{bytes, data};
            for (std::uint32_t k = 0; k < 16; ++k) {
                const std::uint16_t length = s.u16();
                std::string text;
                for (std::uint16_t i = 0; i < length; ++i) {
                    const std::uint16_t u = s.u16();
                    EXPECT_LT(u, 0x100u);
                    text += static_cast<char>(u & 0xFF);
                }
                if (length > 0) c.strings[(nameOrd - 1u) * 16u + k] = text;
            }
        } else if (type == 5) {
            c.dialogs[nameOrd != 0 ? ordinalName(nameOrd) : name] = readDialog(bytes, data);
        }
        at = (data + dataSize + 3) & ~static_cast<std::size_t>(3);
    }
    return c;
}

class WindresAgreement : public ::testing::Test {
protected:
    static void SetUpTestSuite() { compiled = new Compiled(readRes(DRIVER_RESOURCES_RES)); }
    static void TearDownTestSuite() { delete compiled; }
    static Compiled* compiled;
};
Compiled* WindresAgreement::compiled = nullptr;

TEST_F(WindresAgreement, EveryStringHasTheSameBytes) {
    ASSERT_EQ(compiled->strings.size(), drvResourceTable.stringCount);
    for (std::uint32_t i = 0; i < drvResourceTable.stringCount; ++i) {
        const PfStringResource& s = drvResourceTable.strings[i];
        auto it = compiled->strings.find(s.id);
        ASSERT_NE(it, compiled->strings.end()) << "id " << s.id;
        EXPECT_EQ(it->second, std::string(s.text, s.length)) << "id " << s.id;
    }
}

TEST_F(WindresAgreement, DialogsMatchFieldByField) {
    ASSERT_EQ(compiled->dialogs.size(), drvResourceTable.dialogCount);
    for (std::uint32_t i = 0; i < drvResourceTable.dialogCount; ++i) {
        const PfDialogResource& g = drvResourceTable.dialogs[i];
        const std::string key = g.name != nullptr ? std::string(g.name) : ordinalName(g.id);
        auto it = compiled->dialogs.find(key);
        ASSERT_NE(it, compiled->dialogs.end()) << key;
        const Dialog& d = it->second;
        EXPECT_EQ(d.style, g.style) << key;
        EXPECT_EQ(d.x, g.x);
        EXPECT_EQ(d.y, g.y);
        EXPECT_EQ(d.cx, g.cx);
        EXPECT_EQ(d.cy, g.cy);
        EXPECT_EQ(d.caption, g.caption) << key;
        EXPECT_EQ(d.font, g.fontName != nullptr ? g.fontName : "") << key;
        EXPECT_EQ(d.points, g.fontPoints) << key;
        ASSERT_EQ(d.items.size(), g.itemCount) << key;
        for (std::uint32_t k = 0; k < g.itemCount; ++k) {
            const PfDialogItemResource& gi = g.items[k];
            const Item& di = d.items[k];
            EXPECT_EQ(di.id, gi.id) << key << " item " << k;
            EXPECT_EQ(di.windowClass, gi.windowClass) << key << " item " << k;
            EXPECT_EQ(di.text, gi.text) << key << " item " << k;
            EXPECT_EQ(di.style, gi.style) << key << " item " << k;
            EXPECT_EQ(di.x, gi.x);
            EXPECT_EQ(di.y, gi.y);
            EXPECT_EQ(di.cx, gi.cx);
            EXPECT_EQ(di.cy, gi.cy);
        }
    }
}

}  // namespace
