// The command line of the real executable, run as a process of its own with its output
// captured through a pipe, on Wine's registry checked with reg.exe: /apply, /check, /export,
// /list, the password rule under a token without the Administrators group, and the errors.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/export.h"
#include "app/mainmodel.h"
#include "app/password.h"
#include "platform/controlpanel.h"
#include "base/scope.h"
#include "base/text.h"
#include "base/win/handles.h"
#include "profile/polfile.h"
#include "profile/regfile.h"
#include "registry/cpapplets.h"
#include "store/Encript.h"
#include "tests/support/hives.h"
#include "tests/wine/gui_fixture.h"

using namespace guitest;
using testsupport::HiveFile;
using testsupport::ListedProfile;
using testsupport::quillmarkMounts;

namespace {

const std::wstring kSystem = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const std::wstring kWinlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::wstring kDisallow = kExplorer + L"\\DisallowRun";
const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kApplet = L"C:\\QuillmarkTest\\test.cpl";

using Run = testsupport::ProgramRun;

// The Administrators group made deny-only, as in the token of an administrator whom UAC
// has not elevated.
UniqueHandle tokenWithoutAdministrators() {
    HANDLE own = nullptr;
    REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own));
    const UniqueHandle token(own);
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    REQUIRE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                     &administrators));
    SID_AND_ATTRIBUTES disabled{administrators, 0};
    HANDLE restricted = nullptr;
    const BOOL made = CreateRestrictedToken(token.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted);
    FreeSid(administrators);
    REQUIRE(made);
    return UniqueHandle(restricted);
}

Run run(const std::wstring& commandLine, HANDLE token = nullptr,
        const testsupport::Where& where = testsupport::Where::current()) {
    return testsupport::runProgram(commandLine, token, where);
}

// reg.exe's view of one value: its line of `reg query`, or empty when it is not there.
std::string regQuery(const std::wstring& key, const std::wstring& name) {
    const Run r = run(L"reg.exe query \"" + key + L"\" /v \"" + name + L"\"");
    if (r.exitCode != 0) return {};
    std::string narrowName(name.begin(), name.end());
    for (std::size_t start = 0; start < r.output.size();) {
        const std::size_t end = std::min(r.output.find('\n', start), r.output.size());
        const std::string line = r.output.substr(start, end - start);
        if (line.find(narrowName) != std::string::npos && line.find("REG_") != std::string::npos) {
            const std::size_t first = line.find_first_not_of(' ');
            return line.substr(first);
        }
        start = end + 1;
    }
    return {};
}

void clean() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSystem.c_str(), L"NoDispCPL");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSystem.c_str(), L"Stranger");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kExplorer.c_str(), L"NoThemesTab");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kExplorer.c_str(), L"DisallowRun");
    RegDeleteTreeW(HKEY_CURRENT_USER, kDisallow.c_str());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kDontLoad.c_str(), kApplet.c_str());
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kWinlogon.c_str(), L"DisableCAD");
}

void writeFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> fileBytes(const fs::path& file) {
    const std::string text = testsupport::readBytes(file);
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> regFile(const std::wstring& body) {
    return RegFileBytes(L"Windows Registry Editor Version 5.00\r\n\r\n" + body);
}

// A copy of the product in a folder of its own: its quillmark.dat and default.qmk go there.
struct Product {
    TempFolder folder;
    fs::path exe = folder.path / L"quillmark.exe";
    Product() {
        clean();
        fs::copy_file(fs::path(env(L"QM_EXE")), exe);
    }
    ~Product() { clean(); }
    Run operator()(const std::wstring& args, HANDLE token = nullptr) const {
        return run(L"\"" + exe.wstring() + L"\" " + args, token);
    }
    std::wstring quoted(const std::wstring& name) const { return L"\"" + (folder.path / name).wstring() + L"\""; }
};

const std::wstring kProfileBody =
    L"[HKEY_CURRENT_USER\\" + kSystem + L"]\r\n\"NoDispCPL\"=dword:00000001\r\n\"Stranger\"=dword:00000001\r\n\r\n"
    L"[HKEY_CURRENT_USER\\" + kExplorer + L"]\r\n\"NoThemesTab\"=dword:00000001\r\n\"DisallowRun\"=dword:00000001\r\n\r\n"
    L"[-HKEY_CURRENT_USER\\" + kDisallow + L"]\r\n\r\n[HKEY_CURRENT_USER\\" + kDisallow + L"]\r\n\"0\"=\"notepad.exe\"\r\n\r\n"
    L"[HKEY_CURRENT_USER\\" + kDontLoad + L"]\r\n\"C:\\\\QuillmarkTest\\\\test.cpl\"=\"Yes\"\r\n\r\n"
    L"[HKEY_LOCAL_MACHINE\\" + kWinlogon + L"]\r\n\"DisableCAD\"=dword:00000000\r\n";

}  // namespace

