#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "pass_errors.h"
#include "subtitle_api.h"
#include "test_support.h"

namespace {

using test_support::readFile;
using test_support::TempDir;
using test_support::writeFile;

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
    EXPECT_THROW(runPass(PassKind::Export, dir.file("ep.txt"), dir.file("o"), {}, {}), SubtitleFileError);
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

}  // namespace
