// The stored application lists and what a save writes of them, on the in-memory registry.
#include <doctest/doctest.h>

#include <map>
#include <string>
#include <vector>

#include "app/mainmodel.h"
#include "app/runlists.h"
#include "registry/memory_registry.h"
#include "tests/native/registry_fixture.h"

using namespace regtest;

namespace {

const std::wstring kOwnExe = L"quillmark.exe";

// A store, a registry and a user, installed as the program-wide values for one test.
struct RunListScope {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    StoreScope store;
    RunListScope() { CurrentUserName = L"alice"; PolicyRootKey = kHkeyCurrentUser; }
    ~RunListScope() { CurrentUserName.clear(); }

    void add(const std::wstring& list, std::vector<std::wstring> paths, const std::wstring& user = L"alice") {
        AddRunListFiles(store.store(), RunListBlock(user, list), paths);
    }
    std::vector<std::wstring> stored(const std::wstring& list, const std::wstring& user = L"alice") {
        std::vector<std::wstring> items;
        store.store().getList(RunListBlock(user, list), items, false);
        return items;
    }
    bool keyExists(const std::wstring& list) {
        return reg.openKey(kHkeyCurrentUser, RunListsKey + list, kKeyRead) != nullptr;
    }
    // Every value of the key by name.
    std::map<std::wstring, std::wstring> values(const std::wstring& list) {
        std::map<std::wstring, std::wstring> result;
        auto key = reg.openKey(kHkeyCurrentUser, RunListsKey + list, kKeyRead);
        REQUIRE(key);
        for (std::uint32_t i = 0;; ++i) {
            auto name = key->enumValueName(i);
            if (!name) break;
            auto value = key->queryValue(*name);
            REQUIRE(value);
            CHECK(value->type == kRegSz);
            std::wstring text;
            for (std::size_t b = 0; b + 1 < value->data.size(); b += 2)
                text += static_cast<wchar_t>(value->data[b] | (value->data[b + 1] << 8));
            if (!text.empty() && text.back() == L'\0') text.pop_back();
            result[*name] = text;
        }
        return result;
    }
};

using Values = std::map<std::wstring, std::wstring>;

}  // namespace

TEST_CASE("the values a list gets for its stored paths") {
    const struct {
        const wchar_t* list;
        std::vector<std::wstring> paths;
        Values values;
    } cases[] = {
        {L"DisallowRun", {L"C:\\Games\\solitaire.exe", L"D:\\x\\Mine.EXE"},
         {{L"0", L"solitaire.exe"}, {L"1", L"Mine.EXE"}}},
        {L"DisallowRun", {L"C:\\a.exe", L"C:\\Tools\\QUILLMARK.EXE"}, {{L"0", L"a.exe"}}},
        {L"DisallowRun", {L"C:\\quillmark.exe", L"D:\\quillmark.exe", L"C:\\b.exe"}, {{L"2", L"b.exe"}}},
        {L"DisallowRun", {}, {}},
        {L"RestrictRun", {L"C:\\a.exe", L"C:\\b.exe"}, {{L"0", L"a.exe"}, {L"1", L"b.exe"}, {L"2", L"quillmark.exe"}}},
        {L"RestrictRun", {}, {{L"0", L"quillmark.exe"}}},
        {L"RestrictRun", {L"C:\\Tools\\Quillmark.exe", L"C:\\b.exe"}, {{L"0", L"Quillmark.exe"}, {L"1", L"b.exe"}}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.list);
        const RunListValues values = RunListValuesFor(c.list, c.paths, kOwnExe);
        CHECK(Values(values.begin(), values.end()) == c.values);
    }
}

TEST_CASE("the stored list: one item per path whatever its case, renumbered after a delete") {
    RunListScope s;
    s.add(L"DisallowRun", {L"C:\\Games\\Solitaire.exe", L"  c:\\games\\SOLITAIRE.EXE "});
    CHECK(s.stored(L"DisallowRun") == std::vector<std::wstring>{L"C:\\Games\\Solitaire.exe"});

    s.add(L"DisallowRun", {L"C:\\Games\\mine.exe"});
    DeleteRunListFile(s.store.store(), RunListBlock(L"alice", L"DisallowRun"), L"c:\\games\\solitaire.exe");
    CHECK(s.stored(L"DisallowRun") == std::vector<std::wstring>{L"C:\\Games\\mine.exe"});
    CHECK(s.store.store().isValue(L"aliceDisallowRun0"));
    CHECK_FALSE(s.store.store().isValue(L"aliceDisallowRun1"));

    SUBCASE("each user keeps a list of their own") {
        s.add(L"DisallowRun", {L"C:\\bob.exe"}, L"bob");
        CHECK(s.stored(L"DisallowRun", L"bob") == std::vector<std::wstring>{L"C:\\bob.exe"});
        CHECK(s.stored(L"DisallowRun") == std::vector<std::wstring>{L"C:\\Games\\mine.exe"});
    }
}

TEST_CASE("a save rewrites the key from the current user's list") {
    RunListScope s;
    s.add(L"DisallowRun", {L"C:\\Games\\Solitaire.exe", L"c:\\games\\solitaire.exe", L"C:\\Games\\mine.exe"});
    s.add(L"DisallowRun", {L"C:\\other.exe"}, L"bob");
    // Left over from before: must not survive the rewrite.
    setRaw(s.reg, kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun"), L"7", sz(L"old.exe"));
    setRaw(s.reg, kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun\\Sub"), L"x", sz(L"y"));

    CHECK(WriteRunList(L"DisallowRun", true, kOwnExe));
    CHECK(s.values(L"DisallowRun") == Values{{L"0", L"Solitaire.exe"}, {L"1", L"mine.exe"}});
    CHECK_FALSE(s.reg.openKey(kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun\\Sub"), kKeyRead));

    SUBCASE("unchecked: the key goes, the stored list stays for the next save") {
        CHECK(WriteRunList(L"DisallowRun", false, kOwnExe));
        CHECK_FALSE(s.keyExists(L"DisallowRun"));
        CHECK(s.stored(L"DisallowRun").size() == 2);
        CHECK(WriteRunList(L"DisallowRun", true, kOwnExe));
        CHECK(s.values(L"DisallowRun").size() == 2);
    }
    CHECK(s.reg.openKeyCount() == 0);
}

TEST_CASE("a list that cannot be written is reported and ends alone") {
    RunListScope s;
    s.add(L"DisallowRun", {L"C:\\Games\\mine.exe"});
    s.add(L"RestrictRun", {L"C:\\Office\\excel.exe"});

    SUBCASE("the key cannot be created") {
        s.reg.denyAccess(kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun"));
        CHECK_FALSE(WriteRunList(L"DisallowRun", true, kOwnExe));
        CHECK(WriteRunList(L"RestrictRun", true, kOwnExe));
        CHECK(s.values(L"RestrictRun") == Values{{L"0", L"excel.exe"}, {L"1", L"quillmark.exe"}});
    }
    SUBCASE("the old key cannot be deleted") {
        setRaw(s.reg, kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun"), L"0", sz(L"stale.exe"));
        s.reg.denyAccess(kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun"), 0x00010000 /* DELETE */);
        CHECK_FALSE(WriteRunList(L"DisallowRun", false, kOwnExe));
    }
    CHECK(s.reg.openKeyCount() == 0);
}
