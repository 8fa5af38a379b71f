#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/libass_handles.h"
#include "text/tag_runs.h"

namespace {

constexpr const char* kShape = "m 0 0 l 100 0 100 100 0 100";

// Every bitmap libass renders for a one-event script holding `text`, with where it stands.
std::string rendered(ASS_Library& library, ASS_Renderer& renderer, const std::string& text) {
    const std::string script =
        "[Script Info]\nScriptType: v4.00+\nPlayResX: 640\nPlayResY: 480\n\n[V4+ Styles]\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
        "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
        "MarginR, MarginV, Encoding\n"
        "Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,0,0,7,10,10,10,1\n"
        "\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
        "Dialogue: 0,0:00:00.00,0:00:05.00,Default,,0,0,0,," +
        text + "\n";
    const AssTrack track = readTrackMemory(library, script);
    int change = 0;
    std::string bitmaps;
    for (const ASS_Image* image = ass_render_frame(&renderer, track.get(), 1000, &change); image; image = image->next) {
        bitmaps += std::to_string(image->dst_x) + "," + std::to_string(image->dst_y) + ":";
        for (int row = 0; row < image->h; ++row) {
            bitmaps.append(reinterpret_cast<const char*>(image->bitmap) + row * image->stride,
                           static_cast<std::size_t>(image->w));
        }
    }
    return bitmaps;
}

// Whether the drawing commands after `block` are hidden from the rules.
bool hiddenFromRules(const std::string& text) {
    for (const TextRun& run : splitTextRuns(text, TagSyntax::Ass)) {
        if (run.visible && run.text.find("m 0 0") != std::string_view::npos) return false;
    }
    return true;
}

// A drawing starts wherever libass draws the shape as {\p1} draws it.
TEST(LibassDrawings, ProtectedExactlyWhereLibassDraws) {
    const struct {
        std::string block;
        bool drawing;
    } cases[] = {
        {"{\\p1}", true},
        {"{\\p 1}", true},
        {"{\\p\t1}", true},
        {"{\\p+1}", true},
        {"{\\ p1}", true},
        {"{\\p(1)}", true},
        {"{\\p01}", true},
        {"{\\p1x}", true},
        {"{\\p1 }", true},
        {"{\\t(\\p1)}", true},
        {"{\\p1\\r}", true},
        {"{\\p1}{\\pbo2}", true},
        {"{\\p1}{\\i1}", true},
        {"{\\p-1}", false},
        {"{\\p0}", false},
        {"{\\p}", false},
        {"{\\P1}", false},
        {"{\\p1\\pa}", false},
        {"{\\p1}{\\p}", false},
        {"{\\p1}{\\p 0}", false},
        {"{\\p\t}", false},
        {"{\\pbo1}", false},
        {"{\\p-1}{\\p1}{\\p-1}", false},
    };
    const AssLibrary library = startQuietLibrary();
    ASSERT_TRUE(library);
    const AssRenderer renderer = startRenderer(*library);
    ASSERT_TRUE(renderer);
    ass_set_frame_size(renderer.get(), 640, 480);
    ass_set_fonts(renderer.get(), nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr, 0);
    const std::string drawn = rendered(*library, *renderer, std::string("{\\p1}") + kShape);
    for (const auto& c : cases) {
        const std::string text = c.block + kShape;
        EXPECT_EQ(hiddenFromRules(text), c.drawing) << c.block;
        // Without a font provider libass renders nothing at all; the table still holds.
        if (!drawn.empty()) {
            EXPECT_EQ(rendered(*library, *renderer, text) == drawn, c.drawing) << c.block;
        }
    }
}

}  // namespace
