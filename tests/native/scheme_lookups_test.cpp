#include <doctest/doctest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/text.h"
#include "scheme/xmldata.h"
#include "tests/support/files.h"

namespace {

std::string fixture(const std::string& name) { return testsupport::sourceFile("tests/fixtures/scheme/" + name); }

std::string narrow(std::wstring_view text) { return toUtf8(text); }

// A data module with a loaded scheme, installed as the process-wide one the lookups use.
struct LoadedScheme {
    TXMLDataModule module;
    explicit LoadedScheme(std::string_view bytes) {
        module.FXml.loadFromBytes(bytes);
        XMLDataModule = &module;
    }
    const XmlElement* section(const wchar_t* name) const { return getElem(name, nullptr); }
};

// Every element of the tree, in document order.
void collect(const XmlElement* element, std::vector<const XmlElement*>& out) {
    out.push_back(element);
    for (const XmlElement* child : element->elements()) collect(child, out);
}

}  // namespace

TEST_CASE("the data module publishes its document and withdraws it") {
    {
        TXMLDataModule module;
        CHECK(SchemeDocument == &module.FXml);
        XMLDataModule = &module;
        // The main window loads the scheme through the published reference.
        SchemeDocument->loadFromBytes("<OBJECTS><TreeItem/></OBJECTS>");
        CHECK(getElem(L"TreeItem", nullptr) == module.FXml.root()->elements()[0]);
    }
    CHECK(SchemeDocument == nullptr);
    CHECK(XMLDataModule == nullptr);

    // Without a data module nothing is found and nothing fails.
    CHECK(getElem(L"TreeItem", nullptr) == nullptr);
    CHECK(getRegKey(L"CPApplets") == L"");
    CHECK(getCaption(L"NoDispCPL") == L"");
    TAppObjectsRec record;
    record.AName = L"kept";
    getAppObject(L"NoDispCPL", nullptr, record);
    CHECK(record.AName == L"kept");
}

TEST_CASE("getElem: names compared exactly, sections found from the root") {
    LoadedScheme scheme(fixture("small_scheme.xml"));
    const XmlElement* root = scheme.module.FXml.root();
    const XmlElement* treeItem = getElem(L"TreeItem", nullptr);
    REQUIRE(treeItem);
    CHECK(treeItem->name() == L"TreeItem");
    CHECK(getElem(L"TreeItem", root) == treeItem);
    CHECK(getElem(L"treeitem", nullptr) == nullptr);
    CHECK(getElem(L"TreeItem ", nullptr) == nullptr);

    const XmlElement* numbered = getElem(L"1001", treeItem);
    REQUIRE(numbered);
    CHECK(numbered->attributeValue(L"AType") == L"CheckBox");
    CHECK(getElem(L"1001 ", treeItem) == nullptr);
    // An element is compared with its descendants only, never with itself.
    CHECK(getElem(L"TreeItem", treeItem) == nullptr);
    CHECK(getElem(L"", nullptr) == nullptr);
}

TEST_CASE("search order: direct children first, then each subtree in document order") {
    LoadedScheme scheme(fixture("search_order.xml"));
    const XmlElement* s1 = getElem(L"S1", nullptr);
    const XmlElement* a = getElem(L"A", nullptr);
    REQUIRE(s1);
    REQUIRE(a);
    const struct {
        const XmlElement* start;
        const wchar_t* name;
        const wchar_t* where;  // nullptr: not found
    } cases[] = {
        {nullptr, L"X", L"A/B"},  // a deep match in an earlier subtree beats a shallower later one
        {s1, L"X", L"A/B"},
        {s1, L"Y", L"A"},         // within A, A's own children come before B's subtree
        {s1, L"Z", L"S1"},        // a direct child of the start wins over any descendant
        {a, L"Z", L"A/B"},
        {a, L"A", nullptr},
        {s1, L"S2", nullptr},
    };
    for (const auto& c : cases) {
        CAPTURE(narrow(c.name));
        CAPTURE(c.start ? narrow(c.start->name()) : std::string("(none)"));
        const XmlElement* found = getElem(c.name, c.start);
        CHECK(found == findElementByWalk(c.name, c.start ? c.start : scheme.module.FXml.root()));
        if (!c.where) {
            CHECK(found == nullptr);
            continue;
        }
        REQUIRE(found);
        CHECK(found->attributeValue(L"where") == c.where);
    }
}

