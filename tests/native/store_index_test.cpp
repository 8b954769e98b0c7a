#include <doctest/doctest.h>

#include "base/text.h"
#include "store/Encript.h"
#include "tests/support/files.h"

#include <filesystem>
#include <random>
#include <string>
#include <vector>


namespace fs = std::filesystem;

namespace {

struct TempStore {
    testsupport::TempFolder dir{"store_index"};
    TEncriptor store{dir.file("s.dat"), true};
};

// The store's letter case rule, written out on its own: ASCII and Latin-1 letters.
wchar_t upper(wchar_t c) {
    if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
    return c;
}

// What a look-up must answer: the value of the first entry of that name, by walking the list.
const std::wstring* plainScan(const std::vector<std::wstring>& list, const std::wstring& id) {
    for (const std::wstring& entry : list) {
        std::size_t eq = entry.find(L'=');
        if (eq == std::wstring::npos || eq != id.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < eq && same; ++i) same = upper(entry[i]) == upper(id[i]);
        if (same) return &entry;
    }
    return nullptr;
}

std::string narrow(const std::wstring& w) { return toUtf8(w); }

// Every probe name, in several letter cases, answers as the plain scan does.
void checkAgainstScan(const TEncriptor& store, const std::vector<std::wstring>& probes) {
    const std::vector<std::wstring>& list = store.IDList;
    for (const std::wstring& id : probes) {
        CAPTURE(narrow(id));
        const std::wstring* entry = plainScan(list, id);
        std::wstring expected = L"<none>";
        if (entry) {
            expected = entry->substr(entry->find(L'=') + 1);
            while (!expected.empty() && expected.back() == L' ') expected.pop_back();
            while (!expected.empty() && expected.front() == L' ') expected.erase(0, 1);
        }
        CHECK(store.isValue(id) == (entry != nullptr));
        CHECK(store.GetStr(id, L"<none>") == expected);
    }
}

const std::vector<std::wstring> probes = {
    L"Alpha", L"ALPHA", L"alpha", L"Beta", L"beta", L"Gamma", L"gamma", L"Delta", L"New", L"NEW",
    L"\x00E4rger", L"\x00C4RGER", L"\x00F7x", L"\x00D7x", L"ListItem0", L"listitem1", L"Other0",
    L"NoEquals", L"Alpha=1", L"", L"Missing",
};

}  // namespace

