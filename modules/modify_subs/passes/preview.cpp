#include "preview.h"

#include <memory>
#include <optional>
#include <stdexcept>

#include "ass_input.h"
#include "large_stack.h"
#include "libass_handles.h"
#include "srt_passes.h"
#include "subrip.h"
#include "text_rewriter.h"

namespace {

// Collects what a text becomes, keeping only texts that change.
class ChangeCollector {
public:
    ChangeCollector(const WordList& words, RewriteMode mode, TagSyntax tags) : _rewriter(words, mode), _tags(tags) {}

    void add(int key, const std::string& text) {
        ++_result.textCount;
        std::string rewritten = _rewriter.apply(text, _tags);
        if (rewritten != text) _result.changes.push_back({key, text, std::move(rewritten)});
    }

    PreviewResult take() { return std::move(_result); }

private:
    TextRewriter _rewriter;
    TagSyntax _tags;
    PreviewResult _result;
};

PreviewResult previewAss(const std::string& subfile, const WordList& words, RewriteMode mode) {
    const AssLibrary library = startQuietLibrary();
    if (!library) throw std::runtime_error("Failed to initialize libass");
    // The export pass's own reading, so the two can't disagree on a file.
    const AssTrack track = readExportTrack(*library, subfile);

    ChangeCollector collector(words, mode, TagSyntax::Ass);
    for (int index = 0; index < track->n_events; ++index) {
        collector.add(index + 1, eventText(track->events[index]));
    }
    return collector.take();
}

PreviewResult previewSrt(const std::string& subfile, const WordList& words, RewriteMode mode) {
    // The export pass's own reading and cleaning.
    const std::optional<std::string> cleaned = removeBlankLinesFromStartAndEnd(subfile);
    if (!cleaned) throw std::runtime_error("the file could not be read");
    const std::unique_ptr<SubtitleParser> parser = SubtitleParserFactory::forText(*cleaned).getParser();

    ChangeCollector collector(words, mode, TagSyntax::SubRip);
    for (const SubtitleItem* cue : parser->getSubtitles()) {
        collector.add(cue->getSubNo(), cue->getText());
    }
    return collector.take();
}

}  // namespace

PreviewResult previewChanges(const std::string& subfile, const WordList& words, RewriteMode mode) {
    // The same stack as the passes, so the preview refuses exactly what they refuse.
    if (subfile.ends_with(".ass")) return onLargeStack([&] { return previewAss(subfile, words, mode); });
    if (subfile.ends_with(".srt")) return onLargeStack([&] { return previewSrt(subfile, words, mode); });
    throw std::invalid_argument("not an .ass or .srt file");
}
