// The registry engine on the real registry (advapi32 under Wine): the same contract as the
// in-memory registry, then checks from outside the engine: raw advapi32 reads and writes,
// and Wine's own reg.exe as a peer that this project did not write.
#include "tests/contract/registry_access_contract.cpp"
#include "tests/contract/applytweak_contract.cpp"
#include "tests/contract/tweakstate_contract.cpp"
#include "tests/contract/valuetype_contract.cpp"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
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

// What reg.exe reports for the values of a key (or for one, `name`), by lower-case name:
// "REG_DWORD 0x1", "REG_SZ text". Empty when it finds none.
std::map<std::string, std::string> regValues(RegRoot root, const std::wstring& key,
                                             const std::optional<std::wstring>& name = std::nullopt) {
    const std::wstring rootName = root == kHkeyLocalMachine ? L"HKLM" : L"HKCU";
    const testsupport::ProgramRun run =
        testsupport::runReg(L"query \"" + rootName + L"\\" + key + L"\"" + (name ? L" /v \"" + *name + L"\"" : L""));
    const std::string& output = run.output;
    const DWORD exitCode = run.exitCode;
    CAPTURE(output);
    std::map<std::string, std::string> values;
    std::istringstream lines(output);
    // "    name    TYPE    data": the first line of the listing names the key, without indent.
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("    ", 0) != 0) continue;
        const std::size_t typeAt = line.find("    REG_", 4);
        if (typeAt == std::string::npos) continue;
        std::string valueName = line.substr(4, typeAt - 4);
        for (char& ch : valueName) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        const std::string rest = line.substr(typeAt + 4);
        const std::size_t gap = rest.find("    ");
        values[valueName] = gap == std::string::npos ? rest : rest.substr(0, gap) + " " + rest.substr(gap + 4);
    }
    if (name && values.empty()) CHECK_MESSAGE(exitCode != 0, "reg.exe succeeded without listing the value");
    return values;
}

