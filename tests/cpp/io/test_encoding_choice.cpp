#include <gtest/gtest.h>

#include <string>

#include "encoding_choice.h"

namespace {

using namespace std::string_literals;

struct ChoiceCase {
    const char* name;
    std::string bytes;
    std::string encoding;
    std::size_t markLength;
    EncodingEvidence evidence;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

const std::string kCue = "1\r\n00:00:01,000 --> 00:00:02,000\r\n";

std::string utf16(const std::string& ascii, bool bigEndian) {
    std::string bytes;
    for (char c : ascii) bytes += bigEndian ? "\0"s + c : std::string(1, c) + '\0';
    return bytes;
}

// "Привет, как дела? Всё хорошо, спасибо." in Windows-1251, twice.
const std::string kRussian1251 =
    "\xCF\xF0\xE8\xE2\xE5\xF2, \xEA\xE0\xEA \xE4\xE5\xEB\xE0? \xC2\xF1\xB8 \xF5\xEE\xF0\xEE\xF8\xEE, "
    "\xF1\xEF\xE0\xF1\xE8\xE1\xEE.\r\n";

class EncodingChoices : public testing::TestWithParam<ChoiceCase> {};

TEST_P(EncodingChoices, FollowTheOrderOfEvidence) {
    const ChoiceCase& c = GetParam();
    const EncodingChoice choice = chooseEncoding(c.bytes);
    EXPECT_EQ(choice.name, c.encoding);
    EXPECT_EQ(choice.markLength, c.markLength);
    EXPECT_EQ(choice.evidence, c.evidence);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EncodingChoices,
    testing::Values(
        ChoiceCase{"utf8_mark", "\xEF\xBB\xBF" + kCue + "caf\xC3\xA9", "utf-8", 3, EncodingEvidence::Mark},
        ChoiceCase{"utf16le_mark", "\xFF\xFE" + utf16(kCue, false), "utf-16-le", 2, EncodingEvidence::Mark},
        ChoiceCase{"utf16be_mark", "\xFE\xFF" + utf16(kCue, true), "utf-16-be", 2, EncodingEvidence::Mark},
        ChoiceCase{"utf32le_mark", "\xFF\xFE\0\0"s + "1\0\0\0"s, "utf-32-le", 4, EncodingEvidence::Mark},
        ChoiceCase{"utf32be_mark", "\0\0\xFE\xFF"s + "\0\0\0001"s, "utf-32-be", 4, EncodingEvidence::Mark},
        // A UTF-16 LE mark before an odd number of bytes is no UTF-32 mark.
        ChoiceCase{"utf16le_zero_char", "\xFF\xFE\0\0"s + "1\0"s, "utf-16-le", 2, EncodingEvidence::Mark},
        ChoiceCase{"ascii", kCue + "Hello", "utf-8", 0, EncodingEvidence::Utf8},
        ChoiceCase{"empty", "", "utf-8", 0, EncodingEvidence::Utf8},
        ChoiceCase{"utf8", kCue + "\xE7\x94\xB0\xE4\xB8\xAD", "utf-8", 0, EncodingEvidence::Utf8},
        ChoiceCase{"utf16le_zeros", utf16(kCue + "Hi", false), "utf-16-le", 0, EncodingEvidence::Utf16Zeros},
        ChoiceCase{"utf16be_zeros", utf16(kCue + "Hi", true), "utf-16-be", 0, EncodingEvidence::Utf16Zeros},
        ChoiceCase{"cp1251", kCue + kRussian1251 + kRussian1251, "windows-1251", 0, EncodingEvidence::Detector},
        // The rest after a lying mark is judged alone.
        ChoiceCase{"mark_lies", "\xEF\xBB\xBF" + kCue + kRussian1251 + kRussian1251, "windows-1251", 3,
                   EncodingEvidence::Detector}));

}  // namespace
