#include <gtest/gtest.h>
#include <json/json.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "output.h"
#include "test_support.h"

using test_support::readFile;
using test_support::TempDir;
using test_support::writeFile;

namespace {

struct NameCase {
    const char* subfile;
    const char* ending;
    const char* expected;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.subfile; }

class OutputName : public testing::TestWithParam<NameCase> {};

TEST_P(OutputName, PrefixesTheWholePathAndSwapsTheLastEnding) {
    EXPECT_EQ(outputName(GetParam().subfile, GetParam().ending), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Names, OutputName,
                         testing::Values(NameCase{"ep1.ass", ".json", "[Quorvanted] ep1.json"},
                                         NameCase{"a.b.ass", ".json", "[Quorvanted] a.b.json"},
                                         NameCase{"dir/x.ass", ".ass", "[Quorvanted] dir/x.ass"},
                                         NameCase{"movie.en.srt", ".srt", "[Quorvanted] movie.en.srt"},
                                         NameCase{"show", ".json", "[Quorvanted] show"},
                                         NameCase{".ass", ".json", "[Quorvanted] .json"}));

TEST(ExportDocument, OrdersMembersBytewiseWithTwoBlankIndentation) {
    Json::Value document;
    for (int key = 1; key <= 12; ++key) document[std::to_string(key)] = "t" + std::to_string(key);
    const std::string text = exportDocumentText(document);
    EXPECT_EQ(text.substr(0, 27), "{\n  \"1\" : \"t1\",\n  \"10\" : \"t");
    EXPECT_LT(text.find("\"12\""), text.find("\"2\""));
    EXPECT_LT(text.find("\"2\""), text.find("\"9\""));
}

TEST(ExportDocument, NothingStoredIsNull) { EXPECT_EQ(exportDocumentText(Json::Value()), "null"); }

TEST(ExportDocument, EscapesQuotesBackslashesAndControlCharacters) {
    Json::Value document;
    document["1"] = "say \"hi\"\\N{\\i1}\r";
    Json::Value parsed;
    std::istringstream(exportDocumentText(document)) >> parsed;
    EXPECT_EQ(parsed["1"].asString(), "say \"hi\"\\N{\\i1}\r");
}

TEST(WriteWholeFile, ReplacesAnExistingFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string target = dir.file("out.srt");
    writeFile(target, "old content that is longer");
    ASSERT_TRUE(writeWholeFile(target, "new"));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteWholeFile, ReportsAMissingDirectoryAndWritesNothing) {
    TempDir dir;
    EXPECT_FALSE(writeWholeFile(dir.file("absent/out.srt"), "x"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(WriteWholeFile, ADirectoryInTheWayIsNotReplaced) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("out.json"));
    EXPECT_FALSE(writeWholeFile(dir.file("out.json"), "x"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("out.json")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Caps the size of every file the process writes, so that a write fails part-way as
// on a full disk; the signal that would end the process is ignored meanwhile.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) : _ignoredSignal(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &_previous);
        rlimit capped = _previous;
        capped.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &_previous);
        std::signal(SIGXFSZ, _ignoredSignal);
    }

private:
    rlimit _previous{};
    void (*_ignoredSignal)(int);
};

struct WriteFailureCase {
    const char* what;
    std::string name;       // of the target, inside the test directory
    rlim_t sizeCap;         // 0: none
    const char* partWayReason;  // nullptr: the file could not be opened
};

TEST(WriteWholeFile, FailuresLeaveEveryFileAsItWasAndSayWhatFailed) {
    const WriteFailureCase cases[] = {
        {"NUL byte cutting the name short", std::string("out\0.srt", 8), 0, nullptr},
        {"file size limit reached part-way", "out.srt", 4096, "File too large"},
    };
    for (const WriteFailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir.file("out"), "previous");
        writeFile(dir.file("out.srt"), "previous");
        const std::string target = dir.path().string() + "/" + c.name;
        WriteResult result = WriteResult::written();
        {
            const FileSizeCap cap(c.sizeCap ? c.sizeCap : RLIM_INFINITY);
            result = writeWholeFile(target, std::string(1 << 16, 'x'));
        }
        ASSERT_FALSE(result);
        const std::string expected =
            c.partWayReason ? "Could not write the output file: " + target + ": " + c.partWayReason : "cannot open";
        EXPECT_EQ(result.failureLine("cannot open"), expected);
        EXPECT_EQ(readFile(dir.file("out")), "previous");
        EXPECT_EQ(readFile(dir.file("out.srt")), "previous");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    }
}

TEST(WriteWholeFile, AReplacedFileKeepsItsPermissionBits) {
    // (mode before, mode after): kept past the umask; the special bits are not carried over.
    const std::pair<mode_t, mode_t> modes[] = {{0600, 0600}, {0640, 0640}, {0666, 0666}, {0444, 0444}, {04755, 0755}};
    for (const auto& [before, after] : modes) {
        SCOPED_TRACE(before);
        TempDir dir;
        const std::string target = dir.file("out.ass");
        writeFile(target, "old");
        ASSERT_EQ(chmod(target.c_str(), before), 0);
        ASSERT_TRUE(writeWholeFile(target, "new"));
        struct stat written {};
        ASSERT_EQ(stat(target.c_str(), &written), 0);
        EXPECT_EQ(written.st_mode & 07777, after);
        EXPECT_EQ(readFile(target), "new");
    }
}

}  // namespace
