#include "app/commandline.h"

#include <algorithm>
#include <filesystem>

#include "app/export.h"
#include "app/locationtext.h"
#include "app/openprofile.h"
#include "app/pending.h"
#include "app/runlists.h"
#include "app/undosnapshot.h"
#include "base/text.h"
#include "profile/profilefile.h"
#include "registry/cpapplets.h"
#include "registry/regaccess.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"

namespace fs = std::filesystem;

namespace {

bool sameChange(const PendingChange& a, const PendingChange& b) {
    return a.Root == b.Root && sameTextNoCase(a.KeyPath, b.KeyPath) && sameTextNoCase(a.ValueName, b.ValueName) &&
           a.After == b.After;
}

std::wstring changeText(const PendingChange& c) {
    return c.Location + L", " + c.Value + L": " + c.After + L" (was " + c.Now + L")" +
           (c.Caption.empty() ? std::wstring() : L" - " + c.Caption);
}

bool contains(const std::vector<std::wstring>& names, const std::wstring& name) {
    for (const std::wstring& n : names)
        if (sameTextNoCase(n, name)) return true;
    return false;
}

// A run list's change carries the list's name, as the list's tweak does: the key tells them apart.
bool namedByProfile(const OpenedProfile& opened, const PendingChange& change) {
    if (sameTextNoCase(change.KeyPath, RunListsKey + change.Name)) return contains(opened.Lists, change.Name);
    return contains(opened.Names, change.Name);
}

// A text of several lines, a line at a time.
void printLines(const CommandEnvironment& env, const std::wstring& text) {
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(L'\n', start), text.size());
        env.print(text.substr(start, end - start));
        start = end + 1;
    }
}

void printUnmatched(const CommandEnvironment& env, const OpenedProfile& opened, const wchar_t* what) {
    for (const std::wstring& line : UnmatchedLines(opened.Unmatched))
        env.print(std::wstring(what) + L", it belongs to no tweak: " + line);
}

int apply(TMainModel& model, const std::vector<ProfileKey>& profile, const CommandEnvironment& env) {
    if (!UnattendedWriteAllowed(*model.Store(), env.token)) {
        env.print(UnattendedWriteRefusedMessage);
        return ExitRefused;
    }
    // The first start records the state it found, so Edit > Undo all tweaks can go back to it;
    // another user's goes to a snapshot of their own.
    model.EnsureUndoSnapshot();
    const OpenedProfile opened = model.OpenProfile(profile, env.ownExeName);
    printUnmatched(env, opened, L"Not applied");

    const std::vector<PendingChange> before = model.PendingChanges(env.ownExeName);
    SaveResult result;
    bool stopped = false;
    try {
        result = model.SaveSettings();
    } catch (const std::exception& error) {
        env.print(L"The save stopped: " + errorText(error));
        stopped = true;
    }
    // Another user's programs do not run on this desktop: they read the values at sign-in.
    if (result.Wrote && env.policyChanged && model.EditsRunningUser()) env.policyChanged();
    // What was written is what is no longer pending: read back, not assumed.
    const std::vector<PendingChange> after = model.PendingChanges(env.ownExeName);
    int written = 0;
    for (const PendingChange& change : before) {
        bool left = false;
        for (const PendingChange& a : after) left = left || sameChange(a, change);
        if (left) continue;
        env.print(L"Written: " + changeText(change));
        ++written;
    }
    for (const SaveFailure& f : result.Failures)
        env.print(L"Not written: " + (f.Caption.empty() ? f.Name : f.Caption + L" (" + f.Name + L")") + L": " +
                  f.Message);
    if (stopped || !result.Succeeded()) return ExitNotWritten;
    env.print(written == 0 ? std::wstring(L"Nothing to write: the registry already holds the profile.")
                           : std::to_wstring(written) + (written == 1 ? L" value written." : L" values written."));
    if (written > 0)
        if (const std::optional<std::wstring> message = model.SavedMessage(result)) printLines(env, *message);
    return ExitDone;
}

