#include "scheme/xml.h"

#include <algorithm>
#include <array>

#include "base/number.h"
#include "base/text.h"

namespace {

// ---- Character decoding ----

enum class Codec { Windows1252, Latin1, Ascii, Windows1251, Utf8, Utf16LE, Utf16BE };

struct Charset {
    std::wstring_view name;
    Codec codec;
};

constexpr Charset kCharsets[] = {
    {L"utf-8", Codec::Utf8},           {L"utf-16", Codec::Utf16LE},
    {L"utf-16le", Codec::Utf16LE},     {L"utf-16be", Codec::Utf16BE},
    {L"unicodeFFFE", Codec::Utf16BE},  {L"iso-8859-1", Codec::Latin1},
    {L"us-ascii", Codec::Ascii},       {L"windows-1251", Codec::Windows1251},
    {L"windows-1252", Codec::Windows1252},
};

// 0x80-0x9F of windows-1252; the five unassigned bytes map to the C1 controls, as Windows does.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// 0x80-0xBF of windows-1251; 0xC0-0xFF are U+0410-U+044F.
constexpr char16_t kWindows1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

constexpr char32_t kReplacement = 0xFFFD;

void appendCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    } else if (cp >= 0xD800 && cp < 0xE000) {
        cp = kReplacement;  // a lone surrogate is no character in UTF-32
    }
    out += static_cast<wchar_t>(cp);
}

