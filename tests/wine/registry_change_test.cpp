// Keys and values of the shipped scheme's tweaks that another program deletes or retypes
// between the main window model's start-up and its save, on the real registry: the save
// completes, writes what the user chose and makes nothing up for what is gone.
#include <doctest/doctest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "app/mainmodel.h"
#include "app/runlists.h"
#include "base/win/handles.h"
#include "registry/regaccess.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/environment.h"
#include "tests/support/files.h"
#include "tests/support/registry.h"

namespace fs = std::filesystem;
using regtest::dword;
using regtest::sz;

namespace {

using testsupport::rawDelete;
using testsupport::rawSet;
using testsupport::rawValue;
using testsupport::RestoreValue;

const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const std::wstring kDisallowRunKey = std::wstring(RunListsKey) + L"DisallowRun";
const std::wstring kOffice = L"Software\\Microsoft\\Office";
const std::wstring kDesktopPlace = kOffice + L"\\11.0\\Common\\Open Find\\Places\\StandardPlaces\\Desktop";
const std::wstring kClassKey = L"CLSID\\{5b4dae26-b807-11d0-9815-00c04fd91972}";
const std::wstring kHiddenClassKey = L"CLSID\\-{5b4dae26-b807-11d0-9815-00c04fd91972}";

// The model started on the shipped scheme with a scratch data folder.
struct Started {
    testsupport::TempFolder folder{"registry_change"};
    testsupport::ProductResources exe;
    TMainModel model;
    Started() {
        model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
        HMODULE module = exe.get();
        model.FormCreate({folder.withSeparator(),
                          [module](XmlDocument& doc) { doc.loadFromResource(L"APPSCHEME", module); },
                          [] { return std::wstring(L"alice"); }});
    }
    TRestrListRec& entry(const std::wstring& name) {
        const int index = model.FAppObjectsList.IndexOf(name);
        REQUIRE(index >= 0);
        return model.FAppObjectsList[index];
    }
    void toggle(const std::wstring& name, bool checked) {
        model.lstRestrListChange(name, checked, ImageListKind::Img16);
    }
};

}  // namespace

TEST_CASE("policy values deleted or retyped after start-up: the save writes what the user chose") {
    struct Case {
        const wchar_t* tweak;
        std::optional<RegValue> changedTo;  // nullopt: deleted
    };
    const Case cases[] = {
        {L"NoThemesTab", sz(L"abc")},
        {L"NoChangeKeyboardNavigationIndicators", RegValue{kRegBinary, std::vector<std::uint8_t>(16, 1)}},
        {L"NoNetConnectDisconnect", RegValue{kRegMultiSz, regtest::utf16(std::wstring(L"1\0", 2))}},
        {L"DisallowRun", std::nullopt},
    };
    std::vector<std::unique_ptr<RestoreValue>> restore;
    for (const Case& c : cases) restore.push_back(std::make_unique<RestoreValue>(kHkeyCurrentUser, kExplorer, c.tweak));
    restore.push_back(std::make_unique<RestoreValue>(kHkeyCurrentUser, kDisallowRunKey, L"0"));
    restore.push_back(std::make_unique<RestoreValue>(kHkeyCurrentUser, kDisallowRunKey, L"1"));
    for (const Case& c : cases) rawSet(kHkeyCurrentUser, kExplorer, c.tweak, dword(1));
    rawSet(kHkeyCurrentUser, kDisallowRunKey, L"0", sz(L"old.exe"));

    Started s;
    for (const Case& c : cases) REQUIRE(s.entry(c.tweak).SetValue);
    AddRunListFiles(*SettingsStore, RunListBlock(L"alice", L"DisallowRun"), {L"C:\\Games\\game.exe"});

    // Another program changes every value and removes the run list.
    for (const Case& c : cases) {
        if (c.changedTo)
            rawSet(kHkeyCurrentUser, kExplorer, c.tweak, *c.changedTo);
        else
            rawDelete(kHkeyCurrentUser, kExplorer, c.tweak);
    }
    REQUIRE(RegDeleteTreeW(HKEY_CURRENT_USER, kDisallowRunKey.c_str()) == ERROR_SUCCESS);

    SaveResult result;
    REQUIRE_NOTHROW(result = s.model.SaveSettings());
    CHECK(result.Succeeded());
    for (const Case& c : cases) {
        CAPTURE(std::string(c.tweak, c.tweak + std::wcslen(c.tweak)));
        CHECK(rawValue(kHkeyCurrentUser, kExplorer, c.tweak) == dword(1));
    }
    // The tweak goes on again, so the list it showed is put in place first.
    CHECK(rawValue(kHkeyCurrentUser, kDisallowRunKey, L"0") == sz(L"old.exe"));
    CHECK(rawValue(kHkeyCurrentUser, kDisallowRunKey, L"1") == sz(L"game.exe"));
}

