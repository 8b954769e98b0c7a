#include <doctest/doctest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

#include "base/text.h"
#include "scheme/xml.h"
#include "tests/support/files.h"

namespace {

std::string readFixture(const std::string& name) { return testsupport::sourceFile("tests/fixtures/scheme/" + name); }

std::string narrow(std::wstring_view text) { return toUtf8(text); }

// The message of the reader error that loading raises, or "" when it loads.
std::wstring loadError(XmlDocument& doc, std::string_view bytes) {
    try {
        doc.loadFromBytes(bytes);
    } catch (const EXmlReaderError& e) {
        return e.message();
    }
    return {};
}

const XmlElement& only(const XmlElement& parent) {
    REQUIRE(parent.elements().size() == 1);
    return *parent.elements().front();
}

}  // namespace

TEST_CASE("the scheme's lenient forms load as written") {
    XmlDocument doc;
    doc.loadFromBytes(readFixture("small_scheme.xml"));
    const XmlElement* root = doc.root();
    REQUIRE(root);
    CHECK(root->name() == L"OBJECTS");
    CHECK(doc.encoding() == L"UTF-8");
    REQUIRE(root->attributes().size() == 2);
    CHECK(root->attributes()[0].prefix == L"xmlns");
    CHECK(root->attributes()[0].name == L"xsi");
    CHECK(root->attributes()[1].prefix == L"xsi");
    CHECK(root->attributes()[1].name == L"noNamespaceSchemaLocation");
    CHECK(root->attributes()[1].value == L"C:\\Schemes\\objects.xsd");

    const XmlElement* description = root->elements()[0];
    CHECK(description->name() == L"Description");
    bool found1001 = false;
    for (const XmlElement* entry : description->elements()) found1001 |= entry->name() == L"1001";
    CHECK(found1001);

    const XmlElement* valueTypes = root->elements()[7];
    REQUIRE(valueTypes->name() == L"ValueType");
    const XmlElement* integer10 = valueTypes->elements()[1];
    REQUIRE(integer10->name() == L"Integer10");
    REQUIRE(integer10->attributes().size() == 2);
    CHECK(integer10->attributes()[0].value == L"1");
    CHECK(integer10->attributes()[1].value == L"0");
    CHECK(integer10->attributeValue(L"Value1") == L"0");
    CHECK(integer10->attributeValue(L"value1") == L"0");

    // Written as an open and a close tag around a line end: no children, no value.
    const XmlElement* restriction = root->elements()[3];
    CHECK(restriction->name() == L"Restriction");
    CHECK(restriction->nodes().empty());
    CHECK(restriction->value().empty());
}

