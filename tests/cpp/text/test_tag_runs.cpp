#include <gtest/gtest.h>

#include <string>

#include "text/tag_runs.h"

namespace {

// Visible runs shown in [brackets], so a case reads as the split it expects.
std::string marked(const std::string& text, TagSyntax syntax) {
    return rewriteVisibleRuns(text, syntax, [](const std::string& run) { return "[" + run + "]"; });
}

TEST(TagRuns, RulesSeeOnlyTheVisibleTextBetweenProtectedPieces) {
    const struct {
        TagSyntax syntax;
        std::string text;
        std::string expected;
    } cases[] = {
        {TagSyntax::None, "{\\i1}a\\Nb", "[{\\i1}a\\Nb]"},
        {TagSyntax::Ass, "{\\pos(640,60)}Yui-chan.\\NSenpai{\\i0}", "{\\pos(640,60)}[Yui-chan.]\\N[Senpai]{\\i0}"},
        {TagSyntax::Ass, "a\\hb\\nc\\Td", "[a]\\h[b]\\n[c\\Td]"},
        {TagSyntax::Ass, "{\\p1}m 0 0 l 10 10{\\p0}after", "{\\p1}m 0 0 l 10 10{\\p0}[after]"},
        {TagSyntax::Ass, "{\\pos(1,2)\\p2}m 0 0{\\c&H0&}l 5 5", "{\\pos(1,2)\\p2}m 0 0{\\c&H0&}l 5 5"},
        {TagSyntax::Ass, "{\\pbo5}text{\\p00}more", "{\\pbo5}[text]{\\p00}[more]"},
        {TagSyntax::Ass, "words {unclosed \\pos", "[words ]{unclosed \\pos"},
        {TagSyntax::Ass, "", ""},
        {TagSyntax::SubRip, "<i>the</i> <font color=\"red\">end</FONT>{\\an8}!",
         "<i>[the]</i>[ ]<font color=\"red\">[end]</FONT>{\\an8}[!]"},
        {TagSyntax::SubRip, "2<3,5>1 <image> <i", "[2<3,5>1 <image> <i]"},
        {TagSyntax::WebVtt, "<v.loud Old Tomas>Who's <I>there</I>?</v>",
         "<v.loud Old Tomas>[Who's ]<I>[there]</I>[?]</v>"},
        {TagSyntax::WebVtt, "so<00:00:01.500><c> far</c><01:02.000><c.yellow.bg_blue> so</c>",
         "[so]<00:00:01.500><c>[ far]</c><01:02.000><c.yellow.bg_blue>[ so]</c>"},
        {TagSyntax::WebVtt, "<lang ja><ruby>灯台<rt>とうだい</rt></ruby></lang>",
         "<lang ja><ruby>[灯台]<rt>[とうだい]</rt></ruby></lang>"},
        {TagSyntax::WebVtt, "2 < 3 <3 you> <1:02.000> <100:00:00.000>{\\an8} x<y<b>z",
         "[2 < 3 <3 you> <1:02.000> ]<100:00:00.000>[{\\an8} x<y]<b>[z]"},
    };
    for (const auto& c : cases) EXPECT_EQ(marked(c.text, c.syntax), c.expected) << c.text;
}

}  // namespace
