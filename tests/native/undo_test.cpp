#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "app/appobjects.h"
#include "app/undosnapshot.h"
#include "registry/cpapplets.h"
#include "registry/memory_registry.h"
#include "registry/regaccess.h"
#include "store/atomic_file.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/files.h"

using namespace regtest;
namespace fs = std::filesystem;

namespace {

const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kApplet = L"::{21EC2020-3AEA-1069-A2DD-08002B30309D}\\appwiz.cpl";

// The registry, the scheme, the main store, the entries as start-up builds them (one
// applet among them) and a folder for default.qmk.
struct Undo {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    SchemeScope scheme{"../applets/scheme.xml"};
    StoreScope main;
    TAppObjectsList entries;
    testsupport::TempFolder data{"undo"};
    const fs::path& folder = data.path;

    void load() {
        entries.Clear();
        LoadAppObjects(entries);
        entries.Add(std::make_unique<TRestrListRec>(
            MakeAppletEntry<TRestrListRec>({L"Add/Remove Programs", L"Add/Remove Programs", kApplet, 2})));
    }
    std::wstring dataFolder() const { return folder.wstring() + L"/"; }
    std::wstring snapshotPath() const { return dataFolder() + UndoSnapshotFileName; }
    TRestrListRec& entry(const std::wstring& name) {
        const int index = entries.IndexOf(name);
        REQUIRE(index >= 0);
        return entries[index];
    }
    void policy(const std::wstring& name, const RegValue& value) {
        setRaw(reg, kHkeyCurrentUser, L"Software\\QuillmarkTest\\Policies", name, value);
    }
};

// What the restore asked of the window.
struct WindowLog {
    int changed = 0;
    std::vector<bool> cursor;
    std::vector<std::wstring> errors;
    int questions = 0;
    bool answer = true;
    UndoWindow window() {
        return {[this](bool busy) { cursor.push_back(busy); }, [this] { ++changed; },
                [this](const std::wstring& text, const std::wstring& caption) {
                    ++questions;
                    CHECK(text == L"Do you want to reset all tweaks to the previous state ?");
                    CHECK(caption == L"Reset settings");
                    return answer;
                },
                [this](const std::wstring& text, const std::wstring& caption) {
                    errors.push_back(text + L"|" + caption);
                }};
    }
};

std::wstring hexOf(const std::vector<std::uint8_t>& bytes) {
    std::wstring text;
    for (const std::uint8_t b : bytes) {
        static const wchar_t digits[] = L"0123456789ABCDEF";
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST_CASE("The snapshot holds the store's entries but the password, then every entry's state as the registry has it") {
    Undo u;
    u.policy(L"NoRun", dword(1));
    u.policy(L"LogonText", sz(L"Authorised use only"));
    u.policy(L"NoDrives", dword(5));
    setRaw(u.reg, kHkeyCurrentUser, kDontLoad, kApplet, sz(L"Yes"));
    u.main.store().SetStr(L"AdminPass", L"pw");
    u.main.store().SetStr(L"NoRun", L"stale");  // updated where it stands
    u.load();
    // The snapshot records the registry, not the edited entries.
    u.entry(L"NoRun").SetValue = false;
    u.entry(L"NoDrives").nValue = 9;

    WriteUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries);

    const TEncriptor snapshot(u.snapshotPath(), true);
    const std::vector<std::wstring> expected = {
        ValidityMarker + L"=" + ValidityMarker,
        L"NoRun=1",  // updated where the store had it; what is new is appended
        L"Group_Common=0",
        L"NoRun_reg1=4:01000000",
        L"LogonText=1",
        L"LogonText_str=Authorised use only",
        L"LogonText_reg1=1:" + hexOf(sz(L"Authorised use only").data),
        L"NoDrives=1",
        L"NoDrives_int=5",
        L"NoDrives_reg1=4:05000000",
        L"CPApplets=0",
        kApplet + L"=1",  // the applets come after the scheme's entries
    };
    CHECK(snapshot.IDList == expected);
}

TEST_CASE("Empty texts and zero numbers get no _str or _int entry") {
    Undo u;
    u.load();
    WriteUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries);
    const TEncriptor snapshot(u.snapshotPath(), true);
    for (const std::wstring& e : snapshot.IDList) {
        CAPTURE(doctest::StringMaker<std::wstring>::convert(e));
        CHECK(e.find(L"_str=") == std::wstring::npos);
        CHECK(e.find(L"_int=") == std::wstring::npos);
    }
    CHECK(snapshot.GetStr(L"NoRun", L"absent") == L"0");
    CHECK(snapshot.GetStr(kApplet, L"absent") == L"0");
}

TEST_CASE("EnsureUndoSnapshot writes once and never updates the file") {
    Undo u;
    u.load();
    EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
    REQUIRE(fs::exists(u.snapshotPath()));
    const std::string first = fileBytes(u.snapshotPath());

    u.policy(L"NoRun", dword(1));
    u.main.store().SetStr(L"AdminPass", L"later");
    u.load();
    EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
    CHECK(fileBytes(u.snapshotPath()) == first);
}

TEST_CASE("A snapshot that cannot be created is skipped without an error") {
    Undo u;
    u.load();
    const std::wstring path = u.dataFolder() + L"missing-folder/" + UndoSnapshotFileName;
    CHECK_NOTHROW(WriteUndoSnapshot(path, u.main.store(), u.entries));
    CHECK_FALSE(fs::exists(path));
}

TEST_CASE("A snapshot write cut short leaves no file, and the next start writes a whole one") {
    Undo reference;
    reference.load();
    WriteUndoSnapshot(reference.snapshotPath(), reference.main.store(), reference.entries);
    const std::string whole = fileBytes(reference.snapshotPath());
    // A disk that takes a file holding only the validity marker, not the whole snapshot.
    const TEncriptor markerOnly(reference.dataFolder() + L"marker-only.qmk", true);
    const std::size_t markerOnlyBytes = fs::file_size(reference.folder / "marker-only.qmk");
    REQUIRE(whole.size() > markerOnlyBytes + 100);

    using storefile::WriteStep;
    const struct {
        const char* how;
        std::optional<std::size_t> diskSpace;
        std::optional<WriteStep> failingStep;
    } cases[] = {
        {"disk full", markerOnlyBytes + 100, {}},
        {"create fails", {}, WriteStep::Create},
        {"flush fails", {}, WriteStep::Flush},
        {"replace fails", {}, WriteStep::Replace},
    };
    for (const auto& c : cases) {
        const std::string how = c.how;
        CAPTURE(how);
        Undo u;
        u.load();
        {
            std::optional<storefile::ScopedWriteFault> diskFull;
            std::optional<storefile::ScopedStepFault> stepFault;
            if (c.diskSpace) diskFull.emplace(*c.diskSpace);
            if (c.failingStep) stepFault.emplace(*c.failingStep);
            CHECK_NOTHROW(EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries));
        }
        CHECK(fs::is_empty(u.folder));  // neither default.qmk nor a temporary file

        EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
        CHECK(fileBytes(u.snapshotPath()) == whole);
    }
}

