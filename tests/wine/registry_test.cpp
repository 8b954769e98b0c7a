// The registry engine on the real registry (advapi32 under Wine): the same contract as the
// in-memory registry, then checks from outside the engine: raw advapi32 reads and writes,
// and Wine's own reg.exe as a peer that this project did not write.
#include "tests/contract/registry_access_contract.cpp"
#include "tests/contract/applytweak_contract.cpp"
#include "tests/contract/tweakstate_contract.cpp"
#include "tests/contract/valuetype_contract.cpp"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "base/text.h"
#include "base/win/handles.h"
#include "tests/support/environment.h"
#include "tests/support/program.h"
#include "tests/support/registry.h"

using namespace contract;

namespace {

using testsupport::rawSet;
using testsupport::rawValue;
using testsupport::RestoreValue;
using testsupport::rootHandle;

// What reg.exe reports for one value: "REG_DWORD 0x1", "REG_SZ text"; empty when it finds none.
std::string regQuery(RegRoot root, const std::wstring& key, const std::wstring& name) {
    const std::wstring rootName = root == kHkeyLocalMachine ? L"HKLM" : L"HKCU";
    const testsupport::ProgramRun run =
        testsupport::runReg(L"query \"" + rootName + L"\\" + key + L"\" /v \"" + name + L"\"");
    const std::string& output = run.output;
    const DWORD exitCode = run.exitCode;
    CAPTURE(output);
    std::istringstream lines(output);
    const std::string prefix = "    " + toUtf8(name) + "    ";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        const std::string rest = line.substr(prefix.size());
        const std::size_t gap = rest.find("    ");
        if (gap == std::string::npos) return rest;
        return rest.substr(0, gap) + " " + rest.substr(gap + 4);
    }
    CHECK_MESSAGE(exitCode != 0, "reg.exe succeeded without listing the value");
    return {};
}

// The scheme built into the executable, as the data module the engine looks tweaks up in.
class ShippedScheme {
public:
    ShippedScheme() {
        module_.FXml.loadFromResource(L"APPSCHEME", exe_.get());
        XMLDataModule = &module_;
    }
    ~ShippedScheme() { XMLDataModule = nullptr; }
    ShippedScheme(const ShippedScheme&) = delete;
    ShippedScheme& operator=(const ShippedScheme&) = delete;

private:
    testsupport::ProductResources exe_;
    TXMLDataModule module_;
};

}  // namespace

TEST_CASE("Values that other programs wrote with advapi32 read as the engine's rules say") {
    Sandbox s;
    const std::wstring key = s.path(L"Read");
    rawSet(kHkeyCurrentUser, key, L"Qword", bytes(kRegQword, {5, 0, 0, 0, 1, 0, 0, 0}));
    rawSet(kHkeyCurrentUser, key, L"Text1", sz(L"1"));
    rawSet(kHkeyCurrentUser, key, L"Hex", sz(L" $1F"));
    rawSet(kHkeyCurrentUser, key, L"Long", bytes(kRegBinary, std::vector<std::uint8_t>(16, 1)));
    rawSet(kHkeyCurrentUser, key, L"Multi", bytes(kRegMultiSz, utf16(L"1")));
    rawSet(kHkeyCurrentUser, key, L"Expand", bytes(kRegExpandSz, utf16(L"%SystemRoot%")));
    rawSet(kHkeyCurrentUser, key, L"Unterminated", bytes(kRegSz, utf16(L"Yes", false)));
    rawSet(kHkeyCurrentUser, key, L"", sz(L"default"));

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
}

TEST_CASE("advapi32 reads back exactly the data type and bytes the engine wrote") {
    struct Case {
        const wchar_t* type;
        RegValue checked, unchecked;
    };
    const Case cases[] = {
        {L"String10", sz(L"1"), sz(L"0")},          {L"Integer01", dword(0), dword(1)},
        {L"String_NoYes", sz(L"No"), sz(L"Yes")},   {L"Integer43", dword(4), dword(3)},
        {L"String", sz(L"C:\\Logon.bmp"), sz(L"")}, {L"Integer", dword(0x3FFFFFF), dword(0)},
    };
    for (const Case& c : cases) {
        const std::wstring type = c.type;
        CAPTURE(show(type));
        Engine e;
        ApplyTweak(L"T_" + type, true, L"Group_Types", L"C:\\Logon.bmp", 0x3FFFFFF);
        CHECK(rawValue(kHkeyCurrentUser, e.policies, type) == c.checked);
        ApplyTweak(L"T_" + type, false, L"Group_Types", L"C:\\Logon.bmp", 0x3FFFFFF);
        CHECK(rawValue(kHkeyCurrentUser, e.policies, type) == c.unchecked);
    }
}

