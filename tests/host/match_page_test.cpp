// The match page carries the model and output paths into its script as string
// literals: any path must come out intact and unable to end the script.
#include <gtest/gtest.h>

#include <string>

#include "match_page.h"

namespace {

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(MatchPage, PathsBecomeSafeScriptStrings) {
    struct Row {
        aucal::MatchPageSettings settings;
        std::string settingsLine;
    } rows[] = {
        {{"scanner.mdl", ""}, R"(const settings = {model: "scanner.mdl", output: "monitor.blk"};)"},
        {{"", "out/mon.blk"}, R"(const settings = {model: "", output: "out/mon.blk"};)"},
        {{"my \"best\" C:\\scan.mdl", "x.blk"}, R"(const settings = {model: "my \"best\" C:\\scan.mdl", output: "x.blk"};)"},
        {{"</script><b>&.mdl", "a\nb.blk"},
         R"(const settings = {model: "\u003c/script\u003e\u003cb\u003e\u0026.mdl", output: "a\u000ab.blk"};)"},
    };
    for (const Row& row : rows) {
        const std::string html = aucal::matchPageHtml(row.settings);
        EXPECT_EQ(count(html, row.settingsLine), 1u) << row.settingsLine;
        EXPECT_EQ(count(html, "</script>"), 1u) << row.settings.model;
        EXPECT_EQ(html.find("MODEL"), std::string::npos);
    }
}

}  // namespace