TEST_CASE("A snapshot file that is there is never rewritten, even when it holds nothing") {
    Undo u;
    u.load();
    // What an interrupted write of an earlier version could leave: only the validity marker.
    const TEncriptor markerOnly(u.dataFolder() + L"marker-only.qmk", true);
    const std::string markerOnlyBytes = fileBytes(u.folder / "marker-only.qmk");
    for (const std::string& content : {std::string(), std::string("not a store\r\n"), markerOnlyBytes}) {
        {
            std::ofstream(u.folder / "default.qmk", std::ios::binary | std::ios::trunc) << content;
        }
        EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
        CHECK(fileBytes(u.snapshotPath()) == content);
    }
}

TEST_CASE("Restoring brings the entries and the store back and keeps the password in use") {
    const struct {
        const char* what;
        std::wstring atSnapshot, inUse;
    } passwords[] = {
        {"changed since", L"first", L"second"},
        {"defined since", L"", L"second"},
        {"removed since", L"first", L""},
        {"never defined", L"", L""},
    };
    for (const auto& p : passwords) {
        CAPTURE(p.what);
        Undo u;
        u.policy(L"LogonText", sz(L"Original"));
        u.main.store().SetStr(L"AdminPass", p.atSnapshot);
        u.main.store().setList(L"user_DisallowRun", {L"game.exe"});
        u.load();
        EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);

        // Changed and saved since: a tweak switched on, another text, a hidden applet, other lists.
        u.entry(L"NoRun").SetValue = true;
        u.entry(L"LogonText").cValue = L"Changed";
        u.entry(kApplet).SetValue = true;
        u.main.store().setList(L"user_DisallowRun", {L"game.exe", L"chat.exe"});
        u.main.store().SetStr(L"AdminPass", p.inUse);

        WindowLog log;
        CHECK(RestoreUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries, log.window()));

        CHECK_FALSE(u.entry(L"NoRun").SetValue);
        CHECK(u.entry(L"LogonText").SetValue);
        CHECK(u.entry(L"LogonText").cValue == L"Original");
        CHECK_FALSE(u.entry(kApplet).SetValue);
        std::vector<std::wstring> list;
        u.main.store().getList(L"user_DisallowRun", list, false);
        CHECK(list == std::vector<std::wstring>{L"game.exe"});
        CHECK(u.main.store().GetStr(L"AdminPass", L"") == p.inUse);
        CHECK(u.main.store().isValue(L"AdminPass") == !p.inUse.empty());
        CHECK(log.changed == 1);
        CHECK(log.cursor == std::vector<bool>{true, false});
    }
}

