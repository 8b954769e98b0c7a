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

#include "base/win/handles.h"

using namespace contract;

namespace {

using UniqueHandle = Unique<HANDLE, &CloseHandle>;
using UniqueHkey = Unique<HKEY, &RegCloseKey>;
using UniqueModule = Unique<HMODULE, &FreeLibrary>;

HKEY rootHandle(RegRoot root) { return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root))); }

std::optional<RegValue> rawValue(RegRoot root, const std::wstring& path, const std::wstring& name) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(rootHandle(root), path.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return std::nullopt;
    UniqueHkey key(h);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    RegValue value{type, std::vector<std::uint8_t>(size)};
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, value.data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    return value;
}

void rawSet(RegRoot root, const std::wstring& path, const std::wstring& name, const RegValue& value) {
    HKEY h = nullptr;
    REQUIRE(RegCreateKeyExW(rootHandle(root), path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) ==
            ERROR_SUCCESS);
    UniqueHkey key(h);
    REQUIRE(RegSetValueExW(key.get(), name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS);
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

// Runs a command line inside Wine and returns what it printed, CR LF made LF.
std::string run(const std::wstring& commandLine, DWORD& exitCode) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    REQUIRE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    UniqueHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    PROCESS_INFORMATION process{};
    std::wstring mutableLine = commandLine;
    REQUIRE_MESSAGE(CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &startup, &process),
                    "cannot start ", narrow(commandLine), ", error ", GetLastError());
    UniqueHandle processHandle(process.hProcess), thread(process.hThread);
    writer.reset();  // the pipe ends when the child's copy closes

    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) output.append(buffer, got);
    REQUIRE(WaitForSingleObject(processHandle.get(), 30000) == WAIT_OBJECT_0);
    GetExitCodeProcess(processHandle.get(), &exitCode);
    std::string text;
    for (char c : output)
        if (c != '\r') text += c;
    return text;
}

// What reg.exe reports for one value: "REG_DWORD 0x1", "REG_SZ text"; empty when it finds none.
std::string regQuery(RegRoot root, const std::wstring& key, const std::wstring& name) {
    const std::wstring rootName = root == kHkeyLocalMachine ? L"HKLM" : L"HKCU";
    DWORD exitCode = 0;
    const std::string output =
        run(L"reg.exe query \"" + rootName + L"\\" + key + L"\" /v \"" + name + L"\"", exitCode);
    CAPTURE(output);
    std::istringstream lines(output);
    const std::string prefix = "    " + narrow(name) + "    ";
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

// A value of the shipped scheme's real location, put back as it was (key included) afterwards.
class RestoreValue {
public:
    RestoreValue(RegRoot root, std::wstring key, std::wstring name)
        : root_(root), key_(std::move(key)), name_(std::move(name)), before_(rawValue(root_, key_, name_)) {
        // The shallowest missing key, to be removed with everything below it.
        std::wstring path;
        for (std::size_t at = 0; at != std::wstring::npos;) {
            const std::size_t next = key_.find(L'\\', at);
            path = key_.substr(0, next);
            if (!KeyPresent(root_, path)) {
                created_ = path;
                break;
            }
            at = next == std::wstring::npos ? next : next + 1;
        }
    }
    ~RestoreValue() {
        if (!created_.empty()) {
            RegDeleteTreeW(rootHandle(root_), created_.c_str());
        } else if (before_) {
            rawSet(root_, key_, name_, *before_);
        } else if (HKEY h = nullptr;
                   RegOpenKeyExW(rootHandle(root_), key_.c_str(), 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
            RegDeleteValueW(h, name_.c_str());
            RegCloseKey(h);
        }
    }
    RestoreValue(const RestoreValue&) = delete;
    RestoreValue& operator=(const RestoreValue&) = delete;

private:
    RegRoot root_;
    std::wstring key_, name_;
    std::optional<RegValue> before_;
    std::wstring created_;
};

// The scheme built into the executable, as the data module the engine looks tweaks up in.
class ShippedScheme {
public:
    ShippedScheme() {
        const wchar_t* path = _wgetenv(L"QM_EXE");
        REQUIRE_MESSAGE(path, "QM_EXE is not set");
        exe_ = UniqueModule(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        REQUIRE_MESSAGE(exe_, "cannot map QM_EXE, error ", GetLastError());
        module_.FXml.loadFromResource(L"APPSCHEME", exe_.get());
        XMLDataModule = &module_;
    }
    ~ShippedScheme() { XMLDataModule = nullptr; }
    ShippedScheme(const ShippedScheme&) = delete;
    ShippedScheme& operator=(const ShippedScheme&) = delete;

private:
    UniqueModule exe_;
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
         L"Software\\Microsoft\\Internet Explorer\\Main", L"Enable AutoImageResize", "REG_SZ Yes", "REG_SZ No"},
        {L"BackBitmapShell", L"Group_UserIEAppearance", kHkeyCurrentUser,
         L"Software\\Microsoft\\Internet Explorer\\Toolbar", L"BackBitmapShell", "REG_SZ C:\\Windows\\Back.bmp",
         "REG_SZ "},
        {L"AllocateCDRoms", L"", kHkeyLocalMachine, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
         L"AllocateCDRoms", "REG_SZ 1", "REG_SZ 0"},
    };
    for (const Case& c : cases) {
        CAPTURE(narrow(c.tweak));
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
