// The registry engine on the real registry (advapi32 under Wine), checked with raw reads.
#include <doctest/doctest.h>

#include <windows.h>

#include <functional>

#include "registry/applytweak.h"
#include "registry/regaccess.h"
#include "tests/native/registry_fixture.h"

using namespace regtest;

namespace {

const std::wstring kScratch = L"Software\\QuillmarkTest";
const std::wstring kOffice = L"Software\\Microsoft\\Office";

// Removes the scratch trees before and after each test.
struct Scratch {
    Scratch() { clean(); }
    ~Scratch() { clean(); }
    static void clean() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kScratch.c_str());
    }
};

struct Engine : Scratch {
    SchemeScope scheme;
    StoreScope store;
};

std::optional<RegValue> rawValue(HKEY root, const std::wstring& path, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<RegValue> result;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        RegValue value{type, std::vector<std::uint8_t>(size)};
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, value.data.data(), &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            result = value;
        }
    }
    RegCloseKey(key);
    return result;
}

void rawSet(HKEY root, const std::wstring& path, const std::wstring& name, const RegValue& value) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS);
    CHECK(RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size())) ==
          ERROR_SUCCESS);
    RegCloseKey(key);
}

void rawCreate(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) == ERROR_SUCCESS);
    RegCloseKey(key);
}

bool rawKeyPresent(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EJclRegistryError& e) {
        return e.message();
    }
    return L"(nothing raised)";
}

}  // namespace

TEST_CASE("Each value type is written with its exact data type and bytes") {
    struct Case {
        const wchar_t* type;
        RegValue checked, unchecked;
    };
    const Case cases[] = {
        {L"String10", sz(L"1"), sz(L"0")},        {L"String01", sz(L"0"), sz(L"1")},
        {L"Integer10", dword(1), dword(0)},       {L"Integer01", dword(0), dword(1)},
        {L"String_YesNo", sz(L"Yes"), sz(L"No")}, {L"String_NoYes", sz(L"No"), sz(L"Yes")},
        {L"String_YN", sz(L"Y"), sz(L"N")},       {L"String_NY", sz(L"N"), sz(L"Y")},
        {L"String_yesno", sz(L"yes"), sz(L"no")}, {L"String_noyes", sz(L"no"), sz(L"yes")},
        {L"Integer31", dword(3), dword(1)},       {L"Integer30", dword(3), dword(0)},
        {L"Integer20", dword(2), dword(0)},       {L"Integer43", dword(4), dword(3)},
        {L"String", sz(L"C:\\Logon.bmp"), sz(L"")}, {L"Integer", dword(0x3FFFFFF), dword(0)},
    };
    Engine e;
    for (const Case& c : cases) {
        const std::wstring type = c.type;
        const std::wstring tweak = L"T_" + type;
        CAPTURE(doctest::StringMaker<std::wstring>::convert(type));
        // "String_NoYes" and "String_noyes" name the same value: start each type afresh.
        Scratch::clean();
        TCheckBoxRec rec;
        ApplyTweak(tweak, true, L"Group_Types", L"C:\\Logon.bmp", 0x3FFFFFF);
        CHECK(rawValue(HKEY_CURRENT_USER, kPolicies, type) == c.checked);
        GetTweakState(tweak, L"Group_Types", rec);
        CHECK(rec.SetValue);

        ApplyTweak(tweak, false, L"Group_Types", L"C:\\Logon.bmp", 0x3FFFFFF);
        CHECK(rawValue(HKEY_CURRENT_USER, kPolicies, type) == c.unchecked);
        GetTweakState(tweak, L"Group_Types", rec);
        CHECK_FALSE(rec.SetValue);
    }
}