TEST_CASE("command line: /check tells the differences, /apply writes them, /check then complies") {
    const Product quillmark;
    writeFile(quillmark.folder.path / L"profile.reg", regFile(kProfileBody));
    const std::wstring profile = quillmark.quoted(L"profile.reg");

    const Run before = quillmark(L"/check " + profile);
    CAPTURE(before.output);
    CHECK(before.exitCode == 1);
    CHECK(before.has("Differs: Disable the Display Control Panel: HKEY_CURRENT_USER\\" +
                     std::string(kSystem.begin(), kSystem.end()) + ", NoDispCPL is (not set), the profile wants "
                     "REG_DWORD 0x00000001 (1)"));
    CHECK(before.count("Differs: ") == 6);  // three flags, the list's flag and value, the applet, DisableCAD
    CHECK(before.has("Not checked, it belongs to no tweak: HKEY_CURRENT_USER\\"));
    CHECK(regQuery(L"HKCU\\" + kSystem, L"NoDispCPL").empty());  // /check writes nothing
    CHECK_FALSE(fs::exists(quillmark.folder.path / L"default.qmk"));

    const Run applied = quillmark(L"/apply " + profile);
    CAPTURE(applied.output);
    CHECK(applied.exitCode == 0);
    CHECK(applied.count("Written: ") == 6);
    CHECK(applied.has("Written: HKEY_CURRENT_USER\\" + std::string(kSystem.begin(), kSystem.end()) +
                      ", NoDispCPL: REG_DWORD 0x00000001 (1) (was (not set)) - Disable the Display Control Panel"));
    CHECK(applied.has("Not applied, it belongs to no tweak: HKEY_CURRENT_USER\\" +
                      std::string(kSystem.begin(), kSystem.end()) + ": Stranger = REG_DWORD 0x00000001 (1)"));
    CHECK(applied.has("6 values written."));
    CHECK(regQuery(L"HKCU\\" + kSystem, L"NoDispCPL") == "NoDispCPL    REG_DWORD    0x1");
    CHECK(regQuery(L"HKCU\\" + kExplorer, L"NoThemesTab") == "NoThemesTab    REG_DWORD    0x1");
    CHECK(regQuery(L"HKCU\\" + kDisallow, L"0") == "0    REG_SZ    notepad.exe");
    CHECK(regQuery(L"HKCU\\" + kDontLoad, kApplet) == "C:\\QuillmarkTest\\test.cpl    REG_SZ    Yes");
    CHECK(regQuery(L"HKLM\\" + kWinlogon, L"DisableCAD") == "DisableCAD    REG_DWORD    0x0");
    CHECK(regQuery(L"HKCU\\" + kSystem, L"Stranger").empty());
    CHECK(fs::exists(quillmark.folder.path / L"default.qmk"));  // the state before, for Undo all tweaks

    const Run after = quillmark(L"/check " + profile);
    CAPTURE(after.output);
    CHECK(after.exitCode == 0);
    CHECK(after.has("Compliant: the registry holds every tweak of the profile."));

    // Someone switches one tweak back: not compliant, and /apply writes only that one.
    CHECK(run(L"reg.exe add \"HKCU\\" + kSystem + L"\" /v NoDispCPL /t REG_DWORD /d 0 /f").exitCode == 0);
    const Run drifted = quillmark(L"/check " + profile);
    CHECK(drifted.exitCode == 1);
    CHECK(drifted.count("Differs: ") == 1);
    const Run again = quillmark(L"/apply " + profile);
    CAPTURE(again.output);
    CHECK(again.exitCode == 0);
    CHECK(again.count("Written: ") == 1);
    CHECK(quillmark(L"/check " + profile).exitCode == 0);
}

