#include <doctest/doctest.h>

#include <fstream>
#include <tuple>

#include "app/export.h"
#include "app/locationtext.h"
#include "app/runlists.h"
#include "base/text.h"
#include "tests/native/app_model_fixture.h"
#include "tests/support/pol_reader.h"

using namespace apptest;
using regtest::dword;
using regtest::setRaw;
using regtest::sz;

namespace {

const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kMouse = L"::{GUID-MOUSE}\\mouse";

std::wstring lines(std::initializer_list<std::wstring> list) {
    std::wstring text;
    for (const std::wstring& line : list) text += line + L"\r\n";
    return text;
}

std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

using Record = std::tuple<std::u16string, std::u16string, std::uint32_t, std::vector<std::uint8_t>>;
std::vector<Record> records(const std::vector<std::uint8_t>& bytes) {
    std::vector<Record> out;
    for (const polreader::Record& r : polreader::read(bytes)) out.emplace_back(r.key, r.value, r.type, r.data);
    return out;
}
Record record(const std::wstring& key, const std::wstring& value, const RegValue& data) {
    return {u16(key), u16(value), data.type, data.data};
}

// Switched on, off, on already, with text and number; applets shown and hidden; a run list.
struct ExportingApp : App {
    ExportingApp() {
        setRaw(reg, kHkeyCurrentUser, kPolicies, L"Zeta", dword(1));
        setRaw(reg, kHkeyCurrentUser, kPolicies, L"Alpha", dword(1));
        setRaw(reg, kHkeyCurrentUser, kDontLoad, kMouse, sz(L"Yes"));
        start();
        toggle(L"Zeta", false);
        toggle(L"TextTweak", true);
        entry(L"TextTweak").cValue = L"C:\\dir \"q\"";
        toggle(L"DrivesTweak", true);
        entry(L"DrivesTweak").nValue = 5;
        toggle(L"MachineFlag", true);
        toggle(L"DisallowRun", true);
        AddRunListFiles(*model.Store(), RunListBlock(L"alice", L"DisallowRun"), {L"C:\\a\\x.exe", L"D:\\y.exe"});
    }
    ExportPlan plan() { return PlanExport(model.FAppObjectsList, L"quillmark.exe"); }
};

const std::wstring kDisallowKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\DisallowRun";

}  // namespace

TEST_CASE("export: the .reg text of the tweaks as they stand in the window") {
    ExportingApp app;
    CHECK(RegFileText(app.plan()) ==
          lines({L"Windows Registry Editor Version 5.00", L"",
                 L"[HKEY_LOCAL_MACHINE\\Software\\QuillmarkTest\\Machine]", L"\"MachineFlag\"=dword:00000001", L"",
                 L"[HKEY_CURRENT_USER\\Software\\QuillmarkTest\\Policies]",
                 L"\"Zeta\"=dword:00000000",  // switched off here: the save writes it
                 L"\"Alpha\"=dword:00000001",  // on already: the save leaves it, the export carries it
                 L"\"TextTweak\"=\"C:\\\\dir \\\"q\\\"\"", L"\"DrivesTweak\"=dword:00000005",
                 L"\"DisallowRun\"=dword:00000001", L"",
                 L"[HKEY_CURRENT_USER\\Control Panel\\don't load]",
                 L"\"C:\\\\Windows\\\\system32\\\\desk.cpl\"=\"Yes\"", L"\"::{GUID-MOUSE}\\\\mouse\"=-", L"",
                 L"[-HKEY_CURRENT_USER\\" + kDisallowKey + L"]", L"", L"[HKEY_CURRENT_USER\\" + kDisallowKey + L"]",
                 L"\"0\"=\"x.exe\"", L"\"1\"=\"y.exe\"", L""}));
    CHECK(ExportMessage(app.plan()).empty());
}

TEST_CASE("export: the .reg file is UTF-16LE after its byte-order mark; odd text goes as hex") {
    ExportingApp app;
    const std::vector<std::uint8_t> bytes = RegFileBytes(app.plan());
    REQUIRE(bytes.size() > 2);
    CHECK(bytes[0] == 0xFF);
    CHECK(bytes[1] == 0xFE);
    CHECK(fromUtf16le({bytes.begin() + 2, bytes.end()}) == RegFileText(app.plan()));

    app.entry(L"TextTweak").cValue = L"a\nb";
    CHECK(RegFileText(app.plan()).find(L"\"TextTweak\"=hex(1):61,00,0a,00,62,00,00,00\r\n") != std::wstring::npos);
}

