// The command line's model: parsing, and each command on the in-memory registry, where the
// token's answers and denied writes can be made up (the Wine tests run the real executable).
#include <doctest/doctest.h>

#include <fstream>

#include "app/commandline.h"
#include "app/password.h"
#include "app/runlists.h"
#include "profile/regfile.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::getRaw;
using regtest::setRaw;

namespace {

const std::wstring kBobSid = L"S-1-5-21-1-2-3-1001";

// A command's environment over the fixture scheme, the in-memory registry and a scratch folder.
struct Commands {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    TempFolder folder;
    std::string scheme = sourceFile("tests/fixtures/app/profile.xml");
    std::vector<std::wstring> lines;
    bool elevated = true, system = false;
    int policyBroadcasts = 0;
    // /user: alice runs the commands; bob has a profile of his own, not signed in.
    UserProfile alice{L"S-1-5-21-1-2-3-1000", L"PC\\alice", L"C:\\Users\\alice\\NTUSER.DAT", true, false};
    FakeHives hives;
    bool processElevated = true;

    int operator()(std::vector<std::wstring> args) {
        lines.clear();
        CommandEnvironment env;
        env.startup = {folder.withSeparator(), [this](XmlDocument& doc) { doc.loadFromBytes(scheme); },
                       [] { return std::wstring(L"alice"); }};
        FakeAppletEnumeration applets;  // as the registry holds them: none hidden
        for (FakeApplet& a : applets.applets) a.hidden = false;
        env.loadCPApplets = applets;
        env.ownExeName = L"quillmark.exe";
        env.saveSteps = DefaultSaveHooks(env.ownExeName);
        env.token = {[this] { return elevated; }, [this] { return system; }};
        env.policyChanged = [this] { ++policyBroadcasts; };
        env.runningUser = alice;
        env.readProfiles = [this] {
            return ReadProfiles(reg, {[](const std::wstring& sid) -> std::optional<std::wstring> {
                                          if (sid == kBobSid) return L"PC\\bob";
                                          return std::nullopt;
                                      },
                                      [](const std::wstring& path) { return path; }});
        };
        env.openUserHive = hives.hook();
        env.isElevated = [this] { return processElevated; };
        env.print = [this](const std::wstring& line) { lines.push_back(line); };
        return RunCommand(ParseCommandLine(args), env);
    }
    std::wstring file(const std::wstring& name, const std::wstring& regBody) {
        const std::vector<std::uint8_t> bytes = RegFileBytes(L"Windows Registry Editor Version 5.00\r\n\r\n" + regBody);
        const fs::path path = folder.path / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path.wstring();
    }
    int count(const std::wstring& prefix) const {
        int n = 0;
        for (const std::wstring& line : lines) n += line.rfind(prefix, 0) == 0;
        return n;
    }
    void setPassword() {
        TEncriptor store((folder.path / "quillmark.dat").wstring(), true);
        store.SetStr(AdminPassKey, L"secret");
        REQUIRE(store.Flush(true));
    }
};

const std::wstring kProfile = L"[HKEY_CURRENT_USER\\Software\\QuillmarkTest\\Policies]\r\n"
                              L"\"Integer10\"=dword:1\r\n\"String\"=\"hello\"\r\n\"Stranger\"=dword:1\r\n"
                              L"[HKEY_LOCAL_MACHINE\\Software\\QuillmarkTest\\Machine]\r\n\"MachineFlag\"=dword:1\r\n";

}  // namespace