// /user: the command works on the HKEY_CURRENT_USER of the user named, found and opened as the
// window's /user does. ExitDone when the command may go on.
int chooseUser(TMainModel& model, const std::wstring& argument, const CommandEnvironment& env, bool sayWhose) {
    const std::optional<UserProfile> user = FindUserChoice(
        UserChoices(env.readProfiles ? env.readProfiles() : std::vector<UserProfile>{}, model.RunningUser), argument);
    if (!user) {
        env.print(UnknownUserMessage(argument));
        return ExitBadCommandLine;
    }
    // Nothing is changed yet, so the save question is never asked.
    const AskSaveHook unasked = [](const std::wstring&, const std::wstring&) { return SaveAnswer::Cancel; };
    std::wstring failure;
    switch (model.ChooseUser(*user, unasked, [&failure](const std::wstring& text) { failure = text; })) {
    case TMainModel::UserSwitch::NeedsElevation:
        env.print(L"The registry of " + user->Name +
                  L" needs administrator rights: run the command elevated, or as SYSTEM.");
        return ExitRefused;
    case TMainModel::UserSwitch::Unchanged:
        if (!failure.empty()) {
            env.print(failure);
            return ExitFileError;
        }
        break;  // the running user named
    case TMainModel::UserSwitch::Switched:
        if (sayWhose) env.print(L"HKEY_CURRENT_USER below is the registry of " + user->Name + L".");
        break;
    }
    return ExitDone;
}

int check(TMainModel& model, const std::vector<ProfileKey>& profile, const CommandEnvironment& env) {
    const OpenedProfile opened = model.OpenProfile(profile, env.ownExeName);
    printUnmatched(env, opened, L"Not checked");
    int differing = 0;
    for (const PendingChange& change : model.PendingChanges(env.ownExeName)) {
        if (!namedByProfile(opened, change)) continue;
        env.print(L"Differs: " + change.Caption + L": " + change.Location + L", " + change.Value + L" is " +
                  change.Now + L", the profile wants " + change.After);
        ++differing;
    }
    if (differing == 0) {
        env.print(L"Compliant: the registry holds every tweak of the profile.");
        return ExitDone;
    }
    env.print(L"Not compliant: " + std::to_wstring(differing) +
              (differing == 1 ? L" value differs" : L" values differ") + L" from the profile.");
    return ExitNotCompliant;
}

int exportState(TMainModel& model, const fs::path& target, const CommandEnvironment& env) {
    const ExportPlan plan = model.PlanExport(env.ownExeName);
    const std::wstring extension = upperCase(target.extension().wstring());
    std::error_code ec;
    std::vector<fs::path> written;
    if (extension == L".REG") {
        WriteRegFile(target, plan);
        written.push_back(target);
    } else if (extension == L".POL") {
        written = WritePolicyFiles(target.parent_path(), plan, target.filename());
    } else if (fs::is_directory(target, ec)) {
        written = WritePolicyFiles(target, plan);
    } else {
        throw CommandLineError(L"/export needs a .reg file, a .pol file or a folder: \"" + target.wstring() + L"\"");
    }
    for (const fs::path& file : written) env.print(L"Written: " + file.wstring());
    printLines(env, ExportMessage(plan));
    return ExitDone;
}

std::wstring csvField(const std::wstring& text) {
    if (text.find_first_of(L",\"\r\n") == std::wstring::npos) return text;
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"') out += L'"';
        out += c;
    }
    return out + L"\"";
}

struct ListedLocation {
    std::wstring key, value, type;
};

