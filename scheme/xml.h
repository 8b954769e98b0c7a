#pragma once
// The lenient XML reader that loads the scheme document. The shipped scheme is not
// well-formed XML (names starting with digits, repeated attributes), so this is our own.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

class EXmlReaderError : public WideError {
public:
    using WideError::WideError;
};

struct XmlAttribute {
    std::wstring name;    // local part
    std::wstring prefix;  // namespace prefix, or empty
    std::wstring value;   // verbatim, no entity expansion
};

// Declaration, DocType and ProcessingInstruction occur only in the document's prolog.
enum class XmlNodeKind { Element, Comment, CData, Text, Declaration, DocType, ProcessingInstruction };

class XmlElement;

struct XmlNode {
    XmlNodeKind kind = XmlNodeKind::Element;
    std::wstring value;                    // comment / CDATA / text content, prolog item text
    std::unique_ptr<XmlElement> element;   // set when kind == Element
};

class XmlElement {
public:
    const std::wstring& name() const { return name_; }
    const std::wstring& prefix() const { return prefix_; }
    const std::wstring& value() const { return value_; }
    const std::vector<XmlNode>& nodes() const { return nodes_; }
    // Child elements only, in document order (what the lookups walk).
    const std::vector<const XmlElement*>& elements() const { return elements_; }
    const std::vector<XmlAttribute>& attributes() const { return attributes_; }

    // Last attribute of that name, names compared without regard to case; null when none.
    const XmlAttribute* findAttribute(std::wstring_view name) const;
    std::wstring attributeValue(std::wstring_view name, const std::wstring& defaultValue = {}) const;
    // The value by parseInteger; -1 for absent, empty, malformed or overflowing values.
    long long attributeAsInteger(std::wstring_view name) const;

private:
    friend class XmlReader;
    std::wstring name_, prefix_, value_;
    std::vector<XmlNode> nodes_;
    std::vector<const XmlElement*> elements_;
    std::vector<XmlAttribute> attributes_;
};

class XmlDocument {
public:
    // Deeper nesting fails the load: the scheme nests a handful of levels, and code that
    // walks the tree recursively must not run out of stack.
    static constexpr std::size_t kMaxDepth = 1024;

    // Replaces any previous content. Throws EXmlReaderError; on error the elements
    // completely read stay in the tree (below a root with an empty name).
    void loadFromBytes(std::string_view bytes);
#ifdef _WIN32
    // The RCDATA resource of that name from the module (null: the module holding this code).
    void loadFromResource(const std::wstring& name = L"APPSCHEME", void* module = nullptr);
#endif
    const XmlElement* root() const { return root_.get(); }
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
    std::vector<XmlNode> prolog_;
    std::unique_ptr<XmlElement> root_;
    std::wstring version_ = L"1.0";
    std::wstring encoding_ = L"iso-8859-1";
    bool standalone_ = false;
    std::uint64_t generation_ = 0;
};
