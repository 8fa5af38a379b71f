#include "io/json_text.h"

#include <json/writer.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/utf8_text.h"

namespace {

std::string_view stringOf(const Json::Value& value) {
    const char* begin = nullptr;
    const char* end = nullptr;
    if (!value.getString(&begin, &end)) return {};
    return {begin, static_cast<std::size_t>(end - begin)};
}

bool isFlatUtf8Object(const Json::Value& document) {
    if (!document.isObject()) return false;
    for (auto member = document.begin(); member != document.end(); ++member) {
        if (!member->isString() || !isValidUtf8(stringOf(*member)) || !isValidUtf8(member.name())) return false;
    }
    return true;
}

void writeHex(std::ostream& stream, unsigned codeUnit) {
    static constexpr char digits[] = "0123456789abcdef";
    stream << "\\u" << digits[(codeUnit >> 12) & 0xF] << digits[(codeUnit >> 8) & 0xF] << digits[(codeUnit >> 4) & 0xF]
           << digits[codeUnit & 0xF];
}

bool needsEscape(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte == '\\' || byte == '"' || byte < 0x20 || byte > 0x7F;
}

bool needsEscaping(std::string_view text) { return std::any_of(text.begin(), text.end(), needsEscape); }

// jsoncpp's quoting without emitUTF8: control characters and every non-ASCII
// character become \u escapes (surrogate pairs beyond the BMP).
void writeQuoted(std::ostream& stream, std::string_view text) {
    stream << '"';
    if (!needsEscaping(text)) {
        stream << text << '"';
        return;
    }
    while (!text.empty()) {
        // Plain ASCII goes out in runs: a long text is mostly that.
        const auto plainEnd = std::find_if(text.begin(), text.end(), needsEscape);
        const auto plain = static_cast<std::size_t>(plainEnd - text.begin());
        stream.write(text.data(), static_cast<std::streamsize>(plain));
        text.remove_prefix(plain);
        if (text.empty()) break;
        // Valid UTF-8 only reaches here, so a character always starts the text.
        const auto codePoint = static_cast<unsigned>(*takeCharacter(text));
        switch (codePoint) {
            case '"':
                stream << "\\\"";
                break;
            case '\\':
                stream << "\\\\";
                break;
            case '\b':
                stream << "\\b";
                break;
            case '\f':
                stream << "\\f";
                break;
            case '\n':
                stream << "\\n";
                break;
            case '\r':
                stream << "\\r";
                break;
            case '\t':
                stream << "\\t";
                break;
            default:
                if (codePoint >= 0x20 && codePoint < 0x80) {
                    stream << static_cast<char>(codePoint);
                } else if (codePoint < 0x10000) {
                    writeHex(stream, codePoint);
                } else {
                    writeHex(stream, ((codePoint - 0x10000) >> 10) + 0xD800);
                    writeHex(stream, ((codePoint - 0x10000) & 0x3FF) + 0xDC00);
                }
        }
    }
    stream << '"';
}

void writeMember(std::ostream& stream, std::string_view name, std::string_view text, bool first) {
    if (!first) stream << ',';
    stream << "\n  ";
    writeQuoted(stream, name);
    stream << " : ";
    writeQuoted(stream, text);
}

}  // namespace

void writeJsonMembers(const std::vector<JsonMember>& members, std::ostream& stream) {
    if (members.empty()) {
        stream << "null";
        return;
    }
    bool first = true;
    stream << '{';
    for (const JsonMember& member : members) writeMember(stream, member.key, member.text, std::exchange(first, false));
    stream << "\n}";
}

void writeJsonText(const Json::Value& document, std::ostream& stream) {
    if (isFlatUtf8Object(document) && !document.empty()) {
        bool first = true;
        stream << '{';
        for (auto member = document.begin(); member != document.end(); ++member) {
            writeMember(stream, member.name(), stringOf(*member), std::exchange(first, false));
        }
        stream << "\n}";
        return;
    }
    Json::StreamWriterBuilder writerBuilder;
    writerBuilder["indentation"] = "  ";
    const std::unique_ptr<Json::StreamWriter> writer(writerBuilder.newStreamWriter());
    writer->write(document, &stream);
}
