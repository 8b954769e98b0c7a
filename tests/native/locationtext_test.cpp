#include <doctest/doctest.h>

#include "app/locationtext.h"
#include "base/text.h"
#include "registry/regaccess.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;

namespace {

// The registry fixture's scheme: every value type, two locations, the Office marker, a class key.
struct TypesApp : App {
    TypesApp() : App("tests/fixtures/registry/tweaks.xml") {}
    // By exact name: the fixture's "T_String_yesno" and "T_String_YesNo" differ only in case.
    std::wstring text(const std::wstring& name) {
        for (int i = 0; i < model.FAppObjectsList.Count(); ++i)
            if (model.FAppObjectsList[i].AppName == name) return LocationText(model.FAppObjectsList, i);
        return L"(no entry)";
    }
};

std::wstring lines(std::initializer_list<std::wstring> list) {
    std::wstring text;
    for (const std::wstring& line : list) text += line + L"\r\n";
    return text;
}

std::wstring lineOf(const std::wstring& text, const std::wstring& label) {
    const std::size_t at = text.find(L"\r\n" + label + L": ");
    if (at == std::wstring::npos) return L"(missing)";
    const std::size_t start = at + 4 + label.size();
    return text.substr(start, text.find(L"\r\n", start) - start);
}

}  // namespace

TEST_CASE("location text: root, key, value, type and what each state writes, for every value type") {
    TypesApp app;
    app.start();
    app.entry(L"T_String").cValue = L"abc";
    app.entry(L"T_Integer").nValue = 5;
    struct Case {
        std::wstring name, type, checked, unchecked;
    };
    const std::wstring one = L"0x00000001 (1)", zero = L"0x00000000 (0)";
    const Case cases[] = {
        {L"T_String10", L"REG_SZ", L"\"1\"", L"\"0\""},
        {L"T_String01", L"REG_SZ", L"\"0\"", L"\"1\""},
        {L"T_Integer10", L"REG_DWORD", one, zero},
        {L"T_Integer01", L"REG_DWORD", zero, one},
        {L"T_String_YesNo", L"REG_SZ", L"\"Yes\"", L"\"No\""},
        {L"T_String_NoYes", L"REG_SZ", L"\"No\"", L"\"Yes\""},
        {L"T_String_YN", L"REG_SZ", L"\"Y\"", L"\"N\""},
        {L"T_String_NY", L"REG_SZ", L"\"N\"", L"\"Y\""},
        {L"T_String_yesno", L"REG_SZ", L"\"yes\"", L"\"no\""},
        {L"T_String_noyes", L"REG_SZ", L"\"no\"", L"\"yes\""},
        {L"T_Integer31", L"REG_DWORD", L"0x00000003 (3)", one},
        {L"T_Integer30", L"REG_DWORD", L"0x00000003 (3)", zero},
        {L"T_Integer20", L"REG_DWORD", L"0x00000002 (2)", zero},
        {L"T_Integer43", L"REG_DWORD", L"0x00000004 (4)", L"0x00000003 (3)"},
        {L"T_Integer21", L"REG_DWORD", L"0x00000002 (2)", one},
        {L"T_String", L"REG_SZ", L"\"abc\" (the text in the editor)", L"\"\""},
        {L"T_Integer", L"REG_DWORD", L"0x00000005 (5) (the number in the editor)", zero},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        const std::wstring text = app.text(c.name);
        CHECK(lineOf(text, L"Root") == L"HKEY_CURRENT_USER");
        CHECK(lineOf(text, L"Key") == kPolicies);
        CHECK(lineOf(text, L"Type") == c.type);
        CHECK(lineOf(text, L"Checked") == c.checked);
        CHECK(lineOf(text, L"Unchecked") == c.unchecked);
    }
    CHECK(app.text(L"T_Integer10") == lines({L"Location 1", L"Root: HKEY_CURRENT_USER", L"Key: " + kPolicies,
                                             L"Value: Integer10", L"Type: REG_DWORD", L"Checked: " + one,
                                             L"Unchecked: " + zero}));
}