TEST_CASE("A snapshot of an earlier version that holds a password does not bring it back") {
    Undo u;
    u.load();
    {
        TEncriptor old(u.snapshotPath(), true);
        old.SetStr(L"AdminPass", L"from the snapshot");
        old.Flush(true);
    }
    u.main.store().SetStr(L"AdminPass", L"in use");
    WindowLog log;
    CHECK(RestoreUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries, log.window()));
    CHECK(u.main.store().GetStr(L"AdminPass", L"") == L"in use");
}

TEST_CASE("A value the snapshot does not hold keeps the entry's current one") {
    Undo u;
    u.load();  // LogonText empty and NoDrives 0: no _str or _int entries
    EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
    u.entry(L"LogonText").cValue = L"typed since";
    u.entry(L"NoDrives").nValue = 12;
    u.entry(L"NoDrives").SetValue = true;
    WindowLog log;
    RestoreUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries, log.window());
    CHECK(u.entry(L"LogonText").cValue == L"typed since");
    CHECK(u.entry(L"NoDrives").nValue == 12);
    CHECK_FALSE(u.entry(L"NoDrives").SetValue);
}

TEST_CASE("Undo all tweaks: asks first, reports a missing snapshot, and restores in memory only") {
    Undo u;
    u.load();
    const auto entriesState = [&u] {
        std::vector<bool> states;
        for (int i = 0; i < u.entries.Count(); ++i) states.push_back(u.entries[i].SetValue);
        return states;
    };

    SUBCASE("No changes nothing") {
        EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
        u.entry(L"NoRun").SetValue = true;
        WindowLog log;
        log.answer = false;
        setallsettingstodefaultstate1Click(u.dataFolder(), u.main.store(), u.entries, log.window());
        CHECK(log.questions == 1);
        CHECK(u.entry(L"NoRun").SetValue);
        CHECK(log.changed == 0);
        CHECK(log.errors.empty());
    }
    SUBCASE("a missing snapshot is reported and changes nothing") {
        u.entry(L"NoRun").SetValue = true;
        const auto before = entriesState();
        WindowLog log;
        setallsettingstodefaultstate1Click(u.dataFolder(), u.main.store(), u.entries, log.window());
        CHECK(log.errors == std::vector<std::wstring>{L"The file default.dat not found !|Undo tweaks"});
        CHECK(entriesState() == before);
        CHECK(log.changed == 0);
        WindowLog direct;
        CHECK_FALSE(RestoreUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries, direct.window()));
        CHECK(direct.changed == 0);
    }
    SUBCASE("Yes restores, marks the settings changed even when nothing differs, writes no file") {
        EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
        const std::string storeFile = fileBytes(u.main.store().DataFile);
        for (int round = 0; round < 2; ++round) {
            u.entry(L"NoRun").SetValue = round == 0;
            WindowLog log;
            setallsettingstodefaultstate1Click(u.dataFolder(), u.main.store(), u.entries, log.window());
            CHECK_FALSE(u.entry(L"NoRun").SetValue);
            CHECK(log.changed == 1);
        }
        CHECK(fileBytes(u.main.store().DataFile) == storeFile);
        CHECK(u.reg.openKey(kHkeyCurrentUser, L"Software\\QuillmarkTest\\Policies", kKeyRead) == nullptr);
    }
}