TEST_CASE("attribute lookup: last of the name wins, case-insensitive, nothing created") {
    XmlDocument doc;
    doc.loadFromBytes(R"(<a Value1="1" other="x" VALUE1="0" amp="&amp;" dq="it's" sq='say "hi"'/>)");
    const XmlElement& a = *doc.root();
    CHECK(a.findAttribute(L"value1") == &a.attributes()[2]);
    CHECK(a.attributeValue(L"Value1") == L"0");
    CHECK(a.attributeValue(L"amp") == L"&amp;");
    CHECK(a.attributeValue(L"dq") == L"it's");
    CHECK(a.attributeValue(L"sq") == L"say \"hi\"");

    CHECK(a.findAttribute(L"missing") == nullptr);
    CHECK(a.attributeValue(L"missing") == L"");
    CHECK(a.attributeValue(L"missing", L"fallback") == L"fallback");
    CHECK(a.attributes().size() == 6);
}

TEST_CASE("attribute values keep line ends and markup characters verbatim") {
    XmlDocument doc;
    doc.loadFromBytes("<a v=\"line1\r\nline2 <b> &lt; &#65;\"/>");
    CHECK(doc.root()->attributeValue(L"v") == L"line1\r\nline2 <b> &lt; &#65;");
}

TEST_CASE("attribute as integer") {
    const struct {
        const wchar_t* text;
        long long expected;
    } cases[] = {
        {L"12", 12},   {L"-1", -1},   {L" 7", 7},     {L"7 ", -1},     {L"", -1},
        {L"abc", -1},  {L"$1F", 31},  {L"0x1F", 31},  {L"0X1f", 31},   {L"x1F", 31},
        {L"+5", 5},    {L"-$10", -16}, {L"$", -1},    {L"0x", -1},     {L"-", -1},
        {L"0", 0},     {L"\t7", -1},  {L"1e3", -1},
        {L"9223372036854775807", 9223372036854775807LL},
        {L"9223372036854775808", -1},
        {L"-9223372036854775808", static_cast<long long>(0x8000000000000000ULL)},
        {L"99999999999999999999", -1},
        {L"$FFFFFFFFFFFFFFFF", -1},
        {L"$10000000000000000", -1},
    };
    for (const auto& c : cases) {
        CAPTURE(narrow(c.text));
        XmlDocument doc;
        doc.loadFromBytes("<a v=\"" + narrow(c.text) + "\"/>");
        CHECK(doc.root()->attributeAsInteger(L"v") == c.expected);
    }

    XmlDocument doc;
    doc.loadFromBytes(R"(<a img16="$1F" img32="" big="4294967295"/>)");
    CHECK(doc.root()->attributeAsInteger(L"IMG16") == 31);
    CHECK(doc.root()->attributeAsInteger(L"img32") == -1);
    CHECK(doc.root()->attributeAsInteger(L"absent") == -1);
    // Callers take the result as a 32-bit integer.
    CHECK(static_cast<int>(doc.root()->attributeAsInteger(L"big")) == -1);
}

TEST_CASE("content: value, children and whitespace") {
    XmlDocument doc;

    SUBCASE("whitespace-only content makes nothing") {
        doc.loadFromBytes("<a> \r\n\t </a>");
        CHECK(doc.root()->nodes().empty());
        CHECK(doc.root()->value().empty());
    }
    SUBCASE("a single text run becomes the value, surrounding blanks kept") {
        doc.loadFromBytes("<a> x </a>");
        CHECK(doc.root()->nodes().empty());
        CHECK(doc.root()->value() == L" x ");
    }
    SUBCASE("mixed content keeps every node in document order") {
        doc.loadFromBytes("<a> t <b/><!-- c --><![CDATA[<d> & ]]>\r\n<e>v</e> u </a>");
        const XmlElement& a = *doc.root();
        CHECK(a.value().empty());
        REQUIRE(a.nodes().size() == 6);
        const struct {
            XmlNodeKind kind;
            const wchar_t* value;
            const wchar_t* name;
        } expected[] = {
            {XmlNodeKind::Text, L" t ", nullptr},        {XmlNodeKind::Element, L"", L"b"},
            {XmlNodeKind::Comment, L" c ", nullptr},     {XmlNodeKind::CData, L"<d> & ", nullptr},
            {XmlNodeKind::Element, L"", L"e"},           {XmlNodeKind::Text, L" u ", nullptr},
        };
        for (std::size_t i = 0; i < a.nodes().size(); ++i) {
            CAPTURE(i);
            CHECK(a.nodes()[i].kind == expected[i].kind);
            CHECK(a.nodes()[i].value == expected[i].value);
            if (expected[i].name) CHECK(a.nodes()[i].element->name() == expected[i].name);
        }
        REQUIRE(a.elements().size() == 2);
        CHECK(a.elements()[1]->value() == L"v");
    }
    SUBCASE("a lone comment is a child, not a value") {
        doc.loadFromBytes("<a><!--x--></a>");
        REQUIRE(doc.root()->nodes().size() == 1);
        CHECK(doc.root()->nodes()[0].kind == XmlNodeKind::Comment);
        CHECK(doc.root()->value().empty());
    }
}

TEST_CASE("names: digits first, prefixes, end tags compared without case") {
    XmlDocument doc;
    doc.loadFromBytes("<OBJECTS><1001/><ns:Item ns:attr='v'></NS:ITEM><A b='x'></a><-.x/></objects>");
    const XmlElement& root = *doc.root();
    REQUIRE(root.elements().size() == 4);
    CHECK(root.elements()[0]->name() == L"1001");
    const XmlElement& item = *root.elements()[1];
    CHECK(item.name() == L"Item");
    CHECK(item.prefix() == L"ns");
    REQUIRE(item.attributes().size() == 1);
    CHECK(item.attributes()[0].name == L"attr");
    CHECK(item.attributes()[0].prefix == L"ns");
    CHECK(item.attributeValue(L"attr") == L"v");
    CHECK(root.elements()[2]->name() == L"A");
    CHECK(root.elements()[2]->attributeValue(L"b") == L"x");
    CHECK(root.elements()[3]->name() == L"-.x");
}

TEST_CASE("prolog items are kept; declaration fields stored") {
    XmlDocument doc;
    doc.loadFromBytes(
        "\r\n <?xml version=\"1.1\" encoding=\"us-ascii\" standalone=\"yes\" ?>\r\n"
        "<!-- about -->\r\n"
        "<!DOCTYPE r [ <!ENTITY gt \">\"> ]>\r\n"
        "<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\r\n"
        "<?mso-application progid=\"Excel.Sheet\"?>\r\n"
        "<r/>");
    CHECK(doc.version() == L"1.1");
    CHECK(doc.encoding() == L"us-ascii");
    CHECK(doc.standalone());
    REQUIRE(doc.prolog().size() == 5);
    CHECK(doc.prolog()[0].kind == XmlNodeKind::Declaration);
    CHECK(doc.prolog()[1].kind == XmlNodeKind::Comment);
    CHECK(doc.prolog()[1].value == L" about ");
    CHECK(doc.prolog()[2].kind == XmlNodeKind::DocType);
    CHECK(doc.prolog()[2].value == L"<!DOCTYPE r [ <!ENTITY gt \">\"> ]>");
    CHECK(doc.prolog()[3].kind == XmlNodeKind::ProcessingInstruction);
    CHECK(doc.prolog()[4].kind == XmlNodeKind::ProcessingInstruction);
    CHECK(doc.root()->name() == L"r");

    doc.loadFromBytes("<r/>");
    CHECK(doc.version() == L"1.0");
    CHECK(doc.encoding() == L"iso-8859-1");
    CHECK_FALSE(doc.standalone());
    CHECK(doc.prolog().empty());
}

TEST_CASE("what is after the root, and data that ends early, load without error") {
    XmlDocument doc;

    SUBCASE("trailing text, comments and elements are ignored") {
        CHECK(loadError(doc, "<r><a/></r> trailing <b/><!-- c --> <<<") == L"");
        CHECK(doc.root()->name() == L"r");
        CHECK(doc.root()->nodes().size() == 1);
    }
    SUBCASE("ending in content closes every open element") {
        CHECK(loadError(doc, "<r><a/><b><c>text") == L"");
        const XmlElement& r = *doc.root();
        CHECK(r.name() == L"r");
        REQUIRE(r.elements().size() == 2);
        const XmlElement& b = *r.elements()[1];
        CHECK(b.name() == L"b");
        CHECK(only(b).name() == L"c");
        CHECK(only(b).value() == L"text");
    }
    SUBCASE("ending inside an attribute drops only that attribute") {
        CHECK(loadError(doc, "<r><a x=\"1\" y=\"unterminated") == L"");
        const XmlElement& a = only(*doc.root());
        REQUIRE(a.attributes().size() == 1);
        CHECK(a.attributes()[0].name == L"x");
    }
    const struct {
        const char* text;
        std::size_t rootChildren;
    } cutOff[] = {
        {"<r><a", 1}, {"<r><a ", 1}, {"<r><a x", 1}, {"<r><a x=", 1}, {"<r><a/", 1},
        {"<r><", 0},  {"<r></r", 0}, {"<r><a></a", 1},
    };
    for (const auto& c : cutOff) {
        CAPTURE(c.text);
        CHECK(loadError(doc, c.text) == L"");
        REQUIRE(doc.root());
        CHECK(doc.root()->name() == L"r");
        CHECK(doc.root()->elements().size() == c.rootChildren);
    }
}

TEST_CASE("every malformed construct fails with its message") {
    const std::string deep = [] {
        std::string s;
        for (std::size_t i = 0; i <= XmlDocument::kMaxDepth; ++i) s += "<e>";
        return s;
    }();
    const struct {
        std::string text;
        const wchar_t* message;
    } cases[] = {
        {"", L"Invalid XML Element: Expected beginning of tag but \"\" found"},
        {"x<a/>", L"Invalid Document: Unexpected text in file prolog"},
        {"<?xml version=\"1.0\"?> x<a/>", L"Invalid Document: Unexpected text in file prolog"},
        {"<?php echo?><a/>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<?xml\tversion=\"1.0\"?><a/>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<!ELEMENT a ANY><a/>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<?xml version=\"1.0\" ><a/>", L"Invalid Header: expected \"?\" but found \">\""},
        {"<?xml version=\"1.0\"?<a/>", L"Invalid Header: expected \">\" but found \"<\""},
        {"<?xml version=\"1.0\"?", L"Invalid Comment: Unexpected end of data"},
        {"<?xml version=\"1.0", L"Invalid Comment: Unexpected end of data"},
        {"<?xml version=\"1.0\" encoding=\"klingon\"?><a/>", L"No matching charset"},
        {"<!DOCTYPE a [ <!ENTITY x \">\"> ", L"Invalid Comment: Unexpected end of data"},
        {"<?xml-stylesheet href=\"a\" ><a/>", L"Invalid Stylesheet: expected \"?\" but found \">\""},
        {"<?xml-stylesheet href=\"a\"", L"Invalid Stylesheet: Unexpected end of data"},
        {"<?mso-application progid=\"x\"/><a/>", L"Invalid MSO: expected \"?\" but found \"/\""},
        {"<?mso-application progid=\"x\"?", L"Invalid MSO: Unexpected end of data"},
        {"<!-- open", L"Invalid Comment: Unexpected end of data"},
        {"<a><!-- a -- b --></a>", L"Invalid Comment: \"--\" not allowed inside comments"},
        {"<a><!-- open", L"Invalid Comment: Unexpected end of data"},
        {"<a><![CDATA[ x ]]", L"Invalid CDATA: Unexpected end of data"},
        {"<a><?pi x?></a>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<a><!X></a>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"< a/>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<a:b:c/>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<a$/>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<a><></a>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<a></a b>", L"Invalid XML Element: malformed tag found (no valid name)"},
        {"<a/ >", L"Invalid XML Element: Expected end of tag but \" \" found"},
        {"<a b=\"1\"?>", L"Invalid XML Element: Expected end of tag but \"?\" found"},
        {"<a $=\"1\"/>", L"Invalid XML Element: Unexpected character in property declaration (\"$\" found)"},
        {"<a b$=\"1\"/>", L"Invalid XML Element: Unexpected character in property declaration (\"$\" found)"},
        {"<a b c=\"1\"/>", L"Invalid XML Element: Unexpected character in property declaration (\"c\" found)"},
        {"<a b=1/>", L"Invalid XML Element: Unexpected character in property declaration. Expecting \" or ' but \"1\"  found"},
        {"<A></B>", L"Invalid XML Element: Erroneous end of tag, expecting </A> but </B> found"},
        {"<ns:A></A>", L"Invalid XML Element: Erroneous end of tag, expecting </A> but </A> found"},
        {"<r><a></b></r>", L"Invalid XML Element: Erroneous end of tag, expecting </a> but </b> found"},
        {deep, L"Invalid XML Element: elements nested deeper than 1024 levels"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text.substr(0, 60));
        XmlDocument doc;
        CHECK(narrow(loadError(doc, c.text)) == narrow(c.message));
    }
}

TEST_CASE("nesting up to the limit loads") {
    std::string text;
    for (std::size_t i = 0; i < XmlDocument::kMaxDepth; ++i) text += "<e>";
    XmlDocument doc;
    CHECK(loadError(doc, text) == L"");
    std::size_t depth = 0;
    for (const XmlElement* e = doc.root(); e; e = e->elements().empty() ? nullptr : e->elements()[0]) ++depth;
    CHECK(depth == XmlDocument::kMaxDepth);
}

TEST_CASE("an error keeps the completed elements under a nameless root") {
    XmlDocument doc;
    const std::wstring message = loadError(doc,
        "<R a='1'><Done><Leaf/></Done><!--kept--><Open><Inner/><Bad $/></Open><Never/></R>");
    CHECK(message == L"Invalid XML Element: Unexpected character in property declaration (\"$\" found)");
    const XmlElement* root = doc.root();
    REQUIRE(root);
    CHECK(root->name() == L"");
    REQUIRE(root->nodes().size() == 2);
    const XmlElement& done = only(*root);
    CHECK(done.name() == L"Done");
    CHECK(only(done).name() == L"Leaf");
    CHECK(root->nodes()[1].kind == XmlNodeKind::Comment);

    CHECK(loadError(doc, "<R$>") != L"");
    REQUIRE(doc.root());
    CHECK(doc.root()->name() == L"");
    CHECK(doc.root()->nodes().empty());

    // An error before the root leaves no tree at all; nor does the earlier load survive.
    CHECK(loadError(doc, "text") != L"");
    CHECK(doc.root() == nullptr);
}

TEST_CASE("a second load replaces the tree") {
    XmlDocument doc;
    doc.loadFromBytes("<first><a/></first>");
    const auto generation = doc.generation();
    doc.loadFromBytes("<second/>");
    CHECK(doc.root()->name() == L"second");
    CHECK(doc.root()->nodes().empty());
    CHECK(doc.generation() != generation);
}

TEST_CASE("character decoding") {
    const std::wstring eAcute(1, wchar_t(0xE9));
    const std::wstring euro(1, wchar_t(0x20AC));
    const struct {
        std::string bytes;
        std::wstring value;  // of the root's attribute v
    } cases[] = {
        // Without a mark or declaration: the 8-bit code page (windows-1252).
        {"<a v=\"\xE9\x80\"/>", eAcute + euro},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a v=\"\xC3\xA9\xE2\x82\xAC\"/>", eAcute + euro},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><a v=\"\xC3\xA9\xE2\x82\xAC\"/>", eAcute + euro},
        // The declaration's default character set applies after it.
        {"<?xml version=\"1.0\"?><a v=\"\xE9\x80\"/>", eAcute + wchar_t(0x80)},
        {"<?xml version=\"1.0\" encoding=\"Windows-1251\"?><a v=\"\xC0\xFF\"/>", std::wstring{wchar_t(0x410), wchar_t(0x44F)}},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a v=\"\x80\"/>", euro},
        {"<?xml version=\"1.0\" encoding=\"us-ascii\"?><a v=\"ok\"/>", L"ok"},
        {"\xEF\xBB\xBF<a v=\"\xC3\xA9\"/>", eAcute},
        // A byte-order mark decides over the declaration.
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?><a v=\"\xC3\xA9\"/>", eAcute},
        {std::string("\xFF\xFE<\0a\0 \0v\0=\0\"\0\xE9\0\xAC\x20\"\0/\0>\0", 24), eAcute + euro},
        {std::string("\xFE\xFF\0<\0a\0 \0v\0=\0\"\0\xE9\x20\xAC\0\"\0/\0>", 24), eAcute + euro},
        // Malformed UTF-8 becomes U+FFFD and the rest still reads.
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a v=\"\xC3x\xFF\"/>", std::wstring{wchar_t(0xFFFD), L'x', wchar_t(0xFFFD)}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.bytes);
        XmlDocument doc;
        REQUIRE(loadError(doc, c.bytes) == L"");
        CHECK(narrow(doc.root()->attributeValue(L"v")) == narrow(c.value));
    }

    SUBCASE("a UTF-16 declaration switches the bytes after it") {
        std::string bytes = "<?xml version=\"1.0\" encoding=\"utf-16\"?>";
        for (char ch : std::string("<a v=\"x\"/>")) bytes += std::string{ch, '\0'};
        XmlDocument doc;
        REQUIRE(loadError(doc, bytes) == L"");
        CHECK(doc.root()->attributeValue(L"v") == L"x");
    }
    SUBCASE("characters beyond the BMP survive") {
        XmlDocument doc;
        REQUIRE(loadError(doc, "\xEF\xBB\xBF<a v=\"\xF0\x9F\x98\x80\"/>") == L"");
        CHECK(narrow(doc.root()->attributeValue(L"v")) == "\xF0\x9F\x98\x80");
    }
    SUBCASE("non-ASCII name characters") {
        XmlDocument doc;
        REQUIRE(loadError(doc, "\xEF\xBB\xBF<Gr\xC3\xB6\xC3\x9F" "e/>") == L"");
        CHECK(narrow(doc.root()->name()) == "Gr\xC3\xB6\xC3\x9F" "e");
    }
}

