#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "api/subtitle_api.h"
#include "io/file_failures.h"
#include "rules/rule_error.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using test_support::readFile;
using test_support::TempDir;
using test_support::writeFile;

// The calls with a list compiled for that one call.
PassResult runPass(PassKind kind, const std::string& subfile, const std::string& output, ReplacementRules words,
                   RewriteMode mode) {
    CompiledRules rules(std::move(words));
    // The test files are named in lower case; the package tells formats by ending in Python.
    const std::optional<SubtitleFormat> format = formatNamed(subfile.substr(subfile.rfind('.') + 1));
    if (!format) throw SubtitleFileError("no format named by " + subfile);
    return passOnBytes(kind, readSubtitleFile(subfile), *format, output, rules, mode).result;
}

std::string rewriteBytes(const std::string& data, SubtitleFormat format, ReplacementRules words, RewriteMode mode) {
    CompiledRules rules(std::move(words));
    return ::rewriteBytes(data, format, rules, mode).bytes;
}

PreviewResult previewBytes(const std::string& data, SubtitleFormat format, ReplacementRules words, RewriteMode mode) {
    CompiledRules rules(std::move(words));
    return ::previewBytes(data, format, rules, mode);
}

const std::string kCues =
    "1\n00:00:01,000 --> 00:00:02,000\n<i>Aoi-san</i>\n\n"
    "2\n00:00:03,000 --> 00:00:04,000\nPlain.\n\n"
    "3\n00:00:05,000 --> 00:00:06,000\nTaro-san\n";

TEST(RunPass, CountsTheTextsItReadsAndChanges) {
    const TempDir dir;
    writeFile(dir.file("ep.srt"), kCues);
    const PassResult result =
        runPass(PassKind::Rewrite, dir.file("ep.srt"), dir.file("out.srt"), {{"-san", ""}, {"i", "I"}}, {true, false});
    EXPECT_EQ(result.output, dir.file("out.srt"));
    EXPECT_EQ(result.texts.texts, 3);
    EXPECT_EQ(result.texts.changed, 3);  // "Plain." gains an I, the tags keep their i
    EXPECT_NE(readFile(result.output).find("<i>AoI</i>"), std::string::npos);
}

// Each failure is thrown as its own type, with what the caller needs to report it.
TEST(RunPass, ThrowsTypedFailures) {
    const TempDir dir;
    writeFile(dir.file("ep.srt"), kCues);
    const std::string missingFolder = dir.file("none/out.srt");
    EXPECT_THROW(runPass(PassKind::Export, dir.file("absent.srt"), dir.file("o"), {}, {}), SubtitleFileError);
    try {
        runPass(PassKind::Export, dir.file("ep.srt"), dir.file("o"), {{"[a-é]", ""}}, {});
        ADD_FAILURE() << "a range valid only character-wise passed byte-wise";
    } catch (const RuleError& error) {
        EXPECT_EQ(error.pattern(), "[a-é]");
    }
    EXPECT_NO_THROW(runPass(PassKind::Export, dir.file("ep.srt"), dir.file("o"), {{"[a-é]", ""}}, {false, true}));
    try {
        runPass(PassKind::Rewrite, dir.file("ep.srt"), missingFolder, {}, {});
        ADD_FAILURE() << "wrote into a folder that does not exist";
    } catch (const OutputFileError& error) {
        EXPECT_EQ(error.path(), missingFolder);
        EXPECT_EQ(error.error(), ENOENT);
    }
}

const char* const kAss =
    "[Script Info]\nScriptType: v4.00+\n\n"
    "[Events]\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
    "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,Morning, Tanaka-san.\n"
    "Comment: 0,0:00:02.00,0:00:03.00,Default,,0,0,0,,[TS] Tanaka-san\n"
    "Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,Nothing here.\n"
    "Dialogue: 0,0:00:05.00,0:00:06.00,Default,,0,0,0,,{\\i1}Taro-kun{\\i0}, wait!";

// A byte-order mark, a cue number out of order, two text lines, mixed line ends.
const char* const kSrt =
    "\xEF\xBB\xBF\n\n5\n00:00:01,000 --> 00:00:02,000\nHello,\nAoi-san.\n\n"
    "7\n00:00:03,000 --> 00:00:04,000\nPlain.\n\n"
    "6\r\n00:00:05,000 --> 00:00:06,000\r\nBye,\r\nTaro-kun.\r\n\r\n";

const ReplacementRules kWords{{"(\\w+)-san", "$1"}, {"kun", "KUN"}};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

struct DocumentCase {
    const char* name;
    SubtitleFormat format;
    std::string input;
    std::string rewritten;  // with kWords
    std::vector<std::pair<std::string, std::string>> texts;
};

void PrintTo(const DocumentCase& c, std::ostream* os) { *os << c.name; }

class Documents : public testing::TestWithParam<DocumentCase> {};

// Only the bytes of a changed text differ; the preview shows what the export holds.
TEST_P(Documents, RewriteExportAndPreviewAgree) {
    const DocumentCase& c = GetParam();
    EXPECT_EQ(rewriteBytes(c.input, c.format, {}, {}), c.input);
    EXPECT_EQ(rewriteBytes(c.input, c.format, kWords, {}), c.rewritten);
    CompiledRules rules(kWords);
    const ExportedTexts exported = exportTexts(c.input, c.format, rules, {});
    const auto& texts = exported.texts;
    EXPECT_EQ(texts, c.texts);

    const PreviewResult preview = ::previewBytes(c.input, c.format, rules, {});
    EXPECT_EQ(preview.textCount, static_cast<int>(texts.size()));
    EXPECT_EQ(exported.count.texts, preview.textCount);
    EXPECT_EQ(exported.count.changed, static_cast<int>(preview.changes.size()));
    for (const TextChange& change : preview.changes) {
        EXPECT_NE(change.before, change.after);
        EXPECT_NE(std::find(texts.begin(), texts.end(), std::pair{change.key, change.after}), texts.end());
    }
}

