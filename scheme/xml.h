#pragma once
// The lenient XML reader that loads the scheme document. The shipped scheme is not
// well-formed XML (names starting with digits, repeated attributes), so this is our own.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

class EXmlReaderError : public WideError {
public:
    using WideError::WideError;
};

// Names, values and text are views into the document's decoded text, valid until the
// document is loaded again or cleared: the whole tree is a handful of allocations.
struct XmlAttribute {
    std::wstring_view name;    // local part
    std::wstring_view prefix;  // namespace prefix, or empty
    std::wstring_view value;   // verbatim, no entity expansion
};

// Declaration, DocType and ProcessingInstruction occur only in the document's prolog.
enum class XmlNodeKind { Element, Comment, CData, Text, Declaration, DocType, ProcessingInstruction };

class XmlElement;

struct XmlNode {
    XmlNodeKind kind = XmlNodeKind::Element;
    std::wstring_view value;               // comment / CDATA / text content, prolog item text
    const XmlElement* element = nullptr;   // set when kind == Element
};

class XmlElement {
public:
    std::wstring_view name() const { return name_; }
    std::wstring_view prefix() const { return prefix_; }
    std::wstring_view value() const { return value_; }
    std::span<const XmlNode> nodes() const { return nodes_; }
    // Child elements only, in document order (what the lookups walk).
    std::span<const XmlElement* const> elements() const { return elements_; }
    std::span<const XmlAttribute> attributes() const { return attributes_; }

    // Last attribute of that name, names compared without regard to case; null when none.
    const XmlAttribute* findAttribute(std::wstring_view name) const;
    std::wstring attributeValue(std::wstring_view name, const std::wstring& defaultValue = {}) const;
    // The value by parseInteger; -1 for absent, empty, malformed or overflowing values.
    long long attributeAsInteger(std::wstring_view name) const;

private:
    friend class XmlReader;
    std::wstring_view name_, prefix_, value_;
    std::span<const XmlNode> nodes_;
    std::span<const XmlElement* const> elements_;
    std::span<const XmlAttribute> attributes_;
};

class XmlDocument {
public:
    // Deeper nesting fails the load: the scheme nests a handful of levels, and code that
    // walks the tree recursively must not run out of stack.
    static constexpr std::size_t kMaxDepth = 1024;

    XmlDocument() = default;
    // The tree points into the document's own storage.
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Replaces any previous content. Throws EXmlReaderError; on error the elements
    // completely read stay in the tree (below a root with an empty name).
    void loadFromBytes(std::string_view bytes);
#ifdef _WIN32
    // The RCDATA resource of that name from the module (null: the module holding this code).
    void loadFromResource(const std::wstring& name = L"APPSCHEME", void* module = nullptr);
#endif
    const XmlElement* root() const { return root_; }
    const std::vector<XmlNode>& prolog() const { return prolog_; }
    // From the XML declaration; defaults when there is none.
    const std::wstring& version() const { return version_; }
    const std::wstring& encoding() const { return encoding_; }
    bool standalone() const { return standalone_; }
    // Changes on every load or clear, so caches keyed by element can tell a new tree.
    std::uint64_t generation() const { return generation_; }
    void clear();

private:
    friend class XmlReader;
    // The decoded text every view points into, and the tree's parts, each in one block
    // reserved before the tree is read so that nothing moves while it grows.
    std::wstring text_;
    std::vector<XmlElement> elements_;
    std::vector<XmlNode> nodes_;                 // each element's nodes together
    std::vector<const XmlElement*> children_;    // each element's child elements together
    std::vector<XmlAttribute> attributes_;       // each element's attributes together
    std::vector<XmlNode> prolog_;
    const XmlElement* root_ = nullptr;
    std::wstring version_ = L"1.0";
    std::wstring encoding_ = L"iso-8859-1";
    bool standalone_ = false;
    std::uint64_t generation_ = 0;
};