TEST_CASE("Reads of values that other programs wrote") {
    Scratch s;
    const std::wstring key = kScratch + L"\\Read";
    rawSet(HKEY_CURRENT_USER, key, L"Qword", RegValue{REG_QWORD, {5, 0, 0, 0, 1, 0, 0, 0}});
    rawSet(HKEY_CURRENT_USER, key, L"Text1", sz(L"1"));
    rawSet(HKEY_CURRENT_USER, key, L"Hex", sz(L" $1F"));
    rawSet(HKEY_CURRENT_USER, key, L"Long", RegValue{REG_BINARY, std::vector<std::uint8_t>(16, 1)});
    rawSet(HKEY_CURRENT_USER, key, L"Multi", RegValue{REG_MULTI_SZ, utf16(L"1")});
    rawSet(HKEY_CURRENT_USER, key, L"Expand", RegValue{REG_EXPAND_SZ, utf16(L"%SystemRoot%")});
    rawSet(HKEY_CURRENT_USER, key, L"Unterminated", RegValue{REG_SZ, utf16(L"Yes", false)});
    rawSet(HKEY_CURRENT_USER, key, L"", sz(L"default"));

    CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"Qword", -1) == 5);
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"Text1", -1) == 1);
    CHECK(ReadFlagOrDefault(kHkeyCurrentUser, key, L"Text1", false));
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"Hex", -1) == 31);
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"Long", -1) == -1);
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"Multi", -1) == -1);
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, key, L"Expand", L"") == L"%SystemRoot%");
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, key, L"Unterminated", L"") == L"Yes");
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, key, L"Qword", L"dflt") == L"dflt");
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, key, L"", L"") == L"default");
    CHECK(ValuePresent(kHkeyCurrentUser, key, L"MULTI"));
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, key, L"Missing"));
    CHECK(KeyPresent(kHkeyCurrentUser, L"SOFTWARE\\quillmarktest\\READ"));
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, kScratch + L"\\Missing", L"Qword", 4) == 4);
}

TEST_CASE("Writes create missing keys and replace values of another type") {
    Scratch s;
    const std::wstring deep = kScratch + L"\\A\\B\\C";
    WriteFlagValue(kHkeyCurrentUser, deep, L"Flag", kRegSz, true);
    CHECK(rawValue(HKEY_CURRENT_USER, deep, L"Flag") == RegValue{REG_SZ, {'1', 0, 0, 0}});
    WriteDwordValue(kHkeyCurrentUser, deep, L"Flag", -2);
    CHECK(rawValue(HKEY_CURRENT_USER, deep, L"Flag") == RegValue{REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}});
    WriteStringValue(kHkeyCurrentUser, deep, L"Text", L"Gr\u00FC\u00DFe");
    CHECK(rawValue(HKEY_CURRENT_USER, deep, L"Text") == RegValue{REG_SZ, utf16(L"Gr\u00FC\u00DFe")});

    CHECK(messageOf([] { WriteDwordValue(0, L"Any\\Key", L"V", 1); }) ==
          L"Unable to open key \"$00000000\\Any\\Key\" for write");
}

