#include "ui/commandline.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "app/commandline.h"
#include "base/win/module.h"
#include "platform/broadcast.h"
#include "platform/console.h"
#include "platform/controlpanel.h"
#include "platform/user.h"
#include "registry/cpapplets.h"
#include "ui/users.h"

namespace {

std::wstring logHeader(const std::vector<std::wstring>& args)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    std::wstring header = std::wstring(stamp) + L" " + executableName();
    for (const std::wstring& arg : args) header += L" " + arg;
    return header;
}

}  // namespace

std::optional<int> RunCommandLine(const std::vector<std::wstring>& args)
{
    CommandLineOptions options;
    try {
        options = ParseCommandLine(args);
    } catch (const CommandLineError& error) {
        CommandOutput output;
        output.Line(error.message());
        output.Line(L"quillmark /? shows the usage.");
        return ExitBadCommandLine;
    }
    if (options.command == Command::Window) return std::nullopt;  // /user alone opens the window on that user

    std::unique_ptr<CommandOutput> output;
    try {
        output = std::make_unique<CommandOutput>(options.logFile, logHeader(args));
    } catch (const std::exception& error) {
        CommandOutput().Line(errorText(error));
        return ExitFileError;
    }
    CommandEnvironment environment;
    environment.startup.dataFolder = executableFolder();
    environment.startup.loadScheme = [](XmlDocument& document) { document.loadFromResource(L"APPSCHEME", nullptr); };
    environment.startup.userName = currentUserName;
    environment.loadCPApplets = [done = false](TAppObjectsList& list) mutable {
        if (std::exchange(done, true)) return;
        for (ControlPanelApplet& applet : EnumerateControlPanel(false))
            list.Add(std::make_unique<TRestrListRec>(MakeAppletEntry<TRestrListRec>(applet.Item)));
    };
    environment.ownExeName = executableName();
    environment.saveSteps = DefaultSaveHooks(environment.ownExeName);
    environment.token = {isUserAdministrator, isLocalSystem};
    environment.runningUser = RunningUserProfile();
    environment.readProfiles = ComputerProfiles;
    environment.openUserHive = OpenProfileHive;
    environment.isElevated = isProcessElevated;
    environment.policyChanged = [] { BroadcastPolicyChange(); };
    environment.print = [&output](const std::wstring& line) { output->Line(line); };
    return RunCommand(options, environment);
}
