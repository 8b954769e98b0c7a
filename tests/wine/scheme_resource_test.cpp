#include <doctest/doctest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "base/text.h"
#include "base/win/handles.h"
#include "scheme/xmldata.h"

namespace {

using UniqueModule = Unique<HMODULE, &FreeLibrary>;

// The built executable, mapped for its resources only.
UniqueModule loadExecutable() {
    const wchar_t* path = _wgetenv(L"QM_EXE");
    REQUIRE_MESSAGE(path, "QM_EXE is not set");
    UniqueModule module(
        LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    REQUIRE_MESSAGE(module, "cannot map QM_EXE, error ", GetLastError());
    return module;
}

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
    UniqueModule exe = loadExecutable();
    TXMLDataModule module;
    XMLDataModule = &module;
    REQUIRE(loadError(module.FXml, L"APPSCHEME", exe.get()) == L"");
    REQUIRE(module.FXml.root());
    CHECK(module.FXml.root()->name() == L"OBJECTS");
    CHECK(getElem(L"TreeItem", nullptr) != nullptr);
    CHECK(getElem(L"RegKey", nullptr) != nullptr);
    CHECK(getElem(L"Description", nullptr) != nullptr);

    // The resource is the scheme document of the source tree, not a stand-in.
    const char* source = std::getenv("QM_SOURCE_DIR");
    REQUIRE_MESSAGE(source, "QM_SOURCE_DIR is not set");
    std::ifstream in(std::string(source) + "/resources/scheme.xml", std::ios::binary);
    REQUIRE(in);
    XmlDocument file;
    file.loadFromBytes(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    CHECK(countElements(module.FXml.root()) == countElements(file.root()));
}

TEST_CASE("a missing resource fails with its name and empties the document") {
    UniqueModule exe = loadExecutable();
    XmlDocument doc;
    doc.loadFromBytes("<OBJECTS/>");
    CHECK(narrow(loadError(doc, L"NO_SUCH_SCHEME", exe.get())) == "Resource NO_SUCH_SCHEME not found");
    CHECK(doc.root() == nullptr);

    // Without a module: the one holding the reader, this test program.
    CHECK(narrow(loadError(doc, L"NO_SUCH_SCHEME", nullptr)) == "Resource NO_SUCH_SCHEME not found");
}
