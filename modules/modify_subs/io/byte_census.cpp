#include "io/byte_census.h"

#include "text/utf8_text.h"

ByteCensus takeCensus(std::string_view bytes) {
    ByteCensus census;
    std::size_t sequenceEnd = 0;  // the bytes before it belong to a sequence counted already
    for (std::size_t i = 0; i < bytes.size(); ++i) {
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