std::vector<ListedLocation> listedLocations(const TRestrListRec& entry) {
    std::vector<ListedLocation> locations;
    if (entry.GroupName == AppletGroupName) {
        if (const std::optional<AppletLocation> key = AppletsKey())
            locations.push_back({RootKeyName(key->Root) + L"\\" + key->KeyPath, entry.AppName, L"String_YesNo"});
        return locations;
    }
    TAppObjectsRec object;
    if (!FindTweakObject(entry.AppName, entry.GroupName, object)) return locations;
    const struct {
        const std::wstring &alias, &root, &value, &type;
    } slots[] = {{object.AKey1, object.RootKey1, object.AValue1, object.AValueType1},
                 {object.AKey2, object.RootKey2, object.AValue2, object.AValueType2}};
    for (const auto& slot : slots) {
        TweakLocation location;
        switch (ResolveLocation(slot.alias, slot.root, slot.value, slot.type, location)) {
        case LocationResult::Unused:
            break;
        case LocationResult::NoOffice:
            locations.push_back({slot.root + L"\\" + getRegKey(slot.alias) + L" (" + OfficeNotFoundNote + L")",
                                 ValueNameText(slot.value), slot.type});
            break;
        case LocationResult::Resolved:
            locations.push_back({RootKeyName(location.Root) + L"\\" + location.KeyPath,
                                 ValueNameText(location.ValueName), slot.type});
            break;
        }
    }
    return locations;
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::wstring>& args) {
    CommandLineOptions options;
    const auto setCommand = [&options](Command command, const std::wstring& name) {
        if (options.command != Command::Window)
            throw CommandLineError(L"One command at a time: " + name + L" comes after another command.");
        options.command = command;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-'))
            throw CommandLineError(L"Unexpected argument \"" + arg + L"\": options begin with \"/\".");
        // The option's name as this program spells it, whatever case it was given in.
        std::wstring name;
        for (const wchar_t* known : {L"?", L"h", L"help", L"apply", L"check", L"export", L"list", L"csv", L"log", L"user",
                                     L"restarted"})
            if (sameTextNoCase(arg.substr(1), known)) name = known;
        const auto argument = [&](const wchar_t* what) {
            if (i + 1 >= args.size() || args[i + 1].empty())
                throw CommandLineError(L"/" + name + L" needs " + what + L".");
            return args[++i];
        };
        if (name == L"?" || name == L"h" || name == L"help") {
            setCommand(Command::Help, arg);
        } else if (name == L"apply" || name == L"check") {
            setCommand(name == L"apply" ? Command::Apply : Command::Check, arg);
            options.path = argument(L"a profile: a .reg file, a Registry.pol file or a Group Policy folder");
        } else if (name == L"export") {
            setCommand(Command::Export, arg);
            options.path = argument(L"a .reg file, a .pol file or a folder");
        } else if (name == L"list") {
            setCommand(Command::List, arg);
        } else if (name == L"csv") {
            options.csv = true;
        } else if (name == L"log") {
            options.logFile = argument(L"a file");
        } else if (name == L"user") {
            options.user = argument(L"a user name, a SID, a hive file or \"default\"");
        } else if (name == L"restarted") {
            options.restarted = true;
        } else {
            throw CommandLineError(L"Unknown option \"" + arg + L"\".");
        }
    }
    if (options.csv && options.command != Command::List) throw CommandLineError(L"/csv goes with /list.");
    if (options.command == Command::Window && !options.logFile.empty())
        throw CommandLineError(L"/log goes with a command: /apply, /check, /export or /list.");
    if (options.restarted && options.command != Command::Window)
        throw CommandLineError(L"/restarted goes with no command.");
    return options;
}

std::wstring CommandLineUsage() {
    return L"Quillmark switches security and policy restrictions on and off.\n"
           L"\n"
           L"  quillmark                   opens the window\n"
           L"  quillmark /apply <profile>  switches the profile's tweaks and saves them as File > Save does:\n"
           L"                              only what differs is written; prints each written value\n"
           L"  quillmark /check <profile>  writes nothing; prints every value of the profile's tweaks\n"
           L"                              that differs from the registry\n"
           L"  quillmark /export <file>    the current state as File > Export writes it: a .reg file,\n"
           L"                              or for <folder>\\Registry.pol (or a folder) the Group Policy\n"
           L"                              files <folder>\\Machine\\Registry.pol and <folder>\\User\\Registry.pol\n"
           L"  quillmark /list [/csv]      every tweak with its group, caption, state and registry locations\n"
           L"  quillmark /?                this text\n"
           L"\n"
           L"A profile is a .reg file, a Registry.pol file in a folder named Machine or User, or a\n"
           L"folder holding Machine\\Registry.pol and User\\Registry.pol.\n"
           L"\n"
           L"  /log <file>                     also appends the output to the file\n"
           L"  /user <name|SID|path|default>   the user whose HKEY_CURRENT_USER a command works on:\n"
           L"                                  DOMAIN\\name, a SID, the path of an NTUSER.DAT or default\n"
           L"                                  (new users); another user needs an elevated administrator\n"
           L"\n"
           L"Exit codes: 0 done (/check: compliant), 1 not compliant, 2 wrong command line,\n"
           L"3 a file or a user's hive cannot be read or written, 4 something could not be written,\n"
           L"5 refused without elevation: /apply with an administrator password set, or /user naming\n"
           L"another user.\n"
           L"/apply with a password set runs only as an elevated administrator or as SYSTEM.\n";
}