TEST_CASE("location text: both locations, a split tweak, and locations that write nothing") {
    TypesApp app;
    app.start();
    const std::wstring split = app.text(L"SplitValues");
    CHECK(split == lines({L"Location 1", L"Root: HKEY_LOCAL_MACHINE", L"Key: " + kMachine, L"Value: SplitMachine",
                          L"Type: REG_DWORD", L"Checked: 0x00000001 (1)", L"Unchecked: 0x00000000 (0)",
                          L"Location 2", L"Root: HKEY_CURRENT_USER", L"Key: " + kPolicies, L"Value: SplitUser",
                          L"Type: REG_DWORD", L"Checked: 0x00000001 (1)", L"Unchecked: 0x00000000 (0)"}));
    CHECK(lineOf(app.text(L"MissingAlias"), L"Key") == L"the alias \"NoSuchAlias\" names no key; nothing is written here");
    CHECK(lineOf(app.text(L"T_Unknown"), L"Type") == L"\"integer10\" is not a known value type; nothing is written here");
    CHECK(app.text(L"Group_Types").empty());
}

TEST_CASE("location text: the Office marker expanded, or the note that Office settings were not found") {
    TypesApp app;
    app.start();
    CHECK(app.text(L"OfficeTweak") ==
          lines({L"Location 1", L"Root: HKEY_CURRENT_USER", L"Key: [OfficeAllVersions]\\Common\\General",
                 L"Office settings were not found: nothing is read or written here",
                 L"Location 2 is left alone as well."}));

    REQUIRE(app.reg.createKey(kHkeyCurrentUser, L"Software\\Microsoft\\Office\\16.0", kKeyWrite));
    const std::wstring found = app.text(L"OfficeTweak");
    CHECK(lineOf(found, L"Key") == L"Software\\Microsoft\\Office\\16.0\\Common\\General");
    CHECK(found.find(L"Value: OfficeSecond") != std::wstring::npos);
    CHECK(found.find(OfficeNotFoundNote) == std::wstring::npos);
}

TEST_CASE("location text: a class key tweak names the key that is renamed, and touches no key") {
    TypesApp app;
    app.start();
    const std::wstring key = regtest::kClasses;
    CHECK(app.text(L"T_CLSID") == lines({L"Location 1", L"Root: HKEY_CURRENT_USER",
                                         L"Key renamed: " + key + L"\\" + regtest::kClassId,
                                         L"Checked: renamed to " + key + L"\\-" + regtest::kClassId,
                                         L"Unchecked: renamed back to " + key + L"\\" + regtest::kClassId}));
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, key + L"\\" + regtest::kClassId));
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, key + L"\\-" + regtest::kClassId));
}

TEST_CASE("location text: the default value, and an applet's \"don't load\" value") {
    App app;
    app.scheme = R"(<OBJECTS><RegKey><Policies Value="Software\QuillmarkTest\Policies"/></RegKey><TreeItem>
      <Group_G AType="Group" AFrame="frameCheckBoxes" AKey1="" AValue1="" AValueType1="" AKey2="" AValue2="" AValueType2="" RootKey1="" RootKey2="" img16="1" img32="1">
        <Unnamed AType="CheckBox" AFrame="frameCheckBox" AKey1="Policies" AValue1="" AValueType1="String_YesNo" AKey2="" AValue2="" AValueType2="" RootKey1="HKEY_CURRENT_USER" RootKey2="" img16="-1" img32="-1"/>
      </Group_G></TreeItem></OBJECTS>)";
    app.start();
    CHECK(lineOf(LocationText(app.model.FAppObjectsList, app.index(L"Unnamed")), L"Value") == L"(Default)");

    App applets;
    applets.start();
    CHECK(LocationText(applets.model.FAppObjectsList, applets.index(L"C:\\Windows\\system32\\desk.cpl")) ==
          lines({L"Root: HKEY_CURRENT_USER", L"Key: Control Panel\\don't load",
                 L"Value: C:\\Windows\\system32\\desk.cpl", L"Type: REG_SZ", L"Checked: \"Yes\"",
                 L"Unchecked: the value is removed"}));
}

TEST_CASE("registry value text as the pending list shows it") {
    CHECK(RegistryValueText(std::nullopt) == L"(not set)");
    CHECK(RegistryValueText(regtest::dword(0xFFFFFFFFu)) == L"REG_DWORD 0xffffffff (4294967295)");
    CHECK(RegistryValueText(regtest::sz(L"a\"b")) == L"REG_SZ \"a\"b\"");
    CHECK(RegistryValueText(RegValue{kRegBinary, {1, 2, 3}}) == L"REG_BINARY 3 bytes");
    CHECK(registryText(toUtf16le(L"x\u00e9\u20ac", true)) == L"x\u00e9\u20ac");
}
