#include "passes/ass_line_loop.h"

#include "document/written_form.h"

std::string rewriteLines(std::string_view buffer, TextRewriter& rewriter, const FormatLineSink& formatLines) {
    std::string rewritten;
    rewritten.reserve(buffer.size() + buffer.size() / 8 + 1);
    std::size_t copied = 0;
    forEachDialogueText(
        buffer,
        [&](std::size_t begin, std::size_t end, bool) {
            rewritten.append(buffer.substr(copied, begin - copied));
            // A line end inside the Dialogue line would end the event there.
            rewritten.append(
                assWrittenForm(rewriter.apply(std::string(buffer.substr(begin, end - begin)), TagSyntax::Ass)));
            copied = end;
        },
        formatLines);
    rewritten.append(buffer.substr(copied));
    if (!buffer.empty() && !buffer.ends_with('\n') && !buffer.ends_with('\r')) rewritten += '\n';
    return rewritten;
}