char32_t decodeUtf8(std::string_view b, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
    const unsigned char lead = byte(pos);
    int length;
    char32_t cp, minimum;
    if (lead < 0x80) { ++pos; return lead; }
    if ((lead & 0xE0) == 0xC0) { length = 2; cp = lead & 0x1F; minimum = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { length = 3; cp = lead & 0x0F; minimum = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { length = 4; cp = lead & 0x07; minimum = 0x10000; }
    else { ++pos; return kReplacement; }
    if (pos + length > b.size()) { ++pos; return kReplacement; }
    for (int i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) { ++pos; return kReplacement; }
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) { ++pos; return kReplacement; }
    pos += length;
    return cp;
}

char32_t decodeUtf16(std::string_view b, std::size_t& pos, bool bigEndian) {
    const auto unitAt = [&](std::size_t i) -> char32_t {
        const auto lo = static_cast<unsigned char>(b[i + (bigEndian ? 1 : 0)]);
        const auto hi = static_cast<unsigned char>(b[i + (bigEndian ? 0 : 1)]);
        return static_cast<char32_t>(hi << 8 | lo);
    };
    if (pos + 2 > b.size()) { pos = b.size(); return kReplacement; }
    const char32_t unit = unitAt(pos);
    pos += 2;
    if (unit >= 0xD800 && unit < 0xDC00 && pos + 2 <= b.size()) {
        const char32_t low = unitAt(pos);
        if (low >= 0xDC00 && low < 0xE000) {
            pos += 2;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return unit;
}

// The position of the first byte from `from` on that is not ASCII (n when there is none);
// whole blocks are tested at once, which the compiler turns into vector instructions.
std::size_t asciiEnd(const unsigned char* data, std::size_t from, std::size_t n) {
    constexpr std::size_t kBlock = 32;
    std::size_t i = from;
    for (; i + kBlock <= n; i += kBlock) {
        unsigned char any = 0;
        for (std::size_t j = 0; j < kBlock; ++j) any |= data[i + j];
        if (any & 0x80) break;
    }
    while (i < n && data[i] < 0x80) ++i;
    return i;
}

// Character sets whose bytes below 0x80 are those ASCII characters, one byte each.
bool asciiCompatible(Codec codec) { return codec != Codec::Utf16LE && codec != Codec::Utf16BE; }

// Decodes one character at pos, appends it to out and moves pos past it.
void decodeOne(std::string_view b, std::size_t& pos, Codec codec, std::wstring& out) {
    const auto byte = static_cast<unsigned char>(b[pos]);
    switch (codec) {
    case Codec::Utf8: appendCodePoint(out, decodeUtf8(b, pos)); return;
    case Codec::Utf16LE: appendCodePoint(out, decodeUtf16(b, pos, false)); return;
    case Codec::Utf16BE: appendCodePoint(out, decodeUtf16(b, pos, true)); return;
    case Codec::Latin1: out += static_cast<wchar_t>(byte); break;
    case Codec::Ascii: out += byte < 0x80 ? static_cast<wchar_t>(byte) : wchar_t(kReplacement); break;
    case Codec::Windows1252:
        out += (byte >= 0x80 && byte < 0xA0) ? static_cast<wchar_t>(kWindows1252High[byte - 0x80])
                                             : static_cast<wchar_t>(byte);
        break;
    case Codec::Windows1251:
        out += byte < 0x80   ? static_cast<wchar_t>(byte)
               : byte < 0xC0 ? static_cast<wchar_t>(kWindows1251High[byte - 0x80])
                             : static_cast<wchar_t>(0x0410 + (byte - 0xC0));
        break;
    }
    ++pos;
}

// Writes one code point at out; returns the position after it.
wchar_t* putCodePoint(wchar_t* out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *out++ = static_cast<wchar_t>(0xD800 + (cp >> 10));
            *out++ = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return out;
        }
    } else if (cp >= 0xD800 && cp < 0xE000) {
        cp = kReplacement;
    }
    *out++ = static_cast<wchar_t>(cp);
    return out;
}

// Decodes all of b onto the end of out, as decodeOne would character by character, but
// single-byte sets through a table and runs of ASCII in UTF-8 without a call per byte.
void decodeAll(std::string_view b, Codec codec, std::wstring& out) {
    const std::size_t start = out.size();
    // No character set yields more characters than it has bytes (a four-byte UTF-8
    // sequence is two UTF-16 units at most; an odd UTF-16 tail is one replacement).
    out.resize(start + b.size());
    wchar_t* write = out.data() + start;
    const auto* read = reinterpret_cast<const unsigned char*>(b.data());
    const std::size_t n = b.size();
    switch (codec) {
    case Codec::Utf8:
        for (std::size_t pos = 0; pos < n;) {
            for (const std::size_t end = asciiEnd(read, pos, n); pos < end; ++pos) *write++ = static_cast<wchar_t>(read[pos]);
            if (pos < n) write = putCodePoint(write, decodeUtf8(b, pos));
        }
        break;
    case Codec::Utf16LE:
    case Codec::Utf16BE:
        for (std::size_t pos = 0; pos < n;) write = putCodePoint(write, decodeUtf16(b, pos, codec == Codec::Utf16BE));
        break;
    default: {
        wchar_t table[256];
        for (int byte = 0; byte < 256; ++byte) {
            std::wstring one;
            std::size_t pos = 0;
            const char c = static_cast<char>(byte);
            decodeOne(std::string_view(&c, 1), pos, codec, one);
            table[byte] = one[0];
        }
        // ASCII, the bulk of any scheme, is itself in every one of these sets.
        for (std::size_t i = 0; i < n;) {
            for (const std::size_t end = asciiEnd(read, i, n); i < end; ++i) *write++ = static_cast<wchar_t>(read[i]);
            if (i < n) *write++ = table[read[i++]];
        }
        break;
    }
    }
    out.resize(static_cast<std::size_t>(write - out.data()));
}

// ---- Character classes ----

bool isWhitespace(int c) { return (c >= 9 && c <= 13) || c == 32; }

// XML 1.0 NameChar within the Basic Multilingual Plane, without ":"; ASCII by a table,
// since names are read a character at a time.
constexpr auto kAsciiNameChars = [] {
    std::array<bool, 0x80> table{};
    for (int c = 0; c < 0x80; ++c)
        table[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
                   c == '-' || c == '.';
    return table;
}();

bool isNameChar(int c) {
    if (c < 0x80) return c >= 0 && kAsciiNameChars[c];
    return c == 0xB7 || (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) ||
           (c >= 0xF8 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || c == 0x200C ||
           c == 0x200D || c == 0x203F || c == 0x2040 || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD);
}

}  // namespace

// ---- Element and attribute access ----

const XmlAttribute* XmlElement::findAttribute(std::wstring_view name) const {
    for (auto it = attributes_.rbegin(); it != attributes_.rend(); ++it)
        if (sameTextNoCase(it->name, name)) return &*it;
    return nullptr;
}

std::wstring XmlElement::attributeValue(std::wstring_view name, const std::wstring& defaultValue) const {
    const XmlAttribute* attribute = findAttribute(name);
    return attribute ? std::wstring(attribute->value) : defaultValue;
}

long long XmlElement::attributeAsInteger(std::wstring_view name) const {
    const XmlAttribute* attribute = findAttribute(name);
    return attribute ? parseInteger(attribute->value).value_or(-1) : -1;
}

// ---- Document ----

void XmlDocument::clear() {
    // Assigned afresh rather than cleared: a document read once gives its memory back.
    text_ = {};
    elements_ = {};
    nodes_ = {};
    children_ = {};
    attributes_ = {};
    prolog_ = {};
    root_ = nullptr;
    version_ = L"1.0";
    encoding_ = L"iso-8859-1";
    standalone_ = false;
    ++generation_;
}

// Reads the whole document without recursion: open elements live on an explicit stack.
class XmlReader {
public:
    XmlReader(XmlDocument& doc, std::string_view bytes) : doc_(doc), text_(doc.text_), bytes_(bytes) {}

    void run() {
        startDecoding();
        try {
            readProlog();
            readRootElement();
        } catch (const EXmlReaderError&) {
            // What was completed stays: the root keeps its finished children, but not its name.
            if (!open_.empty()) {
                XmlElement& root = *open_.front().element;
                keepNodes(root, pending_.front());
                root.name_ = {};
                root.prefix_ = {};
                doc_.root_ = &root;
                open_.clear();
            } else if (rootStarted_ && !doc_.root_) {
                doc_.root_ = &doc_.elements_.emplace_back();
            }
            throw;
        }
    }

private:
    static constexpr int kEnd = -1;

    struct OpenElement {
        XmlElement* element;
        std::wstring_view qualifiedName;  // as the end tag must repeat it, within text_
    };

    enum class TagResult { Empty, Open, EndOfData };
    enum class ReadResult { Done, EndOfData };

    XmlDocument& doc_;
    std::wstring& text_;  // the document's: the tree's views point into it
    std::string_view bytes_;
    std::size_t pos_ = 0;
    // The text from segmentText_ on was decoded from bytes_ at segmentByte_ with segmentCodec_.
    std::size_t segmentText_ = 0;
    std::size_t segmentByte_ = 0;
    Codec segmentCodec_ = Codec::Windows1252;
    bool byteOrderMark_ = false;
    bool rootStarted_ = false;
    bool declarationRead_ = false;
    std::vector<OpenElement> open_;
    // The nodes of each open element by depth, until it closes and they move to the
    // document's node list together; kept between elements so that they are rarely grown.
    std::vector<std::vector<XmlNode>> pending_;

    [[noreturn]] static void fail(const std::wstring& message) { throw EXmlReaderError(message); }
    static std::wstring charText(int c) { return c == kEnd ? std::wstring() : std::wstring(1, static_cast<wchar_t>(c)); }

    bool atEnd() const { return pos_ >= text_.size(); }
    int current() const { return atEnd() ? kEnd : static_cast<int>(text_[pos_]); }
    int next(std::size_t ahead) const {
        return pos_ + ahead < text_.size() ? static_cast<int>(text_[pos_ + ahead]) : kEnd;
    }
    std::wstring_view view(std::size_t start, std::size_t length) const {
        return std::wstring_view(text_).substr(start, length);
    }
    bool startsWith(std::wstring_view s) const { return std::wstring_view(text_).substr(pos_).starts_with(s); }
    void skipWhitespace() {
        while (!atEnd() && isWhitespace(text_[pos_])) ++pos_;
    }

    // ---- decoding ----

    void decodeRest(std::size_t fromByte, Codec codec) {
        segmentText_ = text_.size();
        segmentByte_ = fromByte;
        segmentCodec_ = codec;
        decodeAll(bytes_.substr(fromByte), codec, text_);
    }

    void startDecoding() {
        // No character set decodes to more characters than it has bytes, and a declaration
        // re-decodes only what follows it: the text never outgrows this, so the views taken
        // in the prolog stay valid.
        text_.reserve(bytes_.size());
        const auto has = [&](std::string_view mark) { return bytes_.starts_with(mark); };
        if (has("\xEF\xBB\xBF")) decodeRest(3, Codec::Utf8);
        else if (has("\xFF\xFE")) decodeRest(2, Codec::Utf16LE);
        else if (has("\xFE\xFF")) decodeRest(2, Codec::Utf16BE);
        else { decodeRest(0, Codec::Windows1252); return; }
        byteOrderMark_ = true;
    }

    // The declaration names the character set of everything after it.
    void switchCharset(const std::wstring& name) {
        const Charset* found = nullptr;
        for (const Charset& charset : kCharsets)
            if (sameTextNoCase(charset.name, name)) found = &charset;
        if (!found) fail(L"No matching charset");
        // A byte-order mark has already fixed the encoding; decoding its bytes in another
        // character set would only garble the text.
        if (byteOrderMark_) return;
        std::size_t byte = segmentByte_;
        std::wstring scratch;
        while (segmentText_ + scratch.size() < pos_) decodeOne(bytes_, byte, segmentCodec_, scratch);
        // Without a byte-order mark the text so far was read one character per byte. ASCII
        // reads the same in both sets, so only what follows its first other byte is decoded
        // anew (for an all-ASCII document, nothing).
        if (asciiCompatible(found->codec)) {
            const std::size_t keep =
                asciiEnd(reinterpret_cast<const unsigned char*>(bytes_.data()), byte, bytes_.size());
            text_.resize(pos_ + (keep - byte));
            byte = keep;
        } else {
            text_.resize(pos_);
        }
        decodeRest(byte, found->codec);
    }

    // ---- prolog ----

    void readProlog() {
        for (;;) {
            skipWhitespace();
            if (atEnd()) return;
            if (current() != L'<') fail(L"Invalid Document: Unexpected text in file prolog");
            if (startsWith(L"<?xml ")) readDeclaration();
            else if (startsWith(L"<!--")) {
                pos_ += 4;
                doc_.prolog_.push_back({XmlNodeKind::Comment, readCommentText(), nullptr});
            } else if (startsWith(L"<!DOCTYPE")) readDocType();
            else if (startsWith(L"<?xml-stylesheet")) readInstruction(L"xml-stylesheet", L"Invalid Stylesheet");
            else if (startsWith(L"<?mso-application")) readInstruction(L"mso-application", L"Invalid MSO");
            else if (next(1) == L'!' || next(1) == L'?') fail(L"Invalid XML Element: malformed tag found (no valid name)");
            else return;
        }
    }

    // Reads attributes, optional whitespace and "?>" of a declaration or instruction; the
    // attributes go to holder.
    void readInstructionTail(std::vector<XmlAttribute>& attributes, XmlElement& holder, const std::wstring& what,
                             const std::wstring& endOfData) {
        if (readAttributes(attributes, holder) == ReadResult::EndOfData) fail(endOfData);
        skipWhitespace();
        for (wchar_t expected : {L'?', L'>'}) {
            if (atEnd()) fail(endOfData);
            if (current() != expected)
                fail(what + L": expected \"" + std::wstring(1, expected) + L"\" but found \"" +
                     charText(current()) + L"\"");
            ++pos_;
        }
    }

    void readDeclaration() {
        const std::size_t start = pos_;
        pos_ += 5;  // "<?xml"; the whitespace after it is skipped with the attributes
        // The end-of-data message names a comment here too; that is how it reads.
        std::vector<XmlAttribute> attributes;
        XmlElement holder;
        readInstructionTail(attributes, holder, L"Invalid Header", L"Invalid Comment: Unexpected end of data");
        // XML has one declaration. A repeated one is kept in the prolog but selects nothing:
        // decoding the rest of the data anew for each would make the load quadratic.
        if (declarationRead_) {
            doc_.prolog_.push_back({XmlNodeKind::Declaration, view(start, pos_ - start), nullptr});
            return;
        }
        declarationRead_ = true;
        doc_.version_ = holder.attributeValue(L"version", L"1.0");
        doc_.encoding_ = holder.attributeValue(L"encoding", L"iso-8859-1");
        doc_.standalone_ = holder.attributeValue(L"standalone") == L"yes";
        doc_.prolog_.push_back({XmlNodeKind::Declaration, view(start, pos_ - start), nullptr});
        switchCharset(doc_.encoding_);
    }

    void readInstruction(std::wstring_view keyword, const std::wstring& what) {
        const std::size_t start = pos_;
        pos_ += 2 + keyword.size();
        std::vector<XmlAttribute> attributes;
        XmlElement holder;
        readInstructionTail(attributes, holder, what, what + L": Unexpected end of data");
        doc_.prolog_.push_back({XmlNodeKind::ProcessingInstruction, view(start, pos_ - start), nullptr});
    }

    void readDocType() {
        const std::size_t start = pos_;
        pos_ += 9;  // "<!DOCTYPE"
        bool inSubset = false;
        for (;; ++pos_) {
            if (atEnd()) fail(L"Invalid Comment: Unexpected end of data");
            const wchar_t c = text_[pos_];
            if (c == L'[') inSubset = true;
            else if (c == L']') inSubset = false;
            else if (c == L'>' && !inSubset) break;
        }
        ++pos_;
        doc_.prolog_.push_back({XmlNodeKind::DocType, view(start, pos_ - start), nullptr});
    }

    // After "<!--": the text up to "-->".
    std::wstring_view readCommentText() {
        const std::size_t dashes = text_.find(L"--", pos_);
        if (dashes == std::wstring::npos || dashes + 2 >= text_.size())
            fail(L"Invalid Comment: Unexpected end of data");
        if (text_[dashes + 2] != L'>') fail(L"Invalid Comment: \"--\" not allowed inside comments");
        const std::wstring_view comment = view(pos_, dashes - pos_);
        pos_ = dashes + 3;
        return comment;
    }

    // ---- attributes ----

    // Appends attributes to `attributes` until "/", ">" or "?" (left unread), owner's
    // attributes being those appended. An attribute cut off by the end of the data is dropped.
    ReadResult readAttributes(std::vector<XmlAttribute>& attributes, XmlElement& owner) {
        const std::size_t first = attributes.size();
        for (;;) {
            skipWhitespace();
            if (atEnd()) return ReadResult::EndOfData;
            int c = current();
            if (c == L'/' || c == L'>' || c == L'?') return ReadResult::Done;
            const auto unexpected = [](int ch) {
                fail(L"Invalid XML Element: Unexpected character in property declaration (\"" +
                     charText(ch) + L"\" found)");
            };
            if (!isNameChar(c)) unexpected(c);
            // The name is what follows the last colon, the prefix what precedes it.
            const std::size_t nameStart = pos_;
            std::size_t lastColon = std::wstring::npos;
            for (; !atEnd(); ++pos_) {
                c = current();
                if (c == L':') lastColon = pos_;
                else if (!isNameChar(c)) break;
            }
            const std::wstring_view qualified(text_.data() + nameStart, pos_ - nameStart);
            const std::size_t colon = lastColon == std::wstring::npos ? std::wstring::npos : lastColon - nameStart;
            skipWhitespace();
            if (atEnd()) return ReadResult::EndOfData;
            if (current() != L'=') unexpected(current());
            ++pos_;
            skipWhitespace();
            if (atEnd()) return ReadResult::EndOfData;
            const int quote = current();
            if (quote != L'"' && quote != L'\'')
                fail(L"Invalid XML Element: Unexpected character in property declaration. "
                     L"Expecting \" or ' but \"" + charText(quote) + L"\"  found");
            const std::size_t close = text_.find(static_cast<wchar_t>(quote), pos_ + 1);
            if (close == std::wstring::npos) {
                pos_ = text_.size();
                return ReadResult::EndOfData;
            }
            XmlAttribute& attribute = attributes.emplace_back();
            if (colon == std::wstring::npos) {
                attribute.name = qualified;
            } else {
                attribute.name = qualified.substr(colon + 1);
                attribute.prefix = qualified.substr(0, colon);
            }
            attribute.value = view(pos_ + 1, close - pos_ - 1);
            owner.attributes_ = std::span<const XmlAttribute>(attributes).subspan(first);
            pos_ = close + 1;
        }
    }

    // ---- elements ----

    // At "<": reads a start tag and opens its element.
    TagResult readStartTag() {
        // The message is built only when it is needed: this runs once for each element.
        const auto malformed = [] { fail(L"Invalid XML Element: malformed tag found (no valid name)"); };
        ++pos_;
        if (isWhitespace(current())) malformed();
        // At most one colon: the prefix before it, the name after it.
        const std::size_t start = pos_;
        std::size_t colon = std::wstring::npos;
        for (; !atEnd(); ++pos_) {
            const int c = current();
            if (isNameChar(c)) continue;
            if (c == L':' && colon == std::wstring::npos) colon = pos_;
            else if (isWhitespace(c) || c == L'/' || c == L'>') break;
            else malformed();
        }
        const std::wstring_view qualified(text_.data() + start, pos_ - start);
        const std::size_t nameStart = colon == std::wstring::npos ? start : colon + 1;
        if (pos_ == nameStart) {
            if (atEnd()) return TagResult::EndOfData;
            malformed();
        }
        if (open_.size() >= XmlDocument::kMaxDepth)
            fail(L"Invalid XML Element: elements nested deeper than " +
                 std::to_wstring(XmlDocument::kMaxDepth) + L" levels");
        XmlElement& opened = doc_.elements_.emplace_back();
        opened.name_ = view(nameStart, pos_ - nameStart);
        if (colon != std::wstring::npos) opened.prefix_ = view(start, colon - start);
        open_.push_back({&opened, qualified});
        if (pending_.size() < open_.size()) pending_.emplace_back();

        if (isWhitespace(current()) && readAttributes(doc_.attributes_, opened) == ReadResult::EndOfData)
            return TagResult::EndOfData;
        skipWhitespace();
        if (atEnd()) return TagResult::EndOfData;
        if (current() == L'/') {
            ++pos_;
            if (atEnd()) return TagResult::EndOfData;
            if (current() != L'>')
                fail(L"Invalid XML Element: Expected end of tag but \"" + charText(current()) + L"\" found");
            ++pos_;
            return TagResult::Empty;
        }
        if (current() != L'>')
            fail(L"Invalid XML Element: Expected end of tag but \"" + charText(current()) + L"\" found");
        ++pos_;
        return TagResult::Open;
    }

    // Moves an element's nodes to the document's list, its child elements to the list of
    // children, each in one run.
    void keepNodes(XmlElement& element, std::vector<XmlNode>& nodes) {
        const std::size_t firstNode = doc_.nodes_.size(), firstChild = doc_.children_.size();
        doc_.nodes_.insert(doc_.nodes_.end(), nodes.begin(), nodes.end());
        for (const XmlNode& node : nodes)
            if (node.element) doc_.children_.push_back(node.element);
        element.nodes_ = std::span<const XmlNode>(doc_.nodes_).subspan(firstNode);
        element.elements_ = std::span<const XmlElement* const>(doc_.children_).subspan(firstChild);
        nodes.clear();
    }

    // Closes the innermost open element and hands it to its parent (or the document).
    void closeElement() {
        XmlElement& element = *open_.back().element;
        std::vector<XmlNode>& nodes = pending_[open_.size() - 1];
        open_.pop_back();
        if (nodes.size() == 1 && nodes.front().kind == XmlNodeKind::Text) {
            element.value_ = nodes.front().value;
            nodes.clear();
        }
        keepNodes(element, nodes);
        if (open_.empty())
            doc_.root_ = &element;
        else
            pending_[open_.size() - 1].push_back({XmlNodeKind::Element, {}, &element});
    }

    // Data that ends inside elements closes them all with what was read.
    void closeAll() {
        while (!open_.empty()) closeElement();
    }

    // At "</": reads the end tag of the innermost open element.
    ReadResult readEndTag() {
        pos_ += 2;
        const std::size_t start = pos_;
        while (!atEnd() && (isNameChar(current()) || current() == L':')) ++pos_;
        const std::wstring_view name(text_.data() + start, pos_ - start);
        skipWhitespace();
        if (atEnd()) return ReadResult::EndOfData;
        if (current() != L'>') fail(L"Invalid XML Element: malformed tag found (no valid name)");
        ++pos_;
        const OpenElement& open = open_.back();
        // Nearly every end tag repeats its start tag exactly; only the others are compared
        // without regard to case.
        if (name != open.qualifiedName && !sameTextNoCase(name, open.qualifiedName))
            fail(L"Invalid XML Element: Erroneous end of tag, expecting </" + std::wstring(open.element->name_) +
                 L"> but </" + std::wstring(name) + L"> found");
        closeElement();
        return ReadResult::Done;
    }

    void addNode(XmlNodeKind kind, std::wstring_view value) { pending_[open_.size() - 1].push_back({kind, value, nullptr}); }

    // Room for the most the text can hold, so that nothing moves while the tree grows:
    // every element, comment and CDATA section starts with "<", every text node ends before
    // one or at the end, every attribute has its "=". Counted in the bytes, where each of
    // those characters is one byte of that value in every character set read here.
    void reserveTree() {
        std::size_t tags = 0, equals = 0;
        // In runs short enough for byte-sized counters, which the compiler vectorises.
        for (std::size_t i = 0; i < bytes_.size();) {
            const std::size_t end = std::min(bytes_.size(), i + 255);
            unsigned char runTags = 0, runEquals = 0;
            for (; i < end; ++i) {
                runTags += bytes_[i] == '<';
                runEquals += bytes_[i] == '=';
            }
            tags += runTags;
            equals += runEquals;
        }
        doc_.elements_.reserve(tags + 1);
        doc_.nodes_.reserve(2 * tags + 1);
        doc_.children_.reserve(tags);
        doc_.attributes_.reserve(equals);
    }

    void readRootElement() {
        skipWhitespace();
        reserveTree();
        if (current() != L'<')
            fail(L"Invalid XML Element: Expected beginning of tag but \"" + charText(current()) + L"\" found");
        rootStarted_ = true;
        switch (readStartTag()) {
        case TagResult::EndOfData: closeAll(); return;
        case TagResult::Empty: closeElement(); return;
        case TagResult::Open: break;
        }
        // Content of the innermost open element, until the root's end tag.
        while (!open_.empty()) {
            if (current() != L'<') {
                const std::size_t start = pos_;
                const std::size_t lt = text_.find(L'<', pos_);
                pos_ = lt == std::wstring::npos ? text_.size() : lt;
                for (std::size_t i = start; i < pos_; ++i) {
                    if (!isWhitespace(text_[i])) {
                        addNode(XmlNodeKind::Text, view(start, pos_ - start));
                        break;
                    }
                }
            }
            if (atEnd()) { closeAll(); return; }
            if (next(1) == L'/') {
                if (readEndTag() == ReadResult::EndOfData) { closeAll(); return; }
            } else if (startsWith(L"<!--")) {
                pos_ += 4;
                addNode(XmlNodeKind::Comment, readCommentText());
            } else if (startsWith(L"<![CDATA[")) {
                pos_ += 9;
                const std::size_t end = text_.find(L"]]>", pos_);
                if (end == std::wstring::npos) fail(L"Invalid CDATA: Unexpected end of data");
                addNode(XmlNodeKind::CData, view(pos_, end - pos_));
                pos_ = end + 3;
            } else {
                switch (readStartTag()) {
                case TagResult::EndOfData: closeAll(); return;
                case TagResult::Empty: closeElement(); break;
                case TagResult::Open: break;
                }
            }
        }
    }
};

void XmlDocument::loadFromBytes(std::string_view bytes) {
    clear();
    XmlReader(*this, bytes).run();
}
