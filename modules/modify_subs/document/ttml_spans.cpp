#include "document/ttml_spans.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <utility>

#include "document/format_error.h"
#include "document/markup_text.h"

namespace {

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using Parser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree>;

// The text is UTF-8 by the time it is read: the declaration's encoding was the caller's to honour.
Parser utf8Parser() {
    Parser parser(XML_ParserCreate("UTF-8"));
    if (!parser) throw std::bad_alloc();
    return parser;
}

std::string_view localName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view prefixOf(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon + 1);
}

std::string whereFailed(XML_Parser parser) {
    return std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
           std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
           std::to_string(XML_GetCurrentColumnNumber(parser) + 1);
}

class TtmlReader {
public:
    explicit TtmlReader(std::string_view document) : _document(document), _parser(utf8Parser()) {
        XML_SetUserData(_parser.get(), this);
        XML_SetElementHandler(_parser.get(), &TtmlReader::onStart, &TtmlReader::onEnd);
        XML_SetCommentHandler(_parser.get(), &TtmlReader::onComment);
        XML_SetProcessingInstructionHandler(_parser.get(), &TtmlReader::onInstruction);
        XML_SetCdataSectionHandler(_parser.get(), &TtmlReader::onCdataStart, &TtmlReader::onCdataEnd);
        XML_SetStartDoctypeDeclHandler(_parser.get(), &TtmlReader::onDoctype);
    }

    std::vector<TextSpan> read() {
        // expat takes an int length: a longer document goes in parts.
        constexpr std::size_t part = 1 << 30;
        std::size_t at = 0;
        bool last = false;
        while (!last) {
            const std::string_view chunk = _document.substr(at, part);
            at += chunk.size();
            last = at == _document.size();
            if (XML_Parse(_parser.get(), chunk.data(), static_cast<int>(chunk.size()), last) != XML_STATUS_OK) {
                if (_refusal) throw SubtitleFormatError(*_refusal);
                throw SubtitleFormatError("not a well-formed TTML file: " + whereFailed(_parser.get()));
            }
        }
        return std::move(_spans);
    }

private:
    std::size_t here() const { return static_cast<std::size_t>(XML_GetCurrentByteIndex(_parser.get())); }
    std::size_t hereEnd() const { return here() + static_cast<std::size_t>(XML_GetCurrentByteCount(_parser.get())); }

    void piece(MarkupPiece::Kind kind, std::size_t begin, std::size_t end) {
        if (_content && begin < end) _content->pieces.push_back({kind, begin, end});
    }

    void start(std::string_view name, const XML_Char** attributes) {
        bool preserve = _preserve.empty() ? false : _preserve.back();
        for (const XML_Char** attribute = attributes; *attribute; attribute += 2) {
            if (std::string_view(attribute[0]) == "xml:space") preserve = std::string_view(attribute[1]) == "preserve";
        }
        _preserve.push_back(preserve);
        const std::string_view local = localName(name);
        if (_preserve.size() == 1 && local != "tt") {
            _refusal = "not a TTML file: the root element is <" + std::string(name) + ">, not <tt>";
            XML_StopParser(_parser.get(), XML_FALSE);
            return;
        }
        if (_content) {
            if (local == "br") _openBreaks.push_back({_content->pieces.size(), _preserve.size()});
            piece(local == "br" ? MarkupPiece::Kind::Break : MarkupPiece::Kind::Markup, here(), hereEnd());
        } else if (local == "p") {
            ++_paragraphs;
            const std::size_t end = hereEnd();
            // <p/> has no content to write a text into.
            if (_document.substr(0, end).ends_with("/>")) return;
            // Every other piece is reported, so what lies between them is character data.
            _content = MarkupContent{end, end, {}, preserve};
            _paragraphDepth = _preserve.size();
            _breakForm = "<" + std::string(prefixOf(name)) + "br/>";
        }
    }