const std::string t1 = "00:00:01,000 --> 00:00:02,000";

INSTANTIATE_TEST_SUITE_P(
    Formats, Documents,
    testing::Values(
        DocumentCase{"ass_without_final_line_end",
                     SubtitleFormat::Ass,
                     kAss,
                     replaced(replaced(kAss, "Morning, Tanaka-san", "Morning, Tanaka"), "Taro-kun", "Taro-KUN"),
                     {{"1", "Morning, Tanaka."}, {"2", "Nothing here."}, {"3", "{\\i1}Taro-KUN{\\i0}, wait!"}}},
        DocumentCase{"srt_lines_kept_with_their_own_ends",
                     SubtitleFormat::SubRip,
                     kSrt,
                     replaced(replaced(kSrt, "Aoi-san", "Aoi"), "Taro-kun", "Taro-KUN"),
                     {{"5", "Hello,\nAoi."}, {"7", "Plain."}, {"6", "Bye,\nTaro-KUN."}}}));

TEST(Documents, NewLinesAreWrittenAsTheFilesOwnLineEnds) {
    const std::string input = "1\r\n" + t1 + "\r\na, b\r\n\r\n2\r\n" + t1 + "\r\n";
    EXPECT_EQ(rewriteBytes(input, SubtitleFormat::SubRip, {{", ", "\n"}, {"^$", "filled"}}, {}),
              "1\r\n" + t1 + "\r\na\r\nb\r\n\r\n2\r\n" + t1 + "\r\nfilled\r\n");
    EXPECT_EQ(rewriteBytes("1\n" + t1, SubtitleFormat::SubRip, {{"^$", "x"}}, {}), "1\n" + t1 + "\nx");
}

TEST(Documents, RefusesWhatItCannotRead) {
    EXPECT_THROW(rewriteBytes("[10][20]Hello|there\n", SubtitleFormat::SubRip, {}, {}), SubtitleFileError);
    EXPECT_THROW(rewriteBytes("\x01\x02garbage", SubtitleFormat::Ass, {}, {}), SubtitleFileError);
    EXPECT_THROW(rewriteBytes(kSrt, SubtitleFormat::SubRip, {{"b(", "x"}}, {}), RuleError);
    EXPECT_EQ(rewriteBytes("", SubtitleFormat::SubRip, kWords, {}), "");
}

// UTF-16 comes back as it was read, mark, byte order and all; a byte-wise rule that
// cuts a character in half leaves nothing UTF-16 can hold.
TEST(Documents, Utf16FilesKeepTheirEncoding) {
    const auto utf16le = [](const std::string& ascii) {
        std::string bytes = "\xFF\xFE";
        for (const char c : ascii) bytes += std::string{c, '\0'};
        return bytes;
    };
    const std::string cue = "1\r\n" + t1 + "\r\nTanaka-san";
    EXPECT_EQ(rewriteBytes(utf16le(cue) + "\x00\xD8"s, SubtitleFormat::SubRip, {}, {}), utf16le(cue) + "\x00\xD8"s);
    EXPECT_EQ(rewriteBytes(utf16le(cue), SubtitleFormat::SubRip, kWords, {}), utf16le("1\r\n" + t1 + "\r\nTanaka"));
    try {
        rewriteBytes(utf16le(cue) + "\xE9\x00"s, SubtitleFormat::SubRip, {{"\xC3", "x"}}, {});
        ADD_FAILURE() << "half a character written as UTF-16";
    } catch (const PassFailure& failure) {
        EXPECT_NE(failure.line().find("the rewritten text 1 "), std::string::npos) << failure.line();
    }
}

// A megabyte of vector drawing under a per-byte recursive rule: too deep for an
// ordinary thread, so the preview runs where the passes run.
TEST(Documents, PreviewRewritesTextsTooLongForAnOrdinaryStack) {
    const TempDir dir;
    const std::string drawing = "{\\p1}" + std::string(1 << 20, 'm') + "{\\p0}";
    writeFile(dir.file("long.srt"), "1\n" + t1 + "\n" + drawing);
    const PreviewResult result =
        previewBytes(readFile(dir.file("long.srt")), SubtitleFormat::SubRip, {{"\\{.*?\\}", ""}}, {});
    ASSERT_EQ(result.changes.size(), 1u);
    EXPECT_EQ(result.changes[0].after, std::string(1 << 20, 'm'));
}

// One compiled list serves calls from several threads at once, each with its own count.
TEST(CompiledRules, ServesThreadsAtOnce) {
    CompiledRules rules(RuleSequence{{"(\\w+)-san", "$1"}, {"[", "x"}});
    EXPECT_THROW(rules.requireValid(false), RuleError);
    EXPECT_THROW(rules.requireValid(false), RuleError);
    CompiledRules good(kWords);
    std::vector<std::thread> threads;
    std::vector<std::string> results(8);
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = ::rewriteBytes(kSrt, SubtitleFormat::SubRip, good, {}).bytes; });
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::string& result : results) EXPECT_EQ(result, rewriteBytes(kSrt, SubtitleFormat::SubRip, kWords, {}));
    EXPECT_EQ(good.borrow({})->count().texts, 0);
}

}  // namespace