TEST_CASE("a duplicated name is found by where the search starts") {
    LoadedScheme scheme(fixture("small_scheme.xml"));
    const XmlElement* treeItem = scheme.section(L"TreeItem");
    TAppObjectsRec record;
    getAppObject(L"NoNetConnectDisconnect", treeItem, record);
    CHECK(record.RootKey1 == L"HKEY_LOCAL_MACHINE");  // under Group_CommonNetwork

    const XmlElement* userNetwork = getElem(L"Group_UserNetwork", treeItem);
    REQUIRE(userNetwork);
    getAppObject(L"NoNetConnectDisconnect", userNetwork, record);
    CHECK(record.RootKey1 == L"HKEY_CURRENT_USER");

    // A failed group lookup passed on as start searches the whole TreeItem section.
    getAppObject(L"NoNetConnectDisconnect", getElem(L"Group_Missing", treeItem), record);
    CHECK(record.RootKey1 == L"HKEY_LOCAL_MACHINE");
}

TEST_CASE("getAppObject fills the record and leaves what it must") {
    LoadedScheme scheme(fixture("small_scheme.xml"));
    const XmlElement* treeItem = scheme.section(L"TreeItem");

    TAppObjectsRec record;
    getAppObject(L"1001", treeItem, record);
    CHECK(record.AName == L"1001");
    CHECK(record.AType == L"CheckBox");
    CHECK(record.AFrame == L"frameCheckBox");
    CHECK(record.AKey1 == L"Policies_Explorer");
    CHECK(record.AValue1 == L"1001");
    CHECK(record.AValueType1 == L"Integer10");
    CHECK(record.AKey2 == L"Policies_System");
    CHECK(record.AValue2 == L"Second1001");
    CHECK(record.AValueType2 == L"String_YesNo");
    CHECK(record.RootKey1 == L"HKEY_CURRENT_USER");
    CHECK(record.RootKey2 == L"HKEY_LOCAL_MACHINE");
    CHECK(record.ImgIndex16 == -1);
    CHECK(record.imgIndex32 == -1);

    SUBCASE("a name not in the tree leaves the whole record, AName included") {
        const TAppObjectsRec before = record;
        getAppObject(L"NoSuchTweak", treeItem, record);
        getAppObject(L"Orphan_Entry", nullptr, record);  // a Description entry, not an object
        CHECK(record.AName == before.AName);
        CHECK(record.AKey2 == before.AKey2);
        CHECK(record.ImgIndex16 == before.ImgIndex16);
    }
    SUBCASE("absent attributes keep their fields, present empty ones clear them") {
        getAppObject(L"NoRun", treeItem, record);
        CHECK(record.AName == L"NoRun");
        CHECK(record.AFrame == L"frameApplications");
        CHECK(record.AValue1 == L"RestrictRun");
        CHECK(record.AKey2 == L"Policies_System");
        CHECK(record.AValue2 == L"Second1001");
        CHECK(record.RootKey2 == L"HKEY_LOCAL_MACHINE");

        getAppObject(L"Group_Windows", treeItem, record);
        CHECK(record.AType == L"Group");
        CHECK(record.AKey1 == L"");
        CHECK(record.AKey2 == L"");
        CHECK(record.RootKey2 == L"");
    }
    SUBCASE("image indexes are always set when found") {
        const struct {
            const wchar_t* name;
            int img16, img32;
        } cases[] = {
            {L"Group_Windows", 3, 31},   // img32 written as "$1F"
            {L"NoDefaultValue", -1, -1}, // empty and malformed
            {L"NoDispCPL", -1, -1},
            {L"CPApplets", 10, 11},
            {L"1001", -1, -1},           // absent
        };
        for (const auto& c : cases) {
            CAPTURE(narrow(c.name));
            record.ImgIndex16 = 99;
            record.imgIndex32 = 99;
            getAppObject(c.name, treeItem, record);
            CHECK(record.ImgIndex16 == c.img16);
            CHECK(record.imgIndex32 == c.img32);
        }
    }
    SUBCASE("no start searches the TreeItem section, not the RegKey entry of the same name") {
        getAppObject(L"CPApplets", nullptr, record);
        CHECK(record.AType == L"Custom");
        CHECK(record.AFrame == L"frameCPApplets");
        CHECK(record.AKey1 == L"CPApplets");
        CHECK(record.AValue1 == L"");  // the key's default value
    }
}

