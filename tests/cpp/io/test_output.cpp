#include <gtest/gtest.h>
#include <json/json.h>

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core_helpers.h"
#include "io/output.h"
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
    const std::string text = core_helpers::exportDocumentText(document);
    EXPECT_EQ(text.substr(0, 27), "{\n  \"1\" : \"t1\",\n  \"10\" : \"t");
    EXPECT_LT(text.find("\"12\""), text.find("\"2\""));
    EXPECT_LT(text.find("\"2\""), text.find("\"9\""));
}

TEST(ExportDocument, NothingStoredIsNull) { EXPECT_EQ(core_helpers::exportDocumentText(Json::Value()), "null"); }

TEST(ExportDocument, EscapesQuotesBackslashesAndControlCharacters) {
    Json::Value document;
    document["1"] = "say \"hi\"\\N{\\i1}\r";
    Json::Value parsed;
    std::istringstream(core_helpers::exportDocumentText(document)) >> parsed;
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

// The C library would end the name at the NUL and replace "out" instead.
TEST(WriteWholeFile, ANameHoldingANulByteReplacesNothing) {
    TempDir dir;
    writeFile(dir.file("out"), "previous");
    const WriteResult result = writeWholeFile(dir.file("out") + std::string(1, '\0') + ".srt", "new");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.failureLine("cannot open"), "cannot open");
    EXPECT_EQ(readFile(dir.file("out")), "previous");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteWholeFile, AReplacedFileKeepsItsPermissionBitsWithinTheCeiling) {
    struct Row {
        mode_t before;  // 0: no file there yet
        unsigned ceiling;
        mode_t after;
    };
    // Kept past the umask; the special bits are not carried over; an input's bits as the
    // ceiling keep a private file's copy private, a new one included.
    const Row rows[] = {{0600, 0777, 0600},  {0640, 0777, 0640}, {0666, 0777, 0666}, {0444, 0777, 0444},
                        {04755, 0777, 0755}, {0644, 0600, 0600}, {0666, 0640, 0640}, {0, 0600, 0600}};
    const mode_t umaskWas = umask(022);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before);
        SCOPED_TRACE(row.ceiling);
        TempDir dir;
        const std::string target = dir.file("out.ass");
        if (row.before != 0) {
            writeFile(target, "old");
            ASSERT_EQ(chmod(target.c_str(), row.before), 0);
        }
        ASSERT_TRUE(writeWholeFile(target, "new", row.ceiling));
        struct stat written{};
        ASSERT_EQ(stat(target.c_str(), &written), 0);
        EXPECT_EQ(written.st_mode & 07777, row.after);
        EXPECT_EQ(readFile(target), "new");
    }
    umask(umaskWas);
}

// Pieces of every size around the 64 KiB buffer land in order; a producer that
// throws part-way leaves the old file as it was and no temporary beside it.
TEST(WriteFilePieces, WritesThePiecesInOrderOrNothing) {
    const std::string big(200000, 'b');
    const std::vector<std::string> pieces = {"head ", std::string(65535, 'a'), "", big, "x", std::string(65536, 'c')};
    std::string whole;
    for (const std::string& piece : pieces) whole += piece;
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        TempDir dir;
        const std::string target = dir.file("out.srt");
        writeFile(target, "old");
        auto produce = [&](const PieceWriter& write) {
            for (const std::string& piece : pieces) {
                write(piece);
                if (fails && piece == big) throw std::runtime_error("a rule failed");
            }
        };
        if (fails) {
            EXPECT_THROW(writeFilePieces(target, produce), std::runtime_error);
        } else {
            EXPECT_TRUE(writeFilePieces(target, produce));
        }
        EXPECT_EQ(readFile(target), fails ? "old" : whole);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

}  // namespace

namespace {

// Pairs are written exactly as the JSON object that assigning them in turn makes.
TEST(ExportMembers, WritesWhatTheObjectOfThePairsWrites) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const TempDir dir;
    for (const Pairs& pairs : {Pairs{}, Pairs{{"2", "b\n\"x\""}, {"10", "a"}, {"2", "later \xC3\xA9"}, {"-1", ""}},
                               Pairs{{"1", "caf\xE9"}, {"0", "\xF0\x9F\x98\x80 \t\\"}}}) {
        Json::Value object;
        for (const auto& [key, text] : pairs) object[key] = text;
        ASSERT_TRUE(writeExportDocument(dir.file("object.json"), object));
        std::vector<JsonMember> members;
        for (const auto& [key, text] : pairs) members.push_back({key, text});
        ASSERT_TRUE(writeExportMembers(dir.file("pairs.json"), members));
        EXPECT_EQ(readFile(dir.file("pairs.json")), readFile(dir.file("object.json")));
    }
}

}  // namespace