TEST_CASE("RemoveValue on the real registry") {
    Scratch s;
    const std::wstring key = kScratch + L"\\Control Panel\\don't load";
    rawSet(HKEY_CURRENT_USER, key, L"desk.cpl", sz(L"Yes"));
    CHECK(RemoveValue(kHkeyCurrentUser, key, L"desk.cpl"));
    CHECK_FALSE(rawValue(HKEY_CURRENT_USER, key, L"desk.cpl"));
    CHECK(messageOf([&] { RemoveValue(kHkeyCurrentUser, key, L"desk.cpl"); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Software\\QuillmarkTest\\Control Panel\\don't load\" "
          L"and access value \"desk.cpl\"");
    CHECK(messageOf([&] { RemoveValue(kHkeyCurrentUser, kScratch + L"\\Missing", L"x"); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Software\\QuillmarkTest\\Missing\" for write");
}

TEST_CASE("ListSubkeyNames lists in the registry's order") {
    Scratch s;
    for (const wchar_t* name : {L"b", L"A", L"c", L"B2"}) rawCreate(HKEY_CURRENT_USER, kScratch + L"\\List\\" + name);
    std::vector<std::wstring> list;
    CHECK(ListSubkeyNames(kHkeyCurrentUser, kScratch + L"\\List", list));
    CHECK(list == std::vector<std::wstring>{L"A", L"b", L"B2", L"c"});
    CHECK(messageOf([&] { ListSubkeyNames(kHkeyCurrentUser, kScratch + L"\\Missing", list); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Software\\QuillmarkTest\\Missing\" for read");
}

TEST_CASE("RenameKey moves a tree with typed values") {
    Scratch s;
    const std::wstring from = kScratch + L"\\CLSID\\{ID}";
    const std::wstring to = kScratch + L"\\CLSID\\-{ID}";
    rawSet(HKEY_CURRENT_USER, from, L"", sz(L"Menu bars"));
    rawSet(HKEY_CURRENT_USER, from, L"Bin", RegValue{REG_BINARY, {1, 2, 3}});
    rawSet(HKEY_CURRENT_USER, from + L"\\InprocServer32\\Deep", L"N", RegValue{REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}});
    rawCreate(HKEY_CURRENT_USER, from + L"\\Empty");

    RenameKey(kHkeyCurrentUser, from, to);
    CHECK_FALSE(rawKeyPresent(HKEY_CURRENT_USER, from));
    CHECK(rawValue(HKEY_CURRENT_USER, to, L"") == sz(L"Menu bars"));
    CHECK(rawValue(HKEY_CURRENT_USER, to, L"Bin") == RegValue{REG_BINARY, {1, 2, 3}});
    CHECK(rawValue(HKEY_CURRENT_USER, to + L"\\InprocServer32\\Deep", L"N") ==
          RegValue{REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}});
    CHECK(rawKeyPresent(HKEY_CURRENT_USER, to + L"\\Empty"));

    // Back again is refused while the target exists.
    rawCreate(HKEY_CURRENT_USER, from);
    RenameKey(kHkeyCurrentUser, to, from);
    CHECK(rawValue(HKEY_CURRENT_USER, to, L"Bin"));
    CHECK_FALSE(rawValue(HKEY_CURRENT_USER, from, L"Bin"));
}

TEST_CASE("A CLSID tweak and an Office tweak on the real registry") {
    Engine e;
    SUBCASE("CLSID") {
        const std::wstring plain = kClasses + L"\\" + kClassId;
        rawSet(HKEY_CURRENT_USER, plain + L"\\InprocServer32", L"", sz(L"shell32.dll"));
        ApplyTweak(L"T_CLSID", true, L"Group_Types", L"", 0);
        CHECK_FALSE(rawKeyPresent(HKEY_CURRENT_USER, plain));
        CHECK(rawValue(HKEY_CURRENT_USER, kClasses + L"\\-" + kClassId + L"\\InprocServer32", L"") ==
              sz(L"shell32.dll"));
        ApplyTweak(L"T_CLSID", false, L"Group_Types", L"", 0);
        CHECK(rawValue(HKEY_CURRENT_USER, plain + L"\\InprocServer32", L"") == sz(L"shell32.dll"));
    }
    SUBCASE("Office versions") {
        // The expansion looks at the real Office key; the prefix must not have one of its own.
        REQUIRE_FALSE(rawKeyPresent(HKEY_CURRENT_USER, kOffice));
        struct RemoveOffice {
            ~RemoveOffice() { RegDeleteTreeW(HKEY_CURRENT_USER, kOffice.c_str()); }
        } removeOffice;
        rawCreate(HKEY_CURRENT_USER, kOffice + L"\\11.0\\Common\\General");
        rawCreate(HKEY_CURRENT_USER, kOffice + L"\\10.0");
        std::wstring path = L"[OfficeAllVersions]\\Common\\General";
        CHECK(ExpandOfficeKey(path));
        CHECK(path == L"Software\\Microsoft\\Office\\10.0\\Common\\General");

        ApplyTweak(L"OfficeTweak", true, L"Group_Special", L"", 0);
        CHECK(rawValue(HKEY_CURRENT_USER, kOffice + L"\\10.0\\Common\\General", L"OfficeFirst") ==
              RegValue{REG_DWORD, {1, 0, 0, 0}});
        RegDeleteTreeW(HKEY_CURRENT_USER, kOffice.c_str());

        path = L"[OfficeAllVersions]\\Common\\General";
        CHECK_FALSE(ExpandOfficeKey(path));
        CHECK(path == L"[OfficeAllVersions]\\Common\\General");
    }
}
