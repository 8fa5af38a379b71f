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
        {TagSyntax::Ass, "{\\pos(1,2)\\p2}m 0 0 {x", "{\\pos(1,2)\\p2}m 0 0 {x"},
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
         "[2 &lt; 3 &lt;3 you&gt; &lt;1:02.000&gt; ]<100:00:00.000>[{\\an8} x&lt;y]<b>[z]"},
    };
    for (const auto& c : cases) EXPECT_EQ(marked(c.text, c.syntax), c.expected) << c.text;
}

// A rule as a plain replacement of every `from` in a run, enough to see what the
// rules are shown and how their text is spelled again.
std::string replacedRuns(const std::string& text, TagSyntax syntax, const std::string& from, const std::string& to) {
    return rewriteVisibleRuns(text, syntax, [&](const std::string& run) {
        std::string result;
        std::size_t at = 0;
        for (std::size_t found; (found = run.find(from, at)) != std::string::npos; at = found + from.size()) {
            result.append(run, at, found - at).append(to);
        }
        return result.append(run, at);
    });
}

TEST(TagRuns, RulesSeeTheCharactersEscapesShowAndTheirTextIsEscapedAgain) {
    const struct {
        TagSyntax syntax;
        std::string text;
        std::string from;
        std::string to;
        std::string expected;
    } cases[] = {
        {TagSyntax::WebVtt, "Tom &amp; Jerry", " & ", " and ", "Tom and Jerry"},
        {TagSyntax::WebVtt, "I &lt;3 you", "lt", "Lieutenant", "I &lt;3 you"},
        {TagSyntax::WebVtt, "I &lt;3 you", "<3", "love", "I love you"},
        {TagSyntax::WebVtt, "a &#38; a &#x3C;", "a", "4", "4 &#38; 4 &#x3C;"},
        {TagSyntax::WebVtt, "<i>x</i> x", "x", "<3 & >", "<i>&lt;3 &amp; &gt;</i> &lt;3 &amp; &gt;"},
        {TagSyntax::WebVtt, "&copy; co &#1; &#xD800; &#0;", "co", "ko", "&copy; ko &#1; &#xD800; &#0;"},
        {TagSyntax::WebVtt, "AT&T and &amp", "and", "&", "AT&amp;T &amp; &amp;amp"},
        {TagSyntax::WebVtt, "a&nbsp;b&lrm;c&rlm;", "\xC2\xA0", " ", "a b&lrm;c&rlm;"},
        {TagSyntax::WebVtt, "&#x26;amp; x", "amp", "AMP", "&#x26;AMP; x"},
        {TagSyntax::WebVtt, "&amp;&amp;", "&&", "&", "&amp;"},
        {TagSyntax::Ass, "a \\{word\\} a", "{word}", "{term}", "a \\{term\\} a"},
        {TagSyntax::Ass, "{\\i1}a line a{\\i0}", "a", "{", "{\\i1}\\{ line \\{{\\i0}"},
        {TagSyntax::Ass, "x {word", "word", "term", "x \\{term"},
        {TagSyntax::Ass, "x {word\\Nfoo", "foo", "}", "x \\{word\\N\\}"},
        {TagSyntax::Ass, "\\\\{a}", "a", "b", "\\\\{b\\}"},
        {TagSyntax::Ass, "{\\p 1}m 0 0 l 100 0{\\p0}l", "l", "L", "{\\p 1}m 0 0 l 100 0{\\p0}L"},
    };
    for (const auto& c : cases) EXPECT_EQ(replacedRuns(c.text, c.syntax, c.from, c.to), c.expected) << c.text;
}

}  // namespace