TEST_CASE("command line: /export writes what File > Export writes; /list lists every tweak") {
    const Product quillmark;
    CHECK(run(L"reg.exe add \"HKCU\\" + kSystem + L"\" /v NoDispCPL /t REG_DWORD /d 1 /f").exitCode == 0);

    const Run exported = quillmark(L"/export " + quillmark.quoted(L"state.reg"));
    CAPTURE(exported.output);
    CHECK(exported.exitCode == 0);
    const Run policy = quillmark(L"/export " + quillmark.quoted(L"gpo\\Registry.pol"));
    CHECK(policy.exitCode == 0);
    CHECK(policy.count("Written: ") == 2);

    // The same export in this process, from the same scheme, store and Control Panel.
    ProductResources resources;
    ExportPlan plan;
    int tweaks = 0;
    {
        TMainModel model;
        model.LoadCPApplets = [done = false](TAppObjectsList& list) mutable {
            if (std::exchange(done, true)) return;
            for (ControlPanelApplet& applet : EnumerateControlPanel(false))
                list.Add(std::make_unique<TRestrListRec>(MakeAppletEntry<TRestrListRec>(applet.Item)));
        };
        model.FormCreate({quillmark.folder.withSeparator(),
                          [&](XmlDocument& doc) { doc.loadFromResource(L"APPSCHEME", resources.get()); },
                          [] { return userName(); }, false});
        plan = PlanExport(model.FAppObjectsList, L"quillmark.exe");
        const TAppObjectsList& entries = model.AllEntries();  // the applets too, as /list lists them
        for (int i = 0; i < entries.Count(); ++i) tweaks += entries[i].AType == L"CheckBox";
    }
    CHECK(fileBytes(quillmark.folder.path / L"state.reg") == RegFileBytes(plan));
    const PolicyFiles files = PolicyFileBytes(plan);
    CHECK(fileBytes(quillmark.folder.path / L"gpo" / L"User" / L"Registry.pol") == files.User);
    CHECK(fileBytes(quillmark.folder.path / L"gpo" / L"Machine" / L"Registry.pol") == files.Machine);
    // The tweak switched on here is in the user part.
    const ProfileValue noDispCpl{L"NoDispCPL", RegValue{kRegDword, {1, 0, 0, 0}}};
    const std::vector<ProfileKey> user = ReadPolicyFile(files.User, kHkeyCurrentUser);
    CHECK(std::any_of(user.begin(), user.end(), [&](const ProfileKey& k) {
        return k.Path == kSystem && std::count(k.Values.begin(), k.Values.end(), noDispCpl) == 1;
    }));

    const Run listed = quillmark(L"/list");
    CHECK(listed.exitCode == 0);
    CHECK(listed.count("\n") == tweaks);
    CHECK(listed.has("on  | Display settings | Disable the Display Control Panel | NoDispCPL | HKEY_CURRENT_USER\\" +
                     std::string(kSystem.begin(), kSystem.end()) + ", NoDispCPL (Integer10)\n"));
    const Run csv = quillmark(L"/list /csv");
    CHECK(csv.exitCode == 0);
    CHECK(csv.count("\n") == tweaks + 1);
    CHECK(csv.output.rfind("Group,Group caption,Name,Caption,State,Text or number,Location 1,Value 1,Type 1,", 0) == 0);
    CHECK(csv.has("\nGroup_Display,Display settings,NoDispCPL,Disable the Display Control Panel,on,,HKEY_CURRENT_USER\\" +
                  std::string(kSystem.begin(), kSystem.end()) + ",NoDispCPL,Integer10,,,\n"));
}

