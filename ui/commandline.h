#pragma once
// The entry point's command line: a command runs on the real registry, shell and console,
// without a window.
#include <optional>
#include <string>
#include <vector>

// The arguments after the program's name. Nothing when there is no command: the window
// opens. Otherwise the command's exit code.
std::optional<int> RunCommandLine(const std::vector<std::wstring>& args);