TEST_CASE("getRegKey resolves aliases in the RegKey section only") {
    LoadedScheme scheme(fixture("small_scheme.xml"));
    const struct {
        const wchar_t* alias;
        const wchar_t* path;
    } cases[] = {
        {L"CPApplets", L"Control Panel\\don't load"},
        {L"Policies_System", L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"},
        {L"Office_Security", L"[OfficeAllVersions]\\Common\\Security"},
        {L"Identity_Mail", L"Identities\\{Unique Identity}\\Software\\Microsoft\\Outlook Express\\5.0"},
        {L"Alias_Without_Value", L""},
        {L"policies_system", L""},
        {L"NoDispCPL", L""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        CAPTURE(narrow(c.alias));
        CHECK(getRegKey(c.alias) == c.path);
    }
}

TEST_CASE("captions and descriptions") {
    LoadedScheme scheme(fixture("small_scheme.xml"));
    CHECK(getCaption(L"NoDispCPL") == L"Disable the Display Control Panel");
    CHECK(getDescr(L"NoDispCPL") == L"Hides the Display page.");
    CHECK(getDescr(L"Group_Display") == L"");
    CHECK(getDescr(L"Group_AboutAdvertise") == L"Files &amp; folders");
    CHECK(getCaption(L"1001") == L"Numbered tweak");
    CHECK(getCaption(L"NoEntireNetwork") == L"");
    CHECK(getDescr(L"NoEntireNetwork") == L"");

    TDescriptionRec record{L"previous caption", L"previous text"};
    getDescription(L"NoEntireNetwork", record);
    CHECK(record.Caption == L"previous caption");
    CHECK(record.Descr == L"previous text");
    getDescription(L"Group_Display", record);
    CHECK(record.Caption == L"Display settings");
    CHECK(record.Descr == L"");
}

TEST_CASE("a missing section finds nothing, even where the name exists elsewhere") {
    LoadedScheme scheme(
        "<OBJECTS><Other><Policies_System Value='wrong' Caption='wrong' AType='CheckBox'/></Other></OBJECTS>");
    CHECK(getRegKey(L"Policies_System") == L"");
    CHECK(getCaption(L"Policies_System") == L"");
    TDescriptionRec description{L"kept", L"kept"};
    getDescription(L"Policies_System", description);
    CHECK(description.Caption == L"kept");
    // Without a TreeItem section, no start means the root.
    TAppObjectsRec record;
    getAppObject(L"Policies_System", nullptr, record);
    CHECK(record.AType == L"CheckBox");
}

TEST_CASE("getChildNames lists every child of the element, or nothing") {
    LoadedScheme scheme(fixture("small_scheme.xml"));
    const XmlElement* treeItem = scheme.section(L"TreeItem");
    std::vector<std::wstring> list{L"stale"};
    getChildNames(L"Group_Display", list, treeItem);
    CHECK(list == std::vector<std::wstring>{L"NoDispCPL", L"1001", L"NoDefaultValue"});
    getChildNames(L"Group_Windows", list, treeItem);
    CHECK(list == std::vector<std::wstring>{L"Group_Display", L"Group_CommonNetwork", L"CPApplets"});

    for (const wchar_t* name : {L"Group_Empty", L"Group_AboutAdvertise", L"Group_Missing"}) {
        CAPTURE(narrow(name));
        list = {L"stale"};
        getChildNames(name, list, treeItem);
        CHECK(list.empty());
    }
}

TEST_CASE("getChildNames does not filter comments or text") {
    LoadedScheme scheme("<OBJECTS><TreeItem><G><A/><!-- note --><B/><![CDATA[x]]></G></TreeItem></OBJECTS>");
    std::vector<std::wstring> list;
    getChildNames(L"G", list, nullptr);
    CHECK(list == std::vector<std::wstring>{L"A", L"", L"B", L""});
}

TEST_CASE("a reload through the published document is seen by the lookups") {
    LoadedScheme scheme("<OBJECTS><RegKey><K Value='first'/></RegKey></OBJECTS>");
    CHECK(getRegKey(L"K") == L"first");
    SchemeDocument->loadFromBytes("<OBJECTS><RegKey><K Value='second'/></RegKey></OBJECTS>");
    CHECK(getRegKey(L"K") == L"second");
    SchemeDocument->clear();
    CHECK(getRegKey(L"K") == L"");
}

TEST_CASE("a start from another document is searched too") {
    LoadedScheme scheme("<OBJECTS><RegKey><K Value='scheme'/></RegKey></OBJECTS>");
    CHECK(getRegKey(L"K") == L"scheme");
    XmlDocument other;
    other.loadFromBytes("<OBJECTS><RegKey><K Value='other'/></RegKey></OBJECTS>");
    const XmlElement* found = getElem(L"K", other.root());
    REQUIRE(found);
    CHECK(found->attributeValue(L"Value") == L"other");
}

TEST_CASE("the indexed search equals the plain walk for every name and start") {
    // The shipped scheme is too large to try every element as start: there the callers' starts.
    const std::vector<std::pair<std::string, bool>> documents{
        {fixture("small_scheme.xml"), true},
        {fixture("search_order.xml"), true},
        {testsupport::sourceFile("resources/scheme.xml"), false}};

    for (const auto& [bytes, everyStart] : documents) {
        TXMLDataModule module;
        module.FXml.loadFromBytes(bytes);
        const XmlElement* root = module.FXml.root();
        std::vector<const XmlElement*> elements;
        collect(root, elements);

        std::vector<std::wstring> names{L"", L"no such name", L"treeitem"};
        for (const XmlElement* e : elements) names.emplace_back(e->name());

        std::vector<const XmlElement*> starts{nullptr, root};
        if (everyStart) {
            starts.insert(starts.end(), elements.begin(), elements.end());
        } else {
            starts.insert(starts.end(), root->elements().begin(), root->elements().end());
            const XmlElement* treeItem = findElementByWalk(L"TreeItem", root);
            REQUIRE(treeItem);
            std::vector<const XmlElement*> objects;
            collect(treeItem, objects);
            for (const XmlElement* object : objects)
                if (!object->elements().empty()) starts.push_back(object);
        }

        std::size_t mismatches = 0, found = 0;
        std::wstring firstMismatch;
        for (const XmlElement* start : starts) {
            for (const std::wstring& name : names) {
                const XmlElement* indexed = module.getXmlElem(name, start);
                const XmlElement* walked = findElementByWalk(name, start ? start : root);
                found += indexed != nullptr;
                if (indexed == walked) continue;
                if (mismatches++ == 0) firstMismatch = name + L" from " + std::wstring(start ? start->name() : L"(none)");
            }
        }
        CAPTURE(narrow(root->name()));
        CAPTURE(narrow(firstMismatch));
        CHECK(mismatches == 0);
        CHECK(found > 0);
    }
}