TEST_CASE("command line: with a password set, /apply runs only elevated; it never asks") {
    const Product quillmark;
    {
        TEncriptor store((quillmark.folder.path / L"quillmark.dat").wstring(), true);
        store.SetStr(AdminPassKey, L"secret");
        REQUIRE(store.Flush(true));
    }
    const std::string storeBefore = testsupport::readBytes(quillmark.folder.path / L"quillmark.dat");
    writeFile(quillmark.folder.path / L"profile.reg", regFile(kProfileBody));
    const std::wstring profile = quillmark.quoted(L"profile.reg");
    const UniqueHandle limited = tokenWithoutAdministrators();

    const Run refused = quillmark(L"/apply " + profile, limited.get());
    CAPTURE(refused.output);
    CHECK(refused.exitCode == 5);
    CHECK(refused.has("An administrator password is set: /apply runs only as an elevated administrator or as SYSTEM."));
    CHECK(regQuery(L"HKCU\\" + kSystem, L"NoDispCPL").empty());
    CHECK(testsupport::readBytes(quillmark.folder.path / L"quillmark.dat") == storeBefore);
    CHECK_FALSE(fs::exists(quillmark.folder.path / L"default.qmk"));

    // Commands that write nothing are not refused.
    CHECK(quillmark(L"/check " + profile, limited.get()).exitCode == 1);
    // Wine's own user is an elevated administrator.
    const Run elevated = quillmark(L"/apply " + profile);
    CAPTURE(elevated.output);
    CHECK(elevated.exitCode == 0);
    CHECK(regQuery(L"HKCU\\" + kSystem, L"NoDispCPL") == "NoDispCPL    REG_DWORD    0x1");
}

TEST_CASE("command line: usage, wrong command lines, damaged profiles and the log file") {
    const Product quillmark;
    writeFile(quillmark.folder.path / L"damaged.reg",
              regFile(L"[HKEY_CURRENT_USER\\Software\\QuillmarkTest]\r\n\"a\"=dword:xyz\r\n"));
    writeFile(quillmark.folder.path / L"stray.pol", PolicyFileBytes({}, kHkeyCurrentUser));
    const struct {
        std::wstring args;
        DWORD exitCode;
        std::string output;
    } cases[] = {
        {L"/?", 0, "quillmark /apply <profile>"},
        {L"/apply", 2, "/apply needs a profile"},
        {L"/frobnicate", 2, "Unknown option \"/frobnicate\"."},
        {L"/list /check x.reg", 2, "One command at a time"},
        {L"/list /user nobody", 2, "No user of this computer is \"nobody\""},
        {L"/apply " + quillmark.quoted(L"damaged.reg"), 3, "damaged.reg\", line 4: dword: needs one to eight hexadecimal digits"},
        {L"/check " + quillmark.quoted(L"missing.reg"), 3, "missing.reg\" does not exist"},
        {L"/check " + quillmark.quoted(L"stray.pol"), 3, "is a Registry.pol file outside a Machine or User folder"},
        {L"/export " + quillmark.quoted(L"state.txt"), 2, "/export needs a .reg file, a .pol file or a folder"},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.args.begin(), c.args.end()));
        const Run r = quillmark(c.args);
        CAPTURE(r.output);
        CHECK(r.exitCode == c.exitCode);
        CHECK(r.has(c.output));
    }
    CHECK(regQuery(L"HKCU\\Software\\QuillmarkTest", L"a").empty());

    const fs::path log = quillmark.folder.path / L"run.log";
    const Run first = quillmark(L"/check " + quillmark.quoted(L"damaged.reg") + L" /log \"" + log.wstring() + L"\"");
    const Run second = quillmark(L"/? /log \"" + log.wstring() + L"\"");
    const std::string logged = testsupport::readBytes(log);
    CHECK(logged.rfind("\xEF\xBB\xBF", 0) == 0);
    CHECK(logged.find("line 4: dword: needs") != std::string::npos);
    CHECK(logged.find("quillmark /apply <profile>") > logged.find("line 4: dword: needs"));  // appended
    CHECK(first.has("line 4: dword: needs"));  // and still on the output
    CHECK(second.exitCode == 0);
}

