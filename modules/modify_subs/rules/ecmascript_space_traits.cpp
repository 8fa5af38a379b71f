#include "rules/ecmascript_space_traits.h"

bool isEcmaScriptSpace(wchar_t c) {
    if (c < 0xA0) return c == L' ' || (c >= L'\t' && c <= L'\r');
    return c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

bool EcmaScriptSpaceTraits::isctype(wchar_t c, const char_class_type& characterClass) const {
    if (characterClass.ecmaScriptSpace && isEcmaScriptSpace(c)) return true;
    return std::regex_traits<wchar_t>::isctype(c, characterClass.locale);
}