TEST_CASE("command line: the arguments taken apart, and the ones refused") {
    const struct {
        std::vector<std::wstring> args;
        Command command;
        std::wstring path;
        bool csv;
        std::wstring log;
        std::optional<std::wstring> user;
    } good[] = {
        {{}, Command::Window, L"", false, L"", std::nullopt},
        {{L"/?"}, Command::Help, L"", false, L"", std::nullopt},
        {{L"-APPLY", L"C:\\p.reg"}, Command::Apply, L"C:\\p.reg", false, L"", std::nullopt},
        {{L"/check", L"\\\\server\\gpo", L"/log", L"C:\\q.log"}, Command::Check, L"\\\\server\\gpo", false, L"C:\\q.log",
         std::nullopt},
        {{L"/Export", L"x.pol"}, Command::Export, L"x.pol", false, L"", std::nullopt},
        {{L"/csv", L"/list"}, Command::List, L"", true, L"", std::nullopt},
        {{L"/apply", L"-p.reg", L"/user", L"S-1-5-21-1"}, Command::Apply, L"-p.reg", false, L"", L"S-1-5-21-1"},
        {{L"/user", L"default"}, Command::Window, L"", false, L"", L"default"},
    };
    for (const auto& g : good) {
        CAPTURE(g.args.size());
        const CommandLineOptions o = ParseCommandLine(g.args);
        CHECK(o.command == g.command);
        CHECK(o.path == g.path);
        CHECK(o.csv == g.csv);
        CHECK(o.logFile == g.log);
        CHECK(o.user == g.user);
        CHECK_FALSE(o.restarted);
    }
    // What "Restart as administrator" passes to the copy it starts.
    const CommandLineOptions restarted = ParseCommandLine({L"/Restarted", L"/user", L"S-1-5-21-1"});
    CHECK(restarted.command == Command::Window);
    CHECK(restarted.restarted);
    CHECK(restarted.user == L"S-1-5-21-1");
    const struct {
        std::vector<std::wstring> args;
        std::wstring error;
    } bad[] = {
        {{L"/apply"}, L"/apply needs a profile"},
        {{L"/export", L""}, L"/export needs a .reg file"},
        {{L"/list", L"/apply", L"x.reg"}, L"One command at a time: /apply comes after another command."},
        {{L"profile.reg"}, L"Unexpected argument \"profile.reg\""},
        {{L"/what"}, L"Unknown option \"/what\"."},
        {{L"/check", L"x.reg", L"/csv"}, L"/csv goes with /list."},
        {{L"/log", L"x.log"}, L"/log goes with a command"},
        {{L"/list", L"/user"}, L"/user needs a user name"},
        {{L"/apply", L"x.reg", L"/restarted"}, L"/restarted goes with no command."},
    };
    for (const auto& b : bad) {
        CAPTURE(b.error);
        try {
            ParseCommandLine(b.args);
            FAIL("accepted");
        } catch (const CommandLineError& e) {
            CHECK(e.message().rfind(b.error, 0) == 0);
        }
    }
}

TEST_CASE("command line: /apply saves as the window does, /check then complies") {
    Commands quillmark;
    const std::wstring profile = quillmark.file(L"p.reg", kProfile);
    CHECK(quillmark({L"/check", profile}) == ExitNotCompliant);
    CHECK(quillmark.count(L"Differs: ") == 3);
    CHECK(quillmark.count(L"Not checked, it belongs to no tweak: ") == 1);
    CHECK_FALSE(getRaw(quillmark.reg, kHkeyCurrentUser, kPolicies, L"Integer10"));
    CHECK_FALSE(fs::exists(quillmark.folder.path / "default.qmk"));

    CHECK(quillmark({L"/apply", profile}) == ExitDone);
    CHECK(quillmark.count(L"Written: ") == 3);
    CHECK(quillmark.lines.back() == L"3 values written.");
    CHECK(quillmark.policyBroadcasts == 1);
    CHECK(getRaw(quillmark.reg, kHkeyCurrentUser, kPolicies, L"Integer10") == dword(1));
    CHECK(getRaw(quillmark.reg, kHkeyLocalMachine, kMachine, L"MachineFlag") == dword(1));
    CHECK_FALSE(getRaw(quillmark.reg, kHkeyCurrentUser, kPolicies, L"Stranger"));
    // The store keeps the text as a save from the window would.
    CHECK(TEncriptor((quillmark.folder.path / "quillmark.dat").wstring(), true).GetStr(L"T_String_str", L"") == L"hello");
    CHECK(fs::exists(quillmark.folder.path / "default.qmk"));

    CHECK(quillmark({L"/check", profile}) == ExitDone);
    CHECK(quillmark.lines.back() == L"Compliant: the registry holds every tweak of the profile.");
    CHECK(quillmark({L"/apply", profile}) == ExitDone);
    CHECK(quillmark.lines.back() == L"Nothing to write: the registry already holds the profile.");
}