namespace {

// A second user of the prefix, not signed in: a profile folder with an NTUSER.DAT in which
// the Display Control Panel is disabled already.
struct SecondUser {
    HiveFile hive{{{kSystem, L"NoDispCPL", 1}}};
    ListedProfile listed{L"S-1-5-21-0-0-0-1201", hive.folder.path.wstring()};
    std::string sid = toUtf8(listed.sid);
};

}  // namespace

TEST_CASE("command line: /user runs a command on a second profile's hive, loaded for the command and unloaded after") {
    const Product quillmark;
    const SecondUser bob;
    writeFile(quillmark.folder.path / L"profile.reg", regFile(kProfileBody));
    const std::wstring profile = quillmark.quoted(L"profile.reg");

    // By the path of the hive file as well as by the SID: the differences are bob's.
    for (const std::wstring& who : {bob.listed.sid, L"\"" + bob.hive.path + L"\""}) {
        const Run checked = quillmark(L"/check " + profile + L" /user " + who);
        CAPTURE(checked.output);
        CHECK(checked.exitCode == 1);
        CHECK(checked.has("HKEY_CURRENT_USER below is the registry of "));
        CHECK(checked.count("Differs: ") == 5);  // the six of the running user's, but NoDispCPL
        CHECK_FALSE(checked.has("NoDispCPL is"));
        CHECK(quillmarkMounts().empty());
    }

    const Run exported = quillmark(L"/export " + quillmark.quoted(L"bob.reg") + L" /user " + bob.listed.sid);
    CAPTURE(exported.output);
    CHECK(exported.exitCode == 0);
    const std::vector<std::uint8_t> exportBytes = fileBytes(quillmark.folder.path / L"bob.reg");
    const std::string exportText = toUtf8(fromUtf16le(exportBytes));
    CHECK(exportText.find("; Made for " + bob.sid + ": HKEY_CURRENT_USER below is the user who imports this file.") !=
          std::string::npos);
    const std::vector<ProfileKey> keys = ReadRegFile(exportBytes);
    const ProfileValue noDispCpl{L"NoDispCPL", RegValue{kRegDword, {1, 0, 0, 0}}};
    CHECK(std::any_of(keys.begin(), keys.end(), [&](const ProfileKey& k) {
        return k.Root == kHkeyCurrentUser && k.Path == kSystem &&
               std::count(k.Values.begin(), k.Values.end(), noDispCpl) == 1;
    }));
    CHECK(regQuery(L"HKCU\\" + kSystem, L"NoDispCPL").empty());  // what was exported is bob's, not ours

    const Run applied = quillmark(L"/apply " + profile + L" /user " + bob.listed.sid);
    CAPTURE(applied.output);
    CHECK(applied.exitCode == 0);
    // The lines are read back from bob's hive while it is loaded. Wine does not write a loaded
    // hive back to its file when it is unloaded, so a later process (another /check) cannot
    // see them there; on Windows the unload keeps them in bob's NTUSER.DAT.
    CHECK(applied.count("Written: ") == 5);
    CHECK(applied.has("Written: HKEY_CURRENT_USER\\" + toUtf8(kExplorer) +
                      ", NoThemesTab: REG_DWORD 0x00000001 (1) (was (not set))"));
    CHECK(applied.has("The restrictions of " + bob.sid + " were saved. They take effect when " + bob.sid +
                      " next signs in."));
    // Not one value in the running user's hive; the machine-wide one in the machine's.
    for (const auto& [key, name] : std::vector<std::pair<std::wstring, std::wstring>>{
             {kExplorer, L"NoThemesTab"}, {kExplorer, L"DisallowRun"}, {kDisallow, L"0"}, {kDontLoad, kApplet}})
        CHECK(regQuery(L"HKCU\\" + key, name).empty());
    CHECK(regQuery(L"HKLM\\" + kWinlogon, L"DisableCAD") == "DisableCAD    REG_DWORD    0x0");
    CHECK(quillmarkMounts().empty());
    CHECK(fs::exists(quillmark.folder.path / (bob.listed.sid + L".qmk")));  // bob's first-seen state
    CHECK_FALSE(fs::exists(quillmark.folder.path / L"default.qmk"));
}