TEST_CASE("The snapshot records each location absent or with its exact data and type, and the restore reads it back") {
    const struct {
        const char* what;
        std::optional<RegValue> value;
    } cases[] = {
        {"absent", std::nullopt},
        {"REG_DWORD", dword(7)},
        {"REG_DWORD zero", dword(0)},
        {"REG_SZ", sz(L"1")},
        {"REG_SZ empty", sz(L"")},
        {"REG_EXPAND_SZ", RegValue{kRegExpandSz, sz(L"%SystemRoot%\\x").data}},
        {"REG_BINARY", RegValue{kRegBinary, {0x00, 0xFF, 0x10}}},
        {"REG_BINARY empty", RegValue{kRegBinary, {}}},
        {"REG_MULTI_SZ", RegValue{kRegMultiSz, {'a', 0, 0, 0, 0, 0}}},
        {"REG_QWORD", RegValue{kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {"REG_NONE", RegValue{kRegNone, {9}}},
        {"REG_DWORD_BIG_ENDIAN", RegValue{kRegDwordBigEndian, {0, 0, 0, 1}}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        Undo u;
        if (c.value) u.policy(L"NoDrives", *c.value);
        u.load();
        EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
        u.entry(L"NoDrives").SetValue = true;
        u.entry(L"NoDrives").nValue = 3;
        WindowLog log;
        RestoreUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries, log.window());
        const TRestrListRec& entry = u.entry(L"NoDrives");
        REQUIRE(entry.ExactValuesNow() != nullptr);
        // An absent value also tells how many levels of its key were missing: here all three
        // of Software\QuillmarkTest\Policies.
        CHECK(*entry.ExactValuesNow() == std::vector<RecordedValue>{{1, c.value, c.value ? 0 : 3}});
        // The records steer the save; the settings file does not keep them.
        CHECK_FALSE(u.main.store().isValue(L"NoDrives_reg1"));
        CHECK_FALSE(u.main.store().isValue(L"NoDrives_key1"));
    }
}

TEST_CASE("An edit after the restore writes as usual; a snapshot without records or with a damaged one restores as before") {
    Undo u;
    u.load();
    EnsureUndoSnapshot(u.dataFolder(), u.main.store(), u.entries);
    WindowLog log;
    RestoreUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries, log.window());
    REQUIRE(u.entry(L"NoRun").ExactValuesNow() != nullptr);
    u.entry(L"NoRun").SetValue = true;
    CHECK(u.entry(L"NoRun").ExactValuesNow() == nullptr);
    u.entry(L"NoRun").SetValue = false;  // switched back: the record holds again
    CHECK(u.entry(L"NoRun").ExactValuesNow() != nullptr);

    // An earlier version's snapshot (no _reg entries) and one whose records do not read.
    {
        TEncriptor old(u.snapshotPath(), true);
        old.Delete(L"NoRun_reg1");
        old.SetStr(L"NoDrives_reg1", L"4:0G");
        old.SetStr(L"LogonText_reg1", L"x:00");
        old.Flush(true);
    }
    u.entry(L"NoRun").SetValue = true;
    RestoreUndoSnapshot(u.snapshotPath(), u.main.store(), u.entries, log.window());
    CHECK_FALSE(u.entry(L"NoRun").SetValue);
    for (const wchar_t* name : {L"NoRun", L"NoDrives", L"LogonText"}) {
        CAPTURE(doctest::StringMaker<std::wstring>::convert(name));
        CHECK_FALSE(u.entry(name).Exact.has_value());
    }
}