int RunCommand(const CommandLineOptions& options, const CommandEnvironment& env) {
    if (options.command == Command::Help || options.command == Command::Window) {
        printLines(env, CommandLineUsage());
        return ExitDone;
    }
    try {
        std::vector<ProfileKey> profile;
        if (options.command == Command::Apply || options.command == Command::Check)
            profile = ReadProfile(ProfileSourcesOf(options.path));
        TMainModel model;
        model.LoadCPApplets = env.loadCPApplets;
        model.IsAdministrator = env.token.isElevatedAdministrator;
        model.IsElevated = env.isElevated;
        model.RunningUser = env.runningUser;
        model.OpenUserHive = env.openUserHive;
        model.SaveSteps = env.saveSteps;
        StartupSources startup = env.startup;
        startup.writeUndoSnapshot = false;  // /apply takes it once the password rule let it write
        model.FormCreate(startup);
        // The model unloads a mounted hive when it goes, on every way out of here.
        if (options.user)
            if (const int exitCode = chooseUser(model, *options.user, env, options.command != Command::List);
                exitCode != ExitDone)
                return exitCode;
        switch (options.command) {
        case Command::Apply:
            return apply(model, profile, env);
        case Command::Check:
            return check(model, profile, env);
        case Command::Export:
            return exportState(model, options.path, env);
        case Command::List:
            for (const std::wstring& line : TweakListLines(model.AllEntries(), options.csv)) env.print(line);
            return ExitDone;
        case Command::Help:
        case Command::Window:
            break;
        }
    } catch (const CommandLineError& error) {
        env.print(error.message());
        return ExitBadCommandLine;
    } catch (const ProfileError& error) {
        env.print(error.message());
        return ExitFileError;
    } catch (const std::exception& error) {
        env.print(errorText(error));
        return ExitNotWritten;
    }
    return ExitDone;
}

std::vector<std::wstring> TweakListLines(const TAppObjectsList& entries, bool csv) {
    std::vector<std::wstring> lines;
    if (csv)
        lines.push_back(L"Group,Group caption,Name,Caption,State,Text or number,Location 1,Value 1,Type 1,"
                        L"Location 2,Value 2,Type 2");
    for (int i = 0; i < entries.Count(); ++i) {
        const TRestrListRec& entry = entries[i];
        if (entry.AType != L"CheckBox") continue;
        const bool applet = entry.GroupName == AppletGroupName;
        std::wstring caption = applet ? entry.ACaption : getCaption(entry.AppName);
        caption.erase(0, caption.find_first_not_of(L' '));
        const std::wstring groupCaption = getCaption(entry.GroupName);
        std::wstring value, shown;  // the text or number of a "String" or "Integer" tweak
        if (!applet) {
            TAppObjectsRec object;
            FindTweakObject(entry.AppName, entry.GroupName, object);
            if (object.AValueType1 == L"String") shown = L"\"" + (value = entry.cValue) + L"\"";
            if (object.AValueType1 == L"Integer") shown = value = std::to_wstring(entry.nValue);
        }
        const std::vector<ListedLocation> locations = listedLocations(entry);
        const std::wstring state = entry.SetValue ? L"on" : L"off";
        if (csv) {
            std::wstring line;
            for (const std::wstring& field : {entry.GroupName, groupCaption, entry.AppName, caption, state, value})
                line += csvField(field) + L",";
            for (std::size_t l = 0; l < 2; ++l) {
                const ListedLocation where = l < locations.size() ? locations[l] : ListedLocation{};
                line += csvField(where.key) + L"," + csvField(where.value) + L"," + csvField(where.type) +
                        (l == 0 ? L"," : L"");
            }
            lines.push_back(line);
            continue;
        }
        std::wstring line = (entry.SetValue ? L"on  | " : L"off | ") + groupCaption + L" | " + caption + L" | " +
                            entry.AppName;
        if (!shown.empty()) line += L" = " + shown;
        for (const ListedLocation& where : locations)
            line += L" | " + where.key + L", " + where.value + L" (" + where.type + L")";
        lines.push_back(line);
    }
    return lines;
}
