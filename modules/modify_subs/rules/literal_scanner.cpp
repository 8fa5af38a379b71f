#include "rules/literal_scanner.h"

#include <algorithm>
#include <deque>
#include <limits>

namespace {

// Any piece of a required literal is required too; a short one keeps the automaton small.
constexpr std::size_t maxLiteralLength = 16;
constexpr std::uint32_t noState = std::numeric_limits<std::uint32_t>::max();

}  // namespace

LiteralScanner::LiteralScanner(const std::vector<std::vector<std::string>>& literalsByRule, const CaseFold& fold)
    : _seen(literalsByRule.size(), 0) {
    // Bytes that fold alike share a class; bytes in no literal share class 0.
    std::array<std::uint16_t, 256> classOfFolded{};
    for (const auto& literals : literalsByRule) {
        for (const std::string& literal : literals) {
            for (const char c : literal) {
                std::uint16_t& cls = classOfFolded[fold[static_cast<unsigned char>(c)]];
                if (cls == 0) {
                    cls = static_cast<std::uint16_t>(_classCount++);
                }
            }
        }
    }
    for (std::size_t byte = 0; byte < _classOf.size(); ++byte) {
        _classOf[byte] = classOfFolded[fold[byte]];
    }
    _next.assign(_classCount, noState);
    _rulesEndingAt.emplace_back();
    for (std::size_t rule = 0; rule < literalsByRule.size(); ++rule) {
        for (const std::string& literal : literalsByRule[rule]) {
            if (!literal.empty()) {
                const State end = addLiteral(std::string_view(literal).substr(0, maxLiteralLength));
                _rulesEndingAt[end].push_back(static_cast<std::uint32_t>(rule));
            }
        }
    }
    link();
}

LiteralScanner::State LiteralScanner::addLiteral(std::string_view literal) {
    State state = 0;
    for (const char c : literal) {
        const std::size_t slot = state * _classCount + _classOf[static_cast<unsigned char>(c)];
        if (_next[slot] == noState) {
            _next[slot] = static_cast<State>(_rulesEndingAt.size());
            _rulesEndingAt.emplace_back();
            _next.resize(_next.size() + _classCount, noState);
        }
        state = _next[slot];
    }
    return state;
}

// Turns the trie into a complete automaton: missing moves follow the failure links.
void LiteralScanner::link() {
    const std::size_t states = _rulesEndingAt.size();
    std::vector<State> failure(states, 0);
    _report.assign(states, 0);
    _suffixLink.assign(states, 0);
    std::deque<State> queue;
    for (std::size_t cls = 0; cls < _classCount; ++cls) {
        State& child = _next[cls];
        if (child == noState) {
            child = 0;
        } else {
            queue.push_back(child);
        }
    }
    while (!queue.empty()) {
        const State state = queue.front();
        queue.pop_front();
        const State fallback = failure[state];
        _suffixLink[state] = _report[fallback];
        _report[state] = _rulesEndingAt[state].empty() ? _report[fallback] : state;
        for (std::size_t cls = 0; cls < _classCount; ++cls) {
            State& child = _next[state * _classCount + cls];
            const State viaFallback = _next[fallback * _classCount + cls];
            if (child == noState) {
                child = viaFallback;
            } else {
                failure[child] = viaFallback;
                queue.push_back(child);
            }
        }
    }
}

void LiteralScanner::scan(std::string_view text) {
    if (++_scanNumber == 0) {
        std::fill(_seen.begin(), _seen.end(), 0);
        _scanNumber = 1;
    }
    record(text);
}

// Any literal that overlaps the change lies within the automaton's longest literal of it.
void LiteralScanner::rescanChanged(std::string_view text, std::size_t from, std::size_t to) {
    const std::size_t start = from > maxLiteralLength ? from - maxLiteralLength : 0;
    record(text.substr(start, to + maxLiteralLength - start));
}

void LiteralScanner::record(std::string_view text) {
    State state = 0;
    for (const char c : text) {
        state = _next[state * _classCount + _classOf[static_cast<unsigned char>(c)]];
        for (State hit = _report[state]; hit != 0; hit = _suffixLink[hit]) {
            for (const std::uint32_t rule : _rulesEndingAt[hit]) {
                _seen[rule] = _scanNumber;
            }
        }
    }
}
