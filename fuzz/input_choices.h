#pragma once

// The fuzzer's bytes as the choices of the pattern grammar
// (tests/cpp/rules/pattern_grammar.h).

#include <cstddef>
#include <cstdint>

// The next input byte, taken modulo the bound. Once the input is used up, the last
// choice: the grammar repeats while it draws 0, so that would never end.
class InputChoices {
public:
    InputChoices(const std::uint8_t* data, std::size_t size) : _data(data), _size(size) {}

    std::size_t operator()(std::size_t bound) { return _next < _size ? _data[_next++] % bound : bound - 1; }

private:
    const std::uint8_t* _data;
    std::size_t _size;
    std::size_t _next = 0;
};