TEST_CASE("export: the Registry.pol files hold the same values, split by root, as the reader reads them") {
    ExportingApp app;
    const PolicyFiles files = PolicyFileBytes(app.plan());
    CHECK(records(files.Machine) == std::vector<Record>{record(kMachine, L"MachineFlag", dword(1))});
    const RegValue blank = sz(L" ");
    CHECK(records(files.User) ==
          std::vector<Record>{record(kPolicies, L"Zeta", dword(0)), record(kPolicies, L"Alpha", dword(1)),
                              record(kPolicies, L"TextTweak", sz(L"C:\\dir \"q\"")),
                              record(kPolicies, L"DrivesTweak", dword(5)), record(kPolicies, L"DisallowRun", dword(1)),
                              record(kDontLoad, L"C:\\Windows\\system32\\desk.cpl", sz(L"Yes")),
                              record(kDontLoad, L"**del." + kMouse, blank),
                              record(kDisallowKey, L"**delvals.", blank), record(kDisallowKey, L"0", sz(L"x.exe")),
                              record(kDisallowKey, L"1", sz(L"y.exe"))});
}

TEST_CASE("export: a run list whose tweak is off is left as the other machine has it") {
    App app;
    setRaw(app.reg, kHkeyCurrentUser, kDisallowKey, L"1", sz(L"game.exe"));
    app.start();
    const ExportPlan plan = PlanExport(app.model.FAppObjectsList, L"quillmark.exe");
    const std::wstring text = RegFileText(plan);
    CHECK(text.find(L"DisallowRun") == std::wstring::npos);
    CHECK(text.find(L"RestrictRun") == std::wstring::npos);
    for (const Record& r : records(PolicyFileBytes(plan).User)) CHECK(std::get<0>(r) != u16(kDisallowKey));
}

TEST_CASE("export: a class key rename is left out, with a comment and a line in the message") {
    App app("tests/fixtures/app/clsid.xml");
    app.start();
    app.toggle(L"HideClass", true);
    const ExportPlan plan = PlanExport(app.model.FAppObjectsList, L"quillmark.exe");
    CHECK(RegFileText(plan) ==
          lines({L"Windows Registry Editor Version 5.00", L"",
                 L"; Left out: \"Hide the class\" (HideClass) renames a class key under "
                 L"HKEY_CURRENT_USER\\Software\\QuillmarkTest\\CLSID, which a .reg file cannot express.",
                 L""}));
    CHECK(records(PolicyFileBytes(plan).User).empty());
    const std::wstring message = ExportMessage(plan);
    CHECK(message.find(L"\nHide the class (HideClass)") != std::wstring::npos);

    app.toggle(L"HideClass", false);  // off and not renamed here: nothing to leave out
    CHECK(PlanExport(app.model.FAppObjectsList, L"quillmark.exe").LeftOut.empty());
}

TEST_CASE("export: files are written where asked, and a folder that cannot be written is named") {
    ExportingApp app;
    const ExportPlan plan = app.plan();
    WriteRegFile(app.folder.path / "tweaks.reg", plan);
    WritePolicyFiles(app.folder.path / "gpo", plan);
    std::ifstream reg(app.folder.path / "tweaks.reg", std::ios::binary);
    const std::vector<std::uint8_t> regBytes{std::istreambuf_iterator<char>(reg), {}};
    CHECK(regBytes == RegFileBytes(plan));
    std::ifstream machine(app.folder.path / "gpo" / "Machine" / "Registry.pol", std::ios::binary);
    CHECK(std::vector<std::uint8_t>{std::istreambuf_iterator<char>(machine), {}} == PolicyFileBytes(plan).Machine);
    CHECK(fs::exists(app.folder.path / "gpo" / "User" / "Registry.pol"));

    CHECK_THROWS_AS(WriteRegFile(app.folder.path / "missing" / "tweaks.reg", plan), std::runtime_error);
}

TEST_CASE("export: the Registry.pol files already in a folder are named before they are replaced") {
    testsupport::TempFolder folder;
    CHECK(ExistingPolicyFiles(folder.path).empty());
    std::filesystem::create_directories(folder.path / "User");
    std::ofstream(folder.path / "User" / "Registry.pol") << "PReg";
    const std::vector<std::filesystem::path> one = ExistingPolicyFiles(folder.path);
    REQUIRE(one.size() == 1);
    CHECK(one[0] == folder.path / "User" / "Registry.pol");
    CHECK(ReplacePolicyFilesQuestion(one) ==
          L"This file already exists:\n\n" + (folder.path / "User" / "Registry.pol").wstring() +
              L"\n\nDo you want to replace it?");
    std::filesystem::create_directories(folder.path / "Machine");
    std::ofstream(folder.path / "Machine" / "Registry.pol") << "PReg";
    const std::vector<std::filesystem::path> both = ExistingPolicyFiles(folder.path);
    CHECK(both.size() == 2);
    CHECK(ReplacePolicyFilesQuestion(both).find(L"These files already exist:") == 0);
}
