#pragma once
// The command line, for deployment engines and scripts: apply or check a profile, export the
// current state, list the tweaks. No window, no question; every result is a line of output
// and an exit code. Without arguments the program opens its window instead.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/mainmodel.h"
#include "app/password.h"
#include "app/userchoice.h"
#include "base/error.h"

enum class Command { Window, Help, Apply, Check, Export, List };

struct CommandLineOptions {
    Command command = Command::Window;
    std::wstring path;     // the profile of /apply and /check, the file or folder of /export
    bool csv = false;      // /list /csv
    std::wstring logFile;  // /log <file>: the output goes there as well; empty for none
    // /user <name|SID|path|default>: whose HKEY_CURRENT_USER a command works on, or which
    // user the window starts on.
    std::optional<std::wstring> user;
    // /restarted: the window of a copy that "Restart as administrator" started; it waits for
    // the copy that started it to end. Only that copy passes it.
    bool restarted = false;
};

class CommandLineError : public WideError {
public:
    using WideError::WideError;
};

// The arguments after the program's name. Options begin with "/" or "-", in any case.
// Raises CommandLineError for an unknown option, a missing argument or two commands.
CommandLineOptions ParseCommandLine(const std::vector<std::wstring>& args);
// What /? prints.
std::wstring CommandLineUsage();

// What deployment engines see. Detection scripts take 0 as compliant.
enum ExitCode : int {
    ExitDone = 0,
    ExitNotCompliant = 1,  // /check: the registry differs from the profile
    ExitBadCommandLine = 2,
    ExitFileError = 3,    // the profile, the export or /user's hive cannot be read or written
    ExitNotWritten = 4,   // /apply: a value, or the settings file, could not be written; start-up failed
    ExitRefused = 5,      // not elevated: /apply with an administrator password set, or /user another user
};

// What a command needs from the platform.
struct CommandEnvironment {
    StartupSources startup;  // quillmark.dat's folder, the scheme, the user name
    LoadCPAppletsHook loadCPApplets;
    std::wstring ownExeName;
    SaveHooks saveSteps;
    TokenRights token;
    // /user: the user running the command, the computer's profiles, opening another user's
    // hive, and whether the process is elevated, as the window's chooser has them.
    UserProfile runningUser;
    std::function<std::vector<UserProfile>()> readProfiles;
    OpenUserHiveHook openUserHive;
    std::function<bool()> isElevated;
    std::function<void()> policyChanged;  // after /apply wrote anything for the running user
    std::function<void(const std::wstring& line)> print;
};

// Runs a command (not Command::Window); the exit code.
int RunCommand(const CommandLineOptions& options, const CommandEnvironment& environment);

// /list: one line per tweak and applet, or CSV with a header line.
std::vector<std::wstring> TweakListLines(const TAppObjectsList& entries, bool csv);