TEST_CASE("a class key or the Office key deleted after start-up: the save makes nothing up, and names the class") {
    REQUIRE_FALSE(KeyPresent(kHkeyClassesRoot, kClassKey));
    REQUIRE_FALSE(KeyPresent(kHkeyClassesRoot, kHiddenClassKey));
    REQUIRE_FALSE(KeyPresent(kHkeyCurrentUser, kOffice));
    RestoreValue restoreOffice(kHkeyCurrentUser, kDesktopPlace, L"Show");
    struct RemoveClassKeys {
        ~RemoveClassKeys() {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey.c_str());
            RegDeleteTreeW(HKEY_CLASSES_ROOT, kHiddenClassKey.c_str());
        }
    } removeClassKeys;
    rawSet(kHkeyClassesRoot, kClassKey, L"", sz(L"Menu band"));
    rawSet(kHkeyCurrentUser, kDesktopPlace, L"Show", dword(0));

    Started s;
    REQUIRE_FALSE(s.entry(L"CLSID_DisableMenuBars").SetValue);
    REQUIRE(s.entry(L"OfficePlaceDesktop").SetValue);
    s.toggle(L"CLSID_DisableMenuBars", true);
    s.toggle(L"OfficePlaceDesktop", false);

    REQUIRE(RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey.c_str()) == ERROR_SUCCESS);
    REQUIRE(RegDeleteTreeW(HKEY_CURRENT_USER, kOffice.c_str()) == ERROR_SUCCESS);

    SaveResult result;
    REQUIRE_NOTHROW(result = s.model.SaveSettings());
    REQUIRE(result.Failures.size() == 1);
    CHECK(result.Failures[0].Name == L"CLSID_DisableMenuBars");
    CHECK(result.Failures[0].Message == L"The class \"HKEY_CLASSES_ROOT\\" + kClassKey +
                                            L"\" is not registered on this computer: there is nothing to hide");
    CHECK_FALSE(KeyPresent(kHkeyClassesRoot, kClassKey));
    CHECK_FALSE(KeyPresent(kHkeyClassesRoot, kHiddenClassKey));
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, kOffice));
}

