#include "io/byte_census.h"

#include <cstdint>
#include <cstring>

#include "text/utf8_text.h"

namespace {

constexpr std::uint64_t kEachByte = 0x0101010101010101;
constexpr std::uint64_t kHighBits = 0x8080808080808080;

bool anyZeroByte(std::uint64_t word) { return ((word - kEachByte) & ~word & kHighBits) != 0; }

// Eight bytes with nothing to count: ASCII, and neither NUL, ESC nor '~'.
bool plainAscii(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return (word & kHighBits) == 0 && !anyZeroByte(word) && !anyZeroByte(word ^ (kEachByte * 0x1B)) &&
           !anyZeroByte(word ^ (kEachByte * '~'));
}

}  // namespace

ByteCensus takeCensus(std::string_view bytes) {
    ByteCensus census;
    std::size_t sequenceEnd = 0;  // the bytes before it belong to a sequence counted already
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        // Most of a subtitle file is plain ASCII: skipped a word at a time.
        while (i + 8 <= bytes.size() && plainAscii(bytes.data() + i)) i += 8;
        if (i == bytes.size()) break;
        const char byte = bytes[i];
        if (byte == '\0') ++(i % 2 == 0 ? census.evenZeros : census.oddZeros);
        if (byte == '\x1B') ++census.escapes;
        if (byte == '~' && i + 1 < bytes.size() && bytes[i + 1] == '{') ++census.hzShifts;
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0x80) continue;
        ++census.high[value - 0x80];
        if (i < sequenceEnd) continue;
        std::string_view rest = bytes.substr(i);
        if (takeCharacter(rest)) {
            ++census.multibyte;
            sequenceEnd = bytes.size() - rest.size();
        } else {
            ++census.stray;
        }
    }
    return census;
}