std::string lowerNarrow(const std::wstring& text) {
    std::string out = toUtf8(text);
    for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

// What reg.exe reports for one value; empty when it finds none.
std::string regQuery(RegRoot root, const std::wstring& key, const std::wstring& name) {
    const auto values = regValues(root, key, name);
    const auto it = values.find(lowerNarrow(name));
    return it == values.end() ? std::string() : it->second;
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

TEST_CASE("Every mended location of the shipped scheme holds the documented value, type and data") {
    ShippedScheme scheme;
    regtest::StoreScope store;
    struct Location {
        RegRoot root;
        std::wstring key, value;
        const char *checked, *unchecked;  // as reg.exe shows them
    };
    struct Case {
        std::wstring tweak;
        std::vector<Location> writes;
        std::vector<Location> formerly;  // where the specified catalogue wrote it: left alone now
    };
    const std::wstring explorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    const std::wstring system = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Uninstall";
    const std::wstring eventLog = L"SYSTEM\\CurrentControlSet\\Services\\EventLog";
    const std::wstring terminal = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server";
    const std::wstring desktop = L"Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop";
    const std::wstring ieMain = L"Software\\Microsoft\\Internet Explorer\\Main";
    const std::wstring power = L"Software\\Policies\\Microsoft\\Windows\\System\\Power";
    const auto on = [](RegRoot root, std::wstring key, std::wstring value, const char* checked, const char* unchecked) {
        return Location{root, std::move(key), std::move(value), checked, unchecked};
    };
    const auto gone = [](RegRoot root, std::wstring key, std::wstring value) {
        return Location{root, std::move(key), std::move(value), "", ""};
    };
    const RegRoot hkcu = kHkeyCurrentUser, hklm = kHkeyLocalMachine;
    std::vector<Case> cases = {
        {L"RestrictGuestAccess",
         {on(hklm, eventLog + L"\\Application", L"RestrictGuestAccess", "REG_DWORD 0x1", "REG_DWORD 0x0"),
          on(hklm, eventLog + L"\\System", L"RestrictGuestAccess", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hklm, eventLog, L"RestrictGuestAccess")}},
        // Remote Desktop is allowed when fDenyTSConnections is 0.
        {L"AllowTSConnections",
         {on(hklm, terminal, L"fDenyTSConnections", "REG_DWORD 0x0", "REG_DWORD 0x1"),
          on(hklm, terminal, L"fAllowToGetHelp", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hklm, terminal, L"AllowTSConnections")}},
        {L"BlockExeAttachments",
         {on(hkcu, L"Software\\Microsoft\\Outlook Express", L"BlockExeAttachments", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hklm, L"Software\\Microsoft\\Outlook Express", L"BlockExeAttachments")}},
        {L"DisableLockWorkstation",
         {on(hkcu, system, L"DisableLockWorkstation", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hklm, system, L"DisableLockWorkstation")}},
        {L"PromptPasswordOnResume",
         {on(hkcu, power, L"PromptPasswordOnResume", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hklm, power, L"PromptPasswordOnResume")}},
        // "Disable the screen saver": text 0 when checked.
        {L"ScreenSaveActive", {on(hkcu, desktop, L"ScreenSaveActive", "REG_SZ 0", "REG_SZ 1")}, {}},
        {L"ScreenSaverIsSecure", {on(hkcu, desktop, L"ScreenSaverIsSecure", "REG_SZ 1", "REG_SZ 0")}, {}},
        {L"DefaultCategory",
         {on(hkcu, uninstall, L"DefaultCategory", "REG_SZ Games", "REG_SZ ")},
         {gone(hklm, uninstall, L"DefaultCategory")}},
        {L"NoChooseProgramsPage",
         {on(hkcu, uninstall, L"NoChooseProgramsPage", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hklm, uninstall, L"NoChooseProgramsPage")}},
        {L"NoCloseDragDropBands",
         {on(hkcu, explorer, L"NoCloseDragDropBands", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hkcu, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\ActiveDesktop", L"NoCloseDragDropBands")}},
        {L"NoMovingBands",
         {on(hkcu, explorer, L"NoMovingBands", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hkcu, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\ActiveDesktop", L"NoMovingBands")}},
        {L"DisablePersonalDirChange",
         {on(hkcu, explorer, L"DisablePersonalDirChange", "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hkcu, L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
               L"DisablePersonalDirChange")}},
        {L"EnableAutoImageResize", {on(hkcu, ieMain, L"Enable AutoImageResize", "REG_SZ yes", "REG_SZ no")}, {}},
        {L"Friendlyhttperrors", {on(hkcu, ieMain, L"Friendly http errors", "REG_SZ yes", "REG_SZ no")}, {}},
        {L"DisableImportExportFavorites",
         {on(hkcu, L"Software\\Policies\\Microsoft\\Internet Explorer", L"DisableImportExportFavorites",
             "REG_DWORD 0x1", "REG_DWORD 0x0")},
         {gone(hkcu, L"Software\\Microsoft\\Internet Explorer", L"DisableImportExportFavorites")}},
    };
    // Configure Toolbar Buttons: 1 shows a button, 2 hides it.
    for (const wchar_t* button : {L"Back", L"Forward", L"Stop", L"Refresh", L"Home", L"Search", L"Favorites",
                                  L"History", L"Folders", L"Fullscreen", L"Tools", L"MailNews", L"Size", L"Print",
                                  L"Edit", L"Discussions", L"Cut", L"Copy", L"Paste", L"Encoding"}) {
        const std::wstring name = std::wstring(L"Btn_") + button;
        cases.push_back({name, {on(hkcu, explorer, name, "REG_DWORD 0x2", "REG_DWORD 0x1")}, {}});
    }

    std::vector<std::unique_ptr<RestoreValue>> restore;
    for (const Case& c : cases)
        for (const std::vector<Location>* list : {&c.writes, &c.formerly})
            for (const Location& l : *list) {
                restore.push_back(std::make_unique<RestoreValue>(l.root, l.key, l.value));
                // Start from a known state: the value absent.
                if (HKEY h = nullptr; RegOpenKeyExW(rootHandle(l.root), l.key.c_str(), 0, KEY_SET_VALUE, &h) ==
                                      ERROR_SUCCESS) {
                    RegDeleteValueW(h, l.value.c_str());
                    RegCloseKey(h);
                }
            }
    // All switched, then each key listed once by reg.exe: one process per key, not per value.
    // The former locations need no witness to be absent.
    for (const bool checked : {true, false}) {
        CAPTURE(checked);
        std::map<std::pair<RegRoot, std::wstring>, std::map<std::string, std::string>> listed;
        const auto shown = [&](const Location& l) {
            const auto place = std::pair{l.root, l.key};
            if (!listed.count(place)) listed[place] = regValues(l.root, l.key);
            const auto& values = listed[place];
            const auto it = values.find(lowerNarrow(l.value));
            return it == values.end() ? std::string() : it->second;
        };
        for (const Case& c : cases) {
            ApplyTweak(c.tweak, checked, L"", L"Games", 0);
            TCheckBoxRec rec;
            GetTweakState(c.tweak, L"", rec);
            CAPTURE(toUtf8(c.tweak));
            CHECK(rec.SetValue == checked);
        }
        for (const Case& c : cases) {
            CAPTURE(toUtf8(c.tweak));
            for (const Location& l : c.writes) {
                CAPTURE(toUtf8(l.key + L"\\" + l.value));
                CHECK(shown(l) == (checked ? l.checked : l.unchecked));
            }
            for (const Location& l : c.formerly) {
                CAPTURE(toUtf8(l.key + L"\\" + l.value));
                CHECK_FALSE(rawValue(l.root, l.key, l.value));
            }
        }
    }
}
