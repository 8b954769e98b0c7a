#include <doctest/doctest.h>

#include <windows.h>

#include <string>

#include "base/text.h"
#include "base/win/handles.h"
#include "scheme/xmldata.h"
#include "tests/support/environment.h"

namespace {

std::string narrow(const std::wstring& text) { return toUtf8(text); }

std::size_t countElements(const XmlElement* element) {
    std::size_t count = 1;
    for (const XmlElement* child : element->elements()) count += countElements(child);
    return count;
}

std::wstring loadError(XmlDocument& doc, const std::wstring& name, void* module) {
    try {
        doc.loadFromResource(name, module);
    } catch (const EXmlReaderError& e) {
        return e.message();
    }
    return {};
}

}  // namespace

TEST_CASE("the executable's APPSCHEME resource loads and its root is OBJECTS") {
    const testsupport::ProductResources exe;
    TXMLDataModule module;
    XMLDataModule = &module;
    REQUIRE(loadError(module.FXml, L"APPSCHEME", exe.get()) == L"");
    REQUIRE(module.FXml.root());
    CHECK(module.FXml.root()->name() == L"OBJECTS");
    CHECK(getElem(L"TreeItem", nullptr) != nullptr);
    CHECK(getElem(L"RegKey", nullptr) != nullptr);
    CHECK(getElem(L"Description", nullptr) != nullptr);

    // The resource is the scheme document of the source tree, not a stand-in.
    XmlDocument file;
    file.loadFromBytes(testsupport::sourceFile("resources/scheme.xml"));
    CHECK(countElements(module.FXml.root()) == countElements(file.root()));
}

TEST_CASE("a missing resource fails with its name and empties the document") {
    const testsupport::ProductResources exe;
    XmlDocument doc;
    doc.loadFromBytes("<OBJECTS/>");
    CHECK(narrow(loadError(doc, L"NO_SUCH_SCHEME", exe.get())) == "Resource NO_SUCH_SCHEME not found");
    CHECK(doc.root() == nullptr);

    // Without a module: the one holding the reader, this test program.
    CHECK(narrow(loadError(doc, L"NO_SUCH_SCHEME", nullptr)) == "Resource NO_SUCH_SCHEME not found");
}