TEST_CASE("name look-ups after the list is edited directly or through the store") {
    struct Case { const char* what; void (*edit)(TEncriptor&); };
    const Case cases[] = {
        {"replace an entry's value", [](TEncriptor& s) { s.IDList.replace(1, L"Beta=changed"); }},
        {"replace an entry's name, same size", [](TEncriptor& s) { s.IDList.replace(1, L"New=renamed"); }},
        {"a later twin becomes first", [](TEncriptor& s) { s.IDList.replace(0, L"Zeta=1"); }},
        {"an earlier entry takes a later name", [](TEncriptor& s) { s.IDList.replace(0, L"GAMMA=earlier"); }},
        {"an entry loses its =", [](TEncriptor& s) { s.IDList.replace(2, L"Gamma"); }},
        {"a nameless entry gains one", [](TEncriptor& s) { s.IDList.replace(4, L"NoEquals=now"); }},
        {"erase the first", [](TEncriptor& s) { s.IDList.erase(s.IDList.begin()); }},
        {"erase a middle range", [](TEncriptor& s) { s.IDList.erase(s.IDList.begin() + 1, s.IDList.begin() + 3); }},
        {"insert a twin in front", [](TEncriptor& s) { s.IDList.insert(s.IDList.begin(), L"alpha=front"); }},
        {"insert then erase, same size", [](TEncriptor& s) {
             s.IDList.insert(s.IDList.begin(), L"New=1");
             s.IDList.erase(s.IDList.end() - 1);
         }},
        {"append a twin and a new name", [](TEncriptor& s) {
             s.IDList.push_back(L"ALPHA=late");
             s.IDList.push_back(L"\x00E4RGER=latin");
         }},
        {"clear", [](TEncriptor& s) { s.IDList.clear(); }},
        {"clear and refill", [](TEncriptor& s) {
             s.IDList.clear();
             s.IDList.push_back(L"Delta=d");
             s.IDList.push_back(L"delta=twin");
         }},
        {"assign a list of the same size", [](TEncriptor& s) {
             std::vector<std::wstring> other(s.IDList.size(), L"Missing=x");
             other[2] = L"Beta=other";
             s.IDList = other;
         }},
        {"take another store's list", [](TEncriptor& s) {
             TEncriptor other = s;
             other.IDList.replace(0, L"Gamma=from other");
             s.IDList = other.IDList;
         }},
        {"set, delete and set again", [](TEncriptor& s) {
             s.SetStr(L"beta", L"");
             s.SetStr(L"New", L"n");
             s.Delete(L"ALPHA");
             s.SetStr(L"alpha", L"back");
         }},
        {"rename and delete blocks", [](TEncriptor& s) {
             s.RenameBlock(L"ListItem", L"Other");
             s.DeleteBlock(L"Gam");
             s.setList(L"ListItem", {L"x", L"y"});
         }},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        TempStore t;
        TEncriptor& store = t.store;
        store.IDList = {L"Alpha=1", L"Beta=  two  ", L"Gamma=3", L"alpha=twin", L"NoEquals", L"ListItem0=a",
                        L"\x00C4rger=x", L"\x00F7X=div", L"gamma=twin"};
        checkAgainstScan(store, probes);  // builds the index before the edit
        c.edit(store);
        checkAgainstScan(store, probes);
    }
}

TEST_CASE("a copied or moved store answers for its own list") {
    TempStore t;
    t.store.IDList = {L"Alpha=1", L"Beta=2"};
    checkAgainstScan(t.store, probes);
    TEncriptor copy = t.store;
    copy.IDList.replace(0, L"New=copy");
    checkAgainstScan(copy, probes);
    checkAgainstScan(t.store, probes);
    CHECK(t.store.GetStr(L"alpha", L"") == L"1");
    CHECK_FALSE(copy.isValue(L"alpha"));

    EntryList moved = std::move(copy.IDList);
    CHECK(moved.find(L"NEW") == 0);
    CHECK(copy.IDList.empty());
    checkAgainstScan(copy, probes);
}

// Random direct edits and store changes over a few names in mixed letter case.
TEST_CASE("a random mix of edits always answers as the plain scan") {
    TempStore t;
    TEncriptor& store = t.store;
    std::mt19937 random(20261210);
    const std::wstring names[] = {L"Alpha", L"ALPHA", L"beta", L"Gamma", L"New", L"\x00E4rger", L"\x00C4RGER", L"Delta"};
    auto name = [&] { return names[random() % std::size(names)]; };
    auto entry = [&] {
        switch (random() % 4) {
        case 0: return name();  // no "="
        default: return name() + L"=" + std::to_wstring(random() % 10);
        }
    };
    for (int step = 0; step < 3000; ++step) {
        const std::size_t size = store.IDList.size();
        switch (random() % 9) {
        case 0: store.IDList.push_back(entry()); break;
        case 1: if (size) store.IDList.replace(random() % size, entry()); break;
        case 2: if (size) store.IDList.erase(store.IDList.begin() + random() % size); break;
        case 3: store.IDList.insert(store.IDList.begin() + random() % (size + 1), entry()); break;
        case 4: if (random() % 20 == 0) store.IDList.clear(); break;
        case 5: store.SetStr(name(), random() % 3 ? std::to_wstring(random() % 10) : L""); break;
        case 6: store.Delete(name()); break;
        case 7: store.RenameBlock(name(), name()); break;
        case 8: store.IDList = std::vector<std::wstring>(store.IDList.begin(), store.IDList.end()); break;
        }
        CAPTURE(step);
        checkAgainstScan(store, probes);
    }
}
