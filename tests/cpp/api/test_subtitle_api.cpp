#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "api/caught_failure.h"
#include "api/subtitle_api.h"
#include "document/format_error.h"
#include "io/file_failures.h"
#include "io/input_file.h"
#include "io/word_list_file.h"
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
    if (!format) throw SubtitleFormatError("no format named by " + subfile);
    return passOnBytes(kind, readSubtitleFile(subfile), *format, subfile, output, 0777, rules, mode).result;
}

std::string rewriteBytes(const std::string& data, SubtitleFormat format, ReplacementRules words, RewriteMode mode) {
    CompiledRules rules(std::move(words));
    return ::rewriteBytes(data, format, "", rules, mode).bytes;
}

PreviewResult previewBytes(const std::string& data, SubtitleFormat format, ReplacementRules words, RewriteMode mode) {
    CompiledRules rules(std::move(words));
    return ::previewBytes(data, format, "", rules, mode);
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

// Each failure is thrown as its own type, carrying what the binding needs to
// raise it, and read back as that by the one place that reads failures.
struct FailureCase {
    const char* name;
    std::function<void(const TempDir&)> call;
    FailureKind kind;
    std::string subject;  // a path relative to the folder, a pattern or a key
    int error;
    std::string message;  // a part of it
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class Failures : public testing::TestWithParam<FailureCase> {};

TEST_P(Failures, AreTypedAndReadOnce) {
    const FailureCase& c = GetParam();
    const TempDir dir;
    writeFile(dir.file("ep.srt"), kCues);
    writeFile(dir.file("mpl2.srt"), "[10][20]Hello|there\n");
    std::filesystem::create_directory(dir.file("folder.srt"));
    try {
        c.call(dir);
        ADD_FAILURE() << "nothing thrown";
    } catch (...) {
        const CaughtFailure failure = caughtFailure();
        EXPECT_EQ(failure.kind, c.kind);
        const bool isPath = c.kind == FailureKind::InputFile || c.kind == FailureKind::Output ||
                            (c.kind == FailureKind::SubtitleFormat && !c.subject.empty());
        EXPECT_EQ(failure.subject, isPath ? dir.file(c.subject) : c.subject);
        EXPECT_EQ(failure.error, c.error);
        EXPECT_NE(failure.message.find(c.message), std::string::npos) << failure.message;
    }
}

std::string utf16le(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Api, Failures,
    testing::Values(
        FailureCase{"missing_input",
                    [](const TempDir& d) { runPass(PassKind::Export, d.file("absent.srt"), d.file("o"), {}, {}); },
                    FailureKind::InputFile, "absent.srt", ENOENT, "No such file or directory"},
        FailureCase{"folder_input",
                    [](const TempDir& d) { runPass(PassKind::Rewrite, d.file("folder.srt"), d.file("o"), {}, {}); },
                    FailureKind::InputFile, "folder.srt", EISDIR, "Is a directory"},
        FailureCase{"path_with_nul", [](const TempDir& d) { readSubtitleFile(d.file("ep.srt") + "\0x"s); },
                    FailureKind::InputFile, "ep.srt\0x"s, ENOENT, "No such file"},
        FailureCase{"no_timing_line",
                    [](const TempDir& d) { runPass(PassKind::Export, d.file("mpl2.srt"), d.file("o"), {}, {}); },
                    FailureKind::SubtitleFormat, "mpl2.srt", 0, "not a SubRip file: no timing line found"},
        FailureCase{"bytes_alone_have_no_path",
                    [](const TempDir&) { rewriteBytes("\x01\x02garbage", SubtitleFormat::Ass, {}, {}); },
                    FailureKind::SubtitleFormat, "", 0, "Failed to parse the ASS file."},
        FailureCase{"pattern_valid_only_character_wise",
                    [](const TempDir& d) {
                        runPass(PassKind::Export, d.file("ep.srt"), d.file("o"), {{"[a-\xC3\xA9]", ""}}, {});
                    },
                    FailureKind::Rule, "[a-\xC3\xA9]", 0, "Invalid pattern [a-"},
        FailureCase{"output_folder_missing",
                    [](const TempDir& d) { runPass(PassKind::Rewrite, d.file("ep.srt"), d.file("no/o.srt"), {}, {}); },
                    FailureKind::Output, "no/o.srt", ENOENT, "no/o.srt"},
        FailureCase{"text_opening_a_cue",
                    [](const TempDir&) {
                        rewriteBytes(kCues, SubtitleFormat::SubRip, {{"Plain\\.", "2\n00:00:01,000 --> 00:00:02,000"}},
                                     {});
                    },
                    FailureKind::UnwritableText, "2", 0, "cue 2 holds a line"},
        FailureCase{"half_a_character_in_utf16",
                    [](const TempDir&) {
                        rewriteBytes(utf16le("1\n00:00:01,000 --> 00:00:02,000\n") + "\xE9\x00"s,
                                     SubtitleFormat::SubRip, {{"\xC3", "x"}}, {});
                    },
                    FailureKind::UnwritableText, "1", 0, "the rewritten text 1 "},
        FailureCase{"word_list_not_an_object", [](const TempDir&) { readWordListDocument("[1]"); },
                    FailureKind::WordListDocument, "", 0, "not a word list: this is a JSON array"}));

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
    const ExportedTexts exported = exportTexts(c.input, c.format, "", rules, {});
    const auto& texts = exported.texts;
    EXPECT_EQ(texts, c.texts);

    const PreviewResult preview = ::previewBytes(c.input, c.format, "", rules, {});
    EXPECT_EQ(preview.count.texts, static_cast<int>(texts.size()));
    EXPECT_EQ(exported.count.texts, preview.count.texts);
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
    EXPECT_THROW(rewriteBytes(kSrt, SubtitleFormat::SubRip, {{"b(", "x"}}, {}), RuleError);
    EXPECT_EQ(rewriteBytes("", SubtitleFormat::SubRip, kWords, {}), "");
}

// UTF-16 comes back as it was read, mark, byte order and all; a byte-wise rule that
// cuts a character in half leaves nothing UTF-16 can hold.
TEST(Documents, Utf16FilesKeepTheirEncoding) {
    const std::string cue = "1\r\n" + t1 + "\r\nTanaka-san";
    EXPECT_EQ(rewriteBytes(utf16le(cue) + "\x00\xD8"s, SubtitleFormat::SubRip, {}, {}), utf16le(cue) + "\x00\xD8"s);
    EXPECT_EQ(rewriteBytes(utf16le(cue), SubtitleFormat::SubRip, kWords, {}), utf16le("1\r\n" + t1 + "\r\nTanaka"));
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
        threads.emplace_back([&, i] { results[i] = ::rewriteBytes(kSrt, SubtitleFormat::SubRip, "", good, {}).bytes; });
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::string& result : results) EXPECT_EQ(result, rewriteBytes(kSrt, SubtitleFormat::SubRip, kWords, {}));
    EXPECT_EQ(good.borrow({})->count().texts, 0);
}

}  // namespace
