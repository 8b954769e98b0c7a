// Feeds arbitrary bytes to the scheme reader, then runs the lookups over whatever it read.
// The reader may refuse the input; it must not crash, hang or misbehave under the sanitizers,
// and the indexed lookup must always agree with the plain walk.
#include "base/number.h"
#include "scheme/xml.h"
#include "scheme/xmldata.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxNames = 48;

void check(bool condition) {
    if (!condition) std::abort();
}

// The element names of the tree, root first, without recursion (the tree may be deep).
std::vector<std::wstring> someNames(const XmlElement* root) {
    std::vector<std::wstring> names;
    std::vector<const XmlElement*> pending{root};
    while (!pending.empty() && names.size() < kMaxNames) {
        const XmlElement* element = pending.back();
        pending.pop_back();
        names.emplace_back(element->name());
        // A few per element: finding one is a linear search.
        const auto attributes = element->attributes();
        for (std::size_t i = 0; i < attributes.size() && i < 16; ++i) {
            parseInteger(attributes[i].value);
            check(element->findAttribute(attributes[i].name) != nullptr);
        }
        pending.insert(pending.end(), element->elements().begin(), element->elements().end());
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TXMLDataModule module;
    XMLDataModule = &module;
    try {
        module.FXml.loadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const EXmlReaderError& error) {
        check(!error.message().empty());
    }
    // Data that ends inside the root's start tag ("<") loads without a root: the lookups
    // must cope with that as with a failed load.
    const XmlElement* root = module.FXml.root();
    check(getElem(L"TreeItem", nullptr) == findElementByWalk(L"TreeItem", root));
    if (root) {
        const std::vector<std::wstring> names = someNames(root);
        std::vector<std::wstring> children;
        for (const std::wstring& name : names) {
            check(getElem(name, nullptr) == findElementByWalk(name, root));
            if (const XmlElement* found = getElem(name, nullptr))
                for (const std::wstring& inner : names) check(getElem(inner, found) == findElementByWalk(inner, found));
            getCaption(name);
            getDescr(name);
            getRegKey(name);
            TDescriptionRec description;
            getDescription(name, description);
            TAppObjectsRec record;
            getAppObject(name, nullptr, record);
            getChildNames(name, children, nullptr);
        }
    }
    XMLDataModule = nullptr;
    return 0;
}
