#pragma once
// The lenient XML reader that loads the scheme document. The shipped scheme is not
// well-formed XML (names starting with digits, repeated attributes), so this is our own.
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class EXmlReaderError : public std::runtime_error {
public:
    explicit EXmlReaderError(const std::wstring& message);
    const std::wstring& message() const { return message_; }
private:
    std::wstring message_;
};

struct XmlAttribute {
    std::wstring name;    // local part
    std::wstring prefix;  // namespace prefix, or empty
    std::wstring value;   // verbatim, no entity expansion
};

enum class XmlNodeKind { Element, Comment, CData, Text };

class XmlElement;

struct XmlNode {
    XmlNodeKind kind = XmlNodeKind::Element;
    std::wstring value;                    // comment / CDATA / text content
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
    // -1 for empty, malformed or overflowing values; "$", "x", "0x" select hex.
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
    // Replaces any previous content. Throws EXmlReaderError; on error the elements
    // completely read stay in the tree.
    void loadFromBytes(std::string_view bytes);
    const XmlElement* root() const { return root_.get(); }
    void clear();
private:
    friend class XmlReader;
    std::vector<XmlNode> prolog_;
    std::unique_ptr<XmlElement> root_;
};