TEST_CASE("reg.exe agrees on what the engine wrote, for each data type and both roots") {
    Engine e;
    ApplyTweak(L"T_Integer10", true, L"Group_Types", L"", 0);
    ApplyTweak(L"T_Integer43", false, L"Group_Types", L"", 0);  // absent reads unchecked: nothing
    ApplyTweak(L"T_Integer43", true, L"Group_Types", L"", 0);
    ApplyTweak(L"T_String10", true, L"Group_Types", L"", 0);
    ApplyTweak(L"T_String_YesNo", true, L"Group_Types", L"", 0);
    ApplyTweak(L"T_String", true, L"Group_Types", L"C:\\Program Files\\Logon.bmp", 0);
    ApplyTweak(L"T_Integer", true, L"Group_Types", L"", 0x3FFFFFF);
    ApplyTweak(L"SplitValues", true, L"Group_Special", L"", 0);

    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"Integer10") == "REG_DWORD 0x1");
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"Integer43") == "REG_DWORD 0x4");
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"String10") == "REG_SZ 1");
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"String_YesNo") == "REG_SZ Yes");
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"String") == "REG_SZ C:\\Program Files\\Logon.bmp");
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"Integer") == "REG_DWORD 0x3ffffff");
    CHECK(regQuery(kHkeyLocalMachine, e.machine, L"SplitMachine") == "REG_DWORD 0x1");
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"SplitUser") == "REG_DWORD 0x1");

    ApplyTweak(L"T_Integer10", false, L"Group_Types", L"", 0);
    ApplyTweak(L"T_String_YesNo", false, L"Group_Types", L"", 0);
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"Integer10") == "REG_DWORD 0x0");
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"String_YesNo") == "REG_SZ No");
    CHECK(regQuery(kHkeyCurrentUser, e.policies, L"Unknown") == "");
}

TEST_CASE("Tweaks of the shipped scheme, checked with reg.exe at their real locations") {
    ShippedScheme scheme;
    regtest::StoreScope store;
    struct Case {
        const wchar_t* tweak;
        const wchar_t* group;
        RegRoot root;
        const wchar_t* key;
        const wchar_t* value;
        const char* checked;
        const char* unchecked;
    };
    const Case cases[] = {
        {L"NoDispCPL", L"Group_Display", kHkeyCurrentUser,
         L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", L"NoDispCPL", "REG_DWORD 0x1",
         "REG_DWORD 0x0"},
        {L"EnableAutoImageResize", L"Group_UserIEAppearance", kHkeyCurrentUser,
         L"Software\\Microsoft\\Internet Explorer\\Main", L"Enable AutoImageResize", "REG_SZ yes", "REG_SZ no"},
        {L"BackBitmapShell", L"Group_UserIEAppearance", kHkeyCurrentUser,
         L"Software\\Microsoft\\Internet Explorer\\Toolbar", L"BackBitmapShell", "REG_SZ C:\\Windows\\Back.bmp",
         "REG_SZ "},
        {L"AllocateCDRoms", L"", kHkeyLocalMachine, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
         L"AllocateCDRoms", "REG_SZ 1", "REG_SZ 0"},
    };
    for (const Case& c : cases) {
        CAPTURE(toUtf8(c.tweak));
        RestoreValue restore(c.root, c.key, c.value);
        // Start from a known state: the value absent.
        if (HKEY h = nullptr; RegOpenKeyExW(rootHandle(c.root), c.key, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
            RegDeleteValueW(h, c.value);
            RegCloseKey(h);
        }
        TCheckBoxRec rec;
        GetTweakState(c.tweak, c.group, rec);
        CHECK_FALSE(rec.SetValue);

        ApplyTweak(c.tweak, true, c.group, L"C:\\Windows\\Back.bmp", 0);
        CHECK(regQuery(c.root, c.key, c.value) == c.checked);
        GetTweakState(c.tweak, c.group, rec);
        CHECK(rec.SetValue);

        ApplyTweak(c.tweak, false, c.group, L"C:\\Windows\\Back.bmp", 0);
        CHECK(regQuery(c.root, c.key, c.value) == c.unchecked);
        GetTweakState(c.tweak, c.group, rec);
        CHECK_FALSE(rec.SetValue);
    }
}
