#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/commandline.h"
#include "base/win/phasetimes.h"
#include "platform/userhive.h"
#include "ui/commandline.h"
#include "ui/mainwindow.h"

namespace {

std::vector<std::wstring> commandLineArguments()
{
    int count = 0;
    wchar_t** raw = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; raw && i < count; ++i) arguments.emplace_back(raw[i]);
    LocalFree(raw);
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    markPhase("wWinMain");
    // Profiles that a Quillmark killed before it could unload them keep their owners from
    // signing in; and this one unloads its own even when it ends by an error.
    UnloadStaleMounts();
    UnloadOwnMountsOnFatalError();
    const std::vector<std::wstring> args = commandLineArguments();
    // A command runs without any window.
    if (const std::optional<int> exitCode = RunCommandLine(args)) return *exitCode;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    MainWindowOptions options;
    options.startUser = UserOptionValue(args);
    options.restarted = ParseCommandLine(args).restarted;
    return RunQuillmark(instance, showCommand, std::move(options));
}
