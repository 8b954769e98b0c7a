#pragma once
#include <optional>

#include "app/supportedon.h"

// The Windows that runs the process, as RtlGetVersion reports it: unlike GetVersionEx it
// does not pretend to be Windows 8 to programs without a compatibility manifest. None when
// ntdll has no such function.
std::optional<WindowsVersion> runningWindowsVersion();
