#pragma once

#include <array>
#include <locale>

// The byte mapping std::regex applies under icase: regex_traits<char>::translate_nocase
// is the ctype facet's tolower of the regex's locale. In the classic locale only A-Z
// move; a byte-wise locale may fold more, so the table is read from the facet itself.
using CaseFold = std::array<unsigned char, 256>;

inline CaseFold caseFoldOf(const std::locale& locale) {
    const auto& ctype = std::use_facet<std::ctype<char>>(locale);
    CaseFold fold{};
    for (std::size_t byte = 0; byte < fold.size(); ++byte) {
        fold[byte] = static_cast<unsigned char>(ctype.tolower(static_cast<char>(byte)));
    }
    return fold;
}

inline bool foldsEqual(const CaseFold& fold, char a, char b) {
    return fold[static_cast<unsigned char>(a)] == fold[static_cast<unsigned char>(b)];
}

// Letters compared as they are, for a case-sensitive rule.
inline const CaseFold& identityFold() {
    static const CaseFold fold = [] {
        CaseFold identity{};
        for (std::size_t byte = 0; byte < identity.size(); ++byte) identity[byte] = static_cast<unsigned char>(byte);
        return identity;
    }();
    return fold;
}