TEST_CASE("application lists already in the registry survive an unrelated save: 10,000 blocked programs, an allowed list") {
    const std::wstring restrictRunKey = std::wstring(RunListsKey) + L"RestrictRun";
    REQUIRE_FALSE(KeyPresent(kHkeyCurrentUser, kDisallowRunKey));
    REQUIRE_FALSE(KeyPresent(kHkeyCurrentUser, restrictRunKey));
    struct RemoveKeys {
        std::vector<std::wstring> paths;
        ~RemoveKeys() {
            for (const std::wstring& path : paths) RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
        }
    } removeKeys{{kDisallowRunKey, restrictRunKey}};
    std::vector<std::unique_ptr<RestoreValue>> restore;
    for (const wchar_t* flag : {L"DisallowRun", L"RestrictRun", L"NoThemesTab"})
        restore.push_back(std::make_unique<RestoreValue>(kHkeyCurrentUser, kExplorer, flag));

    constexpr int blocked = 10000;
    {
        HKEY h = nullptr;
        REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, kDisallowRunKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                                nullptr) == ERROR_SUCCESS);
        UniqueHkey key(h);
        for (int i = 0; i < blocked; ++i) {
            const RegValue value = sz(L"blocked" + std::to_wstring(i) + L".exe");
            REQUIRE(RegSetValueExW(key.get(), std::to_wstring(i).c_str(), 0, value.type, value.data.data(),
                                   static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS);
        }
    }
    rawSet(kHkeyCurrentUser, restrictRunKey, L"1", sz(L"notepad.exe"));
    rawSet(kHkeyCurrentUser, restrictRunKey, L"2", sz(L"winword.exe"));
    rawSet(kHkeyCurrentUser, kExplorer, L"DisallowRun", dword(1));
    rawSet(kHkeyCurrentUser, kExplorer, L"RestrictRun", dword(1));

    Started s;
    REQUIRE_FALSE(s.entry(L"NoThemesTab").SetValue);
    s.toggle(L"NoThemesTab", true);
    SaveResult result;
    REQUIRE_NOTHROW(result = s.model.SaveSettings());
    CHECK(result.Succeeded());
    CHECK(rawValue(kHkeyCurrentUser, kExplorer, L"NoThemesTab") == dword(1));

    const auto valueCount = [](const std::wstring& path) {
        HKEY h = nullptr;
        REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &h) == ERROR_SUCCESS);
        UniqueHkey key(h);
        DWORD count = 0;
        REQUIRE(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                                 nullptr, nullptr, nullptr) == ERROR_SUCCESS);
        return count;
    };
    CHECK(valueCount(kDisallowRunKey) == blocked);
    for (int i : {0, 1, 4711, blocked - 1})
        CHECK(rawValue(kHkeyCurrentUser, kDisallowRunKey, std::to_wstring(i)) ==
              sz(L"blocked" + std::to_wstring(i) + L".exe"));
    // Not cut to the program itself, nor given it: the allowed list is as it was.
    CHECK(valueCount(restrictRunKey) == 2);
    CHECK(rawValue(kHkeyCurrentUser, restrictRunKey, L"1") == sz(L"notepad.exe"));
    CHECK(rawValue(kHkeyCurrentUser, restrictRunKey, L"2") == sz(L"winword.exe"));
    CHECK(rawValue(kHkeyCurrentUser, kExplorer, L"DisallowRun") == dword(1));
    CHECK(rawValue(kHkeyCurrentUser, kExplorer, L"RestrictRun") == dword(1));
}

TEST_CASE("a run list that cannot be written leaves its switch off: the key's security denies every write") {
    const std::wstring restrictRunKey = std::wstring(RunListsKey) + L"RestrictRun";
    REQUIRE_FALSE(KeyPresent(kHkeyCurrentUser, restrictRunKey));
    const RestoreValue restore(kHkeyCurrentUser, kExplorer, L"RestrictRun");
    if (rawValue(kHkeyCurrentUser, kExplorer, L"RestrictRun")) rawDelete(kHkeyCurrentUser, kExplorer, L"RestrictRun");
    // An empty access list: nobody may read or write the key, which Wine enforces.
    const auto setAccessList = [&](ACL* acl) {
        HKEY h = nullptr;
        REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, restrictRunKey.c_str(), 0, nullptr, 0, WRITE_DAC, nullptr, &h,
                                nullptr) == ERROR_SUCCESS);
        const UniqueHkey key(h);
        SECURITY_DESCRIPTOR security;
        REQUIRE(InitializeSecurityDescriptor(&security, SECURITY_DESCRIPTOR_REVISION));
        REQUIRE(SetSecurityDescriptorDacl(&security, TRUE, acl, FALSE));
        REQUIRE(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &security) == ERROR_SUCCESS);
    };
    struct RemoveKey {
        std::function<void()> allow;
        std::wstring path;
        ~RemoveKey() {
            allow();
            RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
        }
    } removeKey{[&] { setAccessList(nullptr); }, restrictRunKey};
    ACL denyAll;
    REQUIRE(InitializeAcl(&denyAll, sizeof denyAll, ACL_REVISION));
    setAccessList(&denyAll);
    HKEY probe = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, restrictRunKey.c_str(), 0, KEY_SET_VALUE, &probe) == ERROR_ACCESS_DENIED);

    Started s;
    s.toggle(L"RestrictRun", true);
    SaveResult result;
    REQUIRE_NOTHROW(result = s.model.SaveSettings());
    REQUIRE(result.Failures.size() == 1);
    CHECK(result.Failures[0].Name == L"RestrictRun");
    CHECK(result.Failures[0].Message.find(L"HKEY_CURRENT_USER\\" + restrictRunKey) != std::wstring::npos);
    // Switched on without its list, Explorer would start no program at all.
    CHECK_FALSE(rawValue(kHkeyCurrentUser, kExplorer, L"RestrictRun"));
    CHECK(s.model.SettingsModified());
}
