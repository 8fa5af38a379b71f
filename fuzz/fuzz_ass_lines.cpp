// The ASS rewrite pass's line loop and find_nth on arbitrary bytes, with a few
// typical rules. Every input line gives exactly one output line, and a line that
// is not rewritten comes out as it went in.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <string_view>

#include "passes/ass_line_loop.h"
#include "rules/text_rewriter.h"
#include "stack/recursion_budget.h"

namespace {

std::size_t lineCount(std::string_view text) {
    const auto ends = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return ends + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view buffer(reinterpret_cast<const char*>(data), size);

    const std::size_t firstEnd = std::min(buffer.find('\n'), buffer.size());
    const std::string master(buffer.substr(0, firstEnd));
    const std::string word(buffer.substr(std::min(firstEnd + 1, buffer.size())));
    const std::size_t position = find_nth(master, word);
    if (position != std::string::npos && position > word.size()) __builtin_trap();

    TextRewriter rewriter(ReplacementRules{{"san", "[$&]"}, {"(\\w+)-kun", "$1"}, {"\\{[^}]*\\}", ""}, {",", ";"}},
                          RewriteMode{});
    try {
        const std::string rewritten = rewriteLines(buffer, rewriter, [](std::size_t) {});
        if (lineCount(rewritten) != lineCount(buffer)) __builtin_trap();
        if (buffer.find("Dialogue:") == std::string_view::npos) {
            std::string expected(buffer);
            // A lone "\r" ends a line too; only a last line without any end gains one.
            if (!expected.empty() && expected.back() != '\n' && expected.back() != '\r') expected.push_back('\n');
            if (rewritten != expected) __builtin_trap();
        }
    } catch (const RecursionBudgetExceeded&) {
    }
    return 0;
}