TEST_CASE("the scheme reader refuses nesting deeper than its limit with a reader error") {
    const auto nested = [](std::size_t depth) {
        std::string s;
        for (std::size_t i = 0; i < depth; ++i) s += "<a>";
        for (std::size_t i = 0; i < depth; ++i) s += "</a>";
        return s;
    };
    XmlDocument doc;
    CHECK_NOTHROW(doc.loadFromBytes(nested(XmlDocument::kMaxDepth)));
    std::size_t depth = 0;
    for (const XmlElement* e = doc.root(); e; e = e->elements().empty() ? nullptr : e->elements().front()) ++depth;
    CHECK(depth == XmlDocument::kMaxDepth);

    for (std::size_t tooDeep : {XmlDocument::kMaxDepth + 1, std::size_t{500'000}}) {
        CAPTURE(tooDeep);
        try {
            doc.loadFromBytes(nested(tooDeep));
            FAIL("loaded");
        } catch (const EXmlReaderError& e) {
            CHECK(e.message() == L"Invalid XML Element: elements nested deeper than 1024 levels");
        }
    }
}

TEST_CASE("repeated XML declarations cost no more than their bytes") {
    std::string bytes;
    while (bytes.size() < 4'000'000) bytes += "<?xml encoding=\"utf-16\"?><?xml encoding=\"windows-1251\"?>";
    bytes.insert(0, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    bytes += "<OBJECTS Caption=\"\xD0\x96\"/>";
    XmlDocument doc;
    const auto start = std::chrono::steady_clock::now();
    doc.loadFromBytes(bytes);
    CHECK(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < 20);
    // The first declaration decides the character set; later ones are kept and change nothing.
    CHECK(doc.encoding() == L"utf-8");
    CHECK(doc.prolog().size() > 100'000);
    REQUIRE(doc.root() != nullptr);
    CHECK(doc.root()->attributeValue(L"Caption") == L"\x0416");
}