TEST_CASE("command line: /user on a signed-in user writes into HKEY_USERS\\<SID>, where /check then complies") {
    const Product quillmark;
    const SecondUser bob;
    writeFile(quillmark.folder.path / L"profile.reg", regFile(kProfileBody));
    const std::wstring profile = quillmark.quoted(L"profile.reg");
    // Signed in: Windows has the hive loaded under the SID, and Quillmark uses it as it is.
    REQUIRE(RegLoadKeyW(HKEY_USERS, bob.listed.sid.c_str(), bob.hive.path.c_str()) == ERROR_SUCCESS);
    const ScopeExit signOut([&] { RegUnLoadKeyW(HKEY_USERS, bob.listed.sid.c_str()); });
    const std::wstring bobs = L"HKU\\" + bob.listed.sid + L"\\";

    const Run applied = quillmark(L"/apply " + profile + L" /user " + bob.listed.sid);
    CAPTURE(applied.output);
    CHECK(applied.exitCode == 0);
    CHECK(applied.has("after signing out and in again"));
    CHECK(regQuery(bobs + kExplorer, L"NoThemesTab") == "NoThemesTab    REG_DWORD    0x1");
    CHECK(regQuery(bobs + kDisallow, L"0") == "0    REG_SZ    notepad.exe");
    CHECK(regQuery(bobs + kDontLoad, kApplet) == "C:\\QuillmarkTest\\test.cpl    REG_SZ    Yes");
    CHECK(regQuery(L"HKCU\\" + kExplorer, L"NoThemesTab").empty());
    CHECK(quillmarkMounts().empty());  // nothing of Quillmark's own was loaded

    CHECK(quillmark(L"/check " + profile + L" /user " + bob.listed.sid).exitCode == 0);
    CHECK(quillmark(L"/check " + profile).exitCode == 1);  // the running user's registry is not bob's
}

TEST_CASE("command line: /user with a hive that cannot be loaded does nothing") {
    // Without elevation /user is refused too; Wine cannot show it: its tokens, restricted
    // ones included, are all elevated. The native tests make the token answer no.
    const Product quillmark;
    writeFile(quillmark.folder.path / L"profile.reg", regFile(kProfileBody));
    TempFolder empty{"nohive"};
    const ListedProfile gone(L"S-1-5-21-0-0-0-1202", empty.path.wstring());
    const Run missing = quillmark(L"/apply " + quillmark.quoted(L"profile.reg") + L" /user " + gone.sid);
    CAPTURE(missing.output);
    CHECK(missing.exitCode == 3);
    CHECK(missing.has("The restrictions of " + toUtf8(gone.sid) + " cannot be shown: "));
    CHECK(missing.has("does not exist"));
    CHECK_FALSE(missing.has("Written: "));
    CHECK(regQuery(L"HKLM\\" + kWinlogon, L"DisableCAD").empty());
    CHECK(quillmarkMounts().empty());
    CHECK_FALSE(fs::exists(quillmark.folder.path / L"default.qmk"));
}
