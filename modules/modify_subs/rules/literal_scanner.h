#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rules/case_fold.h"

// Finds which rules' literals occur in a text with one pass over the text for all
// rules (an Aho-Corasick automaton over case-folded bytes).
class LiteralScanner {
public:
    // literalsByRule[i] are rule i's literals, any of which counts; a rule without
    // literals is never found.
    LiteralScanner(const std::vector<std::vector<std::string>>& literalsByRule, const CaseFold& fold);

    // Forgets the previous scan and records the rules found in `text`.
    void scan(std::string_view text);

    // Adds the rules found where `text` differs from the text scanned last, which it
    // replaces: its bytes [from, to). A literal that the change removed stays found,
    // which costs its rule a run of its regex and nothing more.
    void rescanChanged(std::string_view text, std::size_t from, std::size_t to);

    bool found(std::size_t rule) const { return _seen[rule] == _scanNumber; }

private:
    using State = std::uint32_t;

    void record(std::string_view text);
    State addLiteral(std::string_view literal);
    void link();

    std::array<std::uint16_t, 256> _classOf{};
    std::size_t _classCount = 1;
    std::vector<State> _next;  // state * _classCount + class
    std::vector<std::vector<std::uint32_t>> _rulesEndingAt;
    std::vector<State> _report;      // the state itself or its nearest suffix that ends literals; 0 for none
    std::vector<State> _suffixLink;  // from a reporting state to the next shorter one
    std::vector<std::uint32_t> _seen;
    std::uint32_t _scanNumber = 0;
};
