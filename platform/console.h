#pragma once
// Where a command's output goes. The program is a window program, so it has no console of
// its own: the lines go to the standard output its parent handed over (a pipe or a file, as
// scripts and deployment engines capture it), or else to the console of the parent process
// (a command prompt); with /log they go to that file as well.
#include <windows.h>

#include <string>

#include "base/win/handles.h"

class CommandOutput {
public:
    // The log file gets logHeader first, to tell one run from the next. Raises Win32Error when
    // the log file cannot be opened.
    explicit CommandOutput(const std::wstring& logFile = {}, const std::wstring& logHeader = {});
    ~CommandOutput();
    CommandOutput(const CommandOutput&) = delete;
    CommandOutput& operator=(const CommandOutput&) = delete;

    void Line(const std::wstring& text);

private:
    HANDLE out_ = nullptr;  // not owned: the process's standard output, or conout_
    bool console_ = false;  // out_ is a console: written as UTF-16
    bool attached_ = false;
    UniqueFile conout_, log_;
};
