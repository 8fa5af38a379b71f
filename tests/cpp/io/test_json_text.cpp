#include <gtest/gtest.h>
#include <json/json.h>

#include <random>
#include <sstream>
#include <string>

#include "io/json_text.h"

namespace {

std::string byJsoncpp(const Json::Value& document) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    return Json::writeString(builder, document);
}

std::string written(const Json::Value& document) {
    std::ostringstream text;
    writeJsonText(document, text);
    return text.str();
}

// Texts from pieces that take each branch of the quoting: plain ASCII, DEL, the
// named escapes, other control bytes, and characters of two, three and four bytes.
std::string randomText(std::mt19937& random) {
    static const std::string pieces[] = {
        "a",    "Tanaka-san",         "\x7F", "\"", "\\", "\b", "\f",           "\n", "\r", "\t", "/",
        "\x01", std::string(1, '\0'), "\x1F", "é",  "さ", "😀", "\xEF\xBF\xBD", " "};
    std::string text;
    for (int count = std::uniform_int_distribution<int>(0, 6)(random); count > 0; --count) {
        text += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
    }
    return text;
}

TEST(JsonText, WritesWhatJsoncppWrites) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 2000; ++round) {
        Json::Value document;
        for (int members = std::uniform_int_distribution<int>(0, 4)(random); members > 0; --members) {
            document[round % 3 == 0 ? randomText(random) : std::to_string(random() % 30)] = randomText(random);
        }
        ASSERT_EQ(written(document), byJsoncpp(document)) << round;
    }
    for (const Json::Value& other : {Json::Value(), Json::Value(Json::objectValue), Json::Value(Json::arrayValue)}) {
        EXPECT_EQ(written(other), byJsoncpp(other));
    }
}

}  // namespace