    void end(std::string_view name) {
        if (_content && _preserve.size() == _paragraphDepth) {
            _content->end = here();
            _spans.push_back(markupSpan(_document, *_content, MarkupDialect::Ttml, _paragraphs, _breakForm));
            _content.reset();
            _openBreaks.clear();
        } else if (_content && !_openBreaks.empty() && _openBreaks.back().second == _preserve.size()) {
            // A <br> with content is one line break, whatever it holds.
            const std::size_t at = _openBreaks.back().first;
            _openBreaks.pop_back();
            _content->pieces.resize(at + 1);
            _content->pieces[at].end = std::max(_content->pieces[at].end, hereEnd());
        } else if (_content && hereEnd() > here()) {
            piece(MarkupPiece::Kind::Markup, here(), hereEnd());
        }
        _preserve.pop_back();
    }

    static void onStart(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<TtmlReader*>(self)->start(name, attributes);
    }
    static void onEnd(void* self, const XML_Char* name) { static_cast<TtmlReader*>(self)->end(name); }
    static void onComment(void* self, const XML_Char*) {
        auto* reader = static_cast<TtmlReader*>(self);
        reader->piece(MarkupPiece::Kind::Markup, reader->here(), reader->hereEnd());
    }
    static void onInstruction(void* self, const XML_Char*, const XML_Char*) { onComment(self, nullptr); }
    // Entities a DTD declares expand where no byte of the file stands; TTML has no DTD.
    static void onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        auto* reader = static_cast<TtmlReader*>(self);
        reader->_refusal = "not a TTML file: it has a DOCTYPE, which TTML documents don't";
        XML_StopParser(reader->_parser.get(), XML_FALSE);
    }
    static void onCdataStart(void* self) {
        auto* reader = static_cast<TtmlReader*>(self);
        reader->_cdataStart = reader->here();
    }
    // A CDATA section stays as it stands: its text is written as it was.
    static void onCdataEnd(void* self) {
        auto* reader = static_cast<TtmlReader*>(self);
        reader->piece(MarkupPiece::Kind::Markup, *reader->_cdataStart, reader->hereEnd());
        reader->_cdataStart.reset();
    }

    std::string_view _document;
    Parser _parser;
    std::vector<TextSpan> _spans;
    std::vector<bool> _preserve;  // xml:space of each open element
    std::optional<MarkupContent> _content;
    std::vector<std::pair<std::size_t, std::size_t>> _openBreaks;  // a <br>'s piece and depth
    std::size_t _paragraphDepth = 0;
    std::optional<std::size_t> _cdataStart;
    std::string _breakForm;
    std::optional<std::string> _refusal;
    int _paragraphs = 0;
};

struct ContentCheck {
    XML_Parser parser;
    std::optional<std::string> problem;
    int depth = 0;
    bool structure = true;
};

}  // namespace

std::vector<TextSpan> findTtmlSpans(std::string_view document) { return TtmlReader(document).read(); }

std::optional<std::string> ttmlContentProblem(std::string_view content, bool structure) {
    const Parser parser = utf8Parser();
    ContentCheck check{parser.get(), std::nullopt, 0, structure};
    XML_SetUserData(parser.get(), &check);
    XML_SetStartElementHandler(parser.get(), [](void* data, const XML_Char* name, const XML_Char**) {
        auto* check = static_cast<ContentCheck*>(data);
        const std::string_view local = localName(name);
        if (check->depth++ > 0 && check->structure &&
            (local == "p" || local == "div" || local == "body" || local == "tt")) {
            check->problem = "<" + std::string(name) + ">, which starts another paragraph";
            XML_StopParser(check->parser, XML_FALSE);
        }
    });
    const std::string wrapped = "<content>" + std::string(content) + "</content>";
    if (wrapped.size() > (1u << 30)) return "more than a gigabyte";
    if (XML_Parse(parser.get(), wrapped.data(), static_cast<int>(wrapped.size()), XML_TRUE) != XML_STATUS_OK &&
        !check.problem) {
        check.problem =
            "markup that is not well-formed (" + std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + ")";
    }
    return check.problem;
}