TEST_CASE("command line: a value that cannot be written fails /apply, the others are written") {
    Commands quillmark;
    quillmark.reg.denyAccess(kHkeyLocalMachine, L"Software\\QuillmarkTest\\Machine", kKeyWrite);
    CHECK(quillmark({L"/apply", quillmark.file(L"p.reg", kProfile)}) == ExitNotWritten);
    CHECK(quillmark.count(L"Written: ") == 2);
    CHECK(quillmark.count(L"Not written: MachineFlag tweak (MachineFlag): Unable to open key "
                          L"\"HKEY_LOCAL_MACHINE\\Software\\QuillmarkTest\\Machine\" for write") == 1);
    CHECK(getRaw(quillmark.reg, kHkeyCurrentUser, kPolicies, L"Integer10") == dword(1));
}

TEST_CASE("command line: with a password set, /apply needs an elevated administrator or SYSTEM") {
    const struct {
        bool password, elevated, system;
        int exitCode;
    } cases[] = {
        {false, false, false, ExitDone},
        {true, false, false, ExitRefused},
        {true, true, false, ExitDone},
        {true, false, true, ExitDone},
    };
    for (const auto& c : cases) {
        CAPTURE(c.password);
        CAPTURE(c.elevated);
        CAPTURE(c.system);
        Commands quillmark;
        if (c.password) quillmark.setPassword();
        quillmark.elevated = c.elevated;
        quillmark.system = c.system;
        CHECK(quillmark({L"/apply", quillmark.file(L"p.reg", kProfile)}) == c.exitCode);
        CHECK(getRaw(quillmark.reg, kHkeyCurrentUser, kPolicies, L"Integer10").has_value() == (c.exitCode == ExitDone));
        CHECK(fs::exists(quillmark.folder.path / "default.qmk") == (c.exitCode == ExitDone));
    }
}

TEST_CASE("command line: /list shows every tweak and applet with its state; /export the current state") {
    Commands quillmark;
    setRaw(quillmark.reg, kHkeyCurrentUser, kPolicies, L"String", regtest::sz(L"a, \"b\""));
    CHECK(quillmark({L"/list"}) == ExitDone);
    CHECK(std::count(quillmark.lines.begin(), quillmark.lines.end(),
                     L"on  | Types | T String tweak | T_String = \"a, \"b\"\" | HKEY_CURRENT_USER\\" + kPolicies +
                         L", String (String)") == 1);
    CHECK(std::count(quillmark.lines.begin(), quillmark.lines.end(),
                     L"off | Special | TwoValues tweak | TwoValues | HKEY_CURRENT_USER\\" + kPolicies +
                         L", First (Integer10) | HKEY_CURRENT_USER\\" + kPolicies + L", Second (Integer01)") == 1);
    const std::size_t plain = quillmark.lines.size();
    CHECK(quillmark({L"/list", L"/csv"}) == ExitDone);
    CHECK(quillmark.lines.size() == plain + 1);
    CHECK(std::count(quillmark.lines.begin(), quillmark.lines.end(),
                     L"Group_Types,Types,T_String,T String tweak,on,\"a, \"\"b\"\"\",HKEY_CURRENT_USER\\" + kPolicies +
                         L",String,String,,,") == 1);

    const fs::path exported = quillmark.folder.path / "state.reg";
    CHECK(quillmark({L"/export", exported.wstring()}) == ExitDone);
    const std::vector<ProfileKey> keys = ReadRegFile([&] {
        std::ifstream in(exported, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }());
    CHECK(keys == std::vector<ProfileKey>{{kHkeyCurrentUser, kPolicies, ProfileKey::Removal::None, true,
                                           {{L"String", regtest::sz(L"a, \"b\"")}}}});
    CHECK_FALSE(fs::exists(quillmark.folder.path / "default.qmk"));  // a command that only reads
}

// bob's profile in ProfileList and his hive, mounted where FakeHives mounts it, holding one of
// the profile's tweaks already.
struct BobsProfile : Commands {
    UserProfile bob{kBobSid, L"PC\\bob", L"C:\\Users\\bob\\NTUSER.DAT", false, false};
    std::wstring bobKey = FakeHives::mountOf(bob);
    BobsProfile() {
        setRaw(reg, kHkeyLocalMachine, std::wstring(ProfileListKey) + L"\\" + kBobSid, L"ProfileImagePath",
               regtest::sz(L"C:\\Users\\bob"));
        setRaw(reg, kHkeyUsers, bobKey + L"\\" + kPolicies, L"Integer10", dword(1));
    }
    std::optional<RegValue> bobs(const std::wstring& name) { return getRaw(reg, kHkeyUsers, bobKey + L"\\" + kPolicies, name); }
    std::optional<RegValue> alices(const std::wstring& name) { return getRaw(reg, kHkeyCurrentUser, kPolicies, name); }
};

TEST_CASE("command line: /user works on that user's HKEY_CURRENT_USER and never on the running user's") {
    BobsProfile quillmark;
    const std::wstring profile = quillmark.file(L"p.reg", kProfile);

    CHECK(quillmark({L"/check", profile, L"/user", L"PC\\bob"}) == ExitNotCompliant);
    CHECK(quillmark.lines.front() == L"HKEY_CURRENT_USER below is the registry of PC\\bob.");
    CHECK(quillmark.count(L"Differs: ") == 2);  // bob has Integer10 already; alice would differ in 3
    CHECK(*quillmark.hives.open == 0);

    // The name alone finds him too, as the window's /user does.
    CHECK(quillmark({L"/apply", profile, L"/user", L"bob"}) == ExitDone);
    CHECK(quillmark.count(L"Written: ") == 2);
    CHECK(quillmark.bobs(L"String") == regtest::sz(L"hello"));
    CHECK(getRaw(quillmark.reg, kHkeyLocalMachine, kMachine, L"MachineFlag") == dword(1));  // machine-wide
    CHECK_FALSE(quillmark.alices(L"String"));
    CHECK_FALSE(quillmark.alices(L"Integer10"));
    CHECK_FALSE(quillmark.reg.openKey(kHkeyCurrentUser, L"Software", kKeyRead));
    CHECK(quillmark.policyBroadcasts == 0);  // not alice's desktop
    CHECK(quillmark.count(L"The restrictions of PC\\bob were saved. They take effect when PC\\bob next signs in.") == 1);
    CHECK(*quillmark.hives.open == 0);
    // bob's first-seen state is his own snapshot; alice's stays for the window.
    CHECK(fs::exists(quillmark.folder.path / (kBobSid + L".qmk")));
    CHECK_FALSE(fs::exists(quillmark.folder.path / "default.qmk"));

    CHECK(quillmark({L"/check", profile, L"/user", kBobSid}) == ExitDone);
    CHECK(quillmark({L"/check", profile}) == ExitNotCompliant);  // alice's own registry is untouched

    const fs::path exported = quillmark.folder.path / "bob.reg";
    CHECK(quillmark({L"/export", exported.wstring(), L"/user", L"bob"}) == ExitDone);
    std::ifstream in(exported, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const std::wstring text = fromUtf16le(bytes);
    CHECK(text.find(L"; Made for PC\\bob: HKEY_CURRENT_USER below is the user who imports this file.") !=
          std::wstring::npos);
    CHECK(ReadRegFile(bytes) ==
          std::vector<ProfileKey>{{kHkeyCurrentUser, kPolicies, ProfileKey::Removal::None, true,
                                   {{L"Integer10", dword(1)}, {L"String", regtest::sz(L"hello")}}},
                                  {kHkeyLocalMachine, kMachine, ProfileKey::Removal::None, true,
                                   {{L"MachineFlag", dword(1)}}}});

    CHECK(quillmark({L"/list", L"/csv", L"/user", L"bob"}) == ExitDone);
    CHECK(quillmark.lines.front().rfind(L"Group,", 0) == 0);  // nothing before the CSV header
    CHECK(quillmark.count(L"Group_Types,Types,T_String,T String tweak,on,hello,") == 1);
    CHECK(*quillmark.hives.open == 0);
}

TEST_CASE("command line: /user that names no one, a process that is not elevated, a hive that cannot be loaded") {
    const struct {
        std::wstring user;
        bool elevated;
        std::optional<std::wstring> failure;
        int exitCode;
        std::wstring message;
        int hivesOpened;
    } cases[] = {
        {L"nobody", true, std::nullopt, ExitBadCommandLine, L"No user of this computer is \"nobody\"", 0},
        {L"PC\\bob", false, std::nullopt, ExitRefused,
         L"The registry of PC\\bob needs administrator rights: run the command elevated, or as SYSTEM.", 0},
        {L"bob", true, L"the file is in use.", ExitFileError,
         L"The restrictions of PC\\bob cannot be shown: the file is in use.", 1},
    };
    for (const auto& c : cases) {
        CAPTURE(toUtf8(c.user));
        BobsProfile quillmark;
        quillmark.processElevated = c.elevated;
        quillmark.hives.failure = c.failure;
        CHECK(quillmark({L"/apply", quillmark.file(L"p.reg", kProfile), L"/user", c.user}) == c.exitCode);
        CHECK(quillmark.count(c.message) == 1);
        CHECK(quillmark.count(L"Written: ") == 0);
        CHECK(quillmark.hives.opened.size() == static_cast<std::size_t>(c.hivesOpened));
        CHECK(*quillmark.hives.open == 0);
        CHECK_FALSE(quillmark.alices(L"String"));
        CHECK_FALSE(getRaw(quillmark.reg, kHkeyLocalMachine, kMachine, L"MachineFlag"));
        CHECK_FALSE(fs::exists(quillmark.folder.path / (kBobSid + L".qmk")));
        CHECK_FALSE(fs::exists(quillmark.folder.path / "default.qmk"));
    }
    // An error after the hive was opened lets it go as well.
    BobsProfile quillmark;
    CHECK(quillmark({L"/export", quillmark.file(L"state.txt", L""), L"/user", L"bob"}) == ExitBadCommandLine);
    CHECK(quillmark.hives.opened.size() == 1);
    CHECK(*quillmark.hives.open == 0);
}

TEST_CASE("command line: /user naming the running user works on her own registry; default on the default profile") {
    BobsProfile quillmark;
    const std::wstring profile = quillmark.file(L"p.reg", kProfile);
    CHECK(quillmark({L"/apply", profile, L"/user", quillmark.alice.Sid}) == ExitDone);
    CHECK(quillmark.hives.opened.empty());
    CHECK(quillmark.alices(L"String") == regtest::sz(L"hello"));
    CHECK(quillmark.policyBroadcasts == 1);

    CHECK(quillmark({L"/apply", profile, L"/user", L"default"}) == ExitDone);
    CHECK(quillmark.hives.opened == std::vector<std::wstring>{DefaultProfileName});
    CHECK(getRaw(quillmark.reg, kHkeyUsers, L"Quillmark.1.default\\" + kPolicies, L"String") == regtest::sz(L"hello"));
    CHECK(quillmark.count(L"The restrictions were saved in the default profile.") == 1);
    CHECK(quillmark.policyBroadcasts == 1);
    CHECK(fs::exists(quillmark.folder.path / "DefaultProfile.qmk"));
}
