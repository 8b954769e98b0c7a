#pragma once
// Another program run inside Wine, its standard output and error captured: Wine's reg.exe as
// an outside witness of the registry, or a copy of the product.
#include <windows.h>

#include <string>

#include "base/text.h"
#include "base/win/handles.h"
#include "tests/support/where.h"

namespace testsupport {

struct ProgramRun {
    DWORD exitCode = 1;
    std::string output;  // what it printed, CR LF made LF
    int count(const std::string& text) const {
        int n = 0;
        for (std::size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++n;
        return n;
    }
    bool has(const std::string& text) const { return output.find(text) != std::string::npos; }
};

// With a token, the program runs as that token's user (CreateProcessAsUserW), as one started
// by an administrator whom UAC has not elevated.
inline ProgramRun runProgram(std::wstring commandLine, HANDLE token = nullptr, const Where& where = Where::current()) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    require(CreatePipe(&readEnd, &writeEnd, &inherit, 0) != FALSE, "cannot create a pipe", where);
    const UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = writer.get();
    PROCESS_INFORMATION started{};
    const bool ok = (token ? CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)
                           : CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                            nullptr, nullptr, &startup, &started)) != FALSE;
    require(ok, "cannot start " + toUtf8(commandLine) + ", error " + std::to_string(GetLastError()), where);
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    writer.reset();  // the pipe ends when the program's copy closes
    ProgramRun run;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        for (DWORD i = 0; i < got; ++i)
            if (buffer[i] != '\r') run.output += buffer[i];
    // Generous: a command that loads another user's hive takes a while on a loaded machine.
    require(WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0, toUtf8(commandLine) + " did not end", where);
    GetExitCodeProcess(process.get(), &run.exitCode);
    return run;
}

// Wine's reg.exe with these arguments.
inline ProgramRun runReg(const std::wstring& arguments, const Where& where = Where::current()) {
    return runProgram(L"reg.exe " + arguments, nullptr, where);
}

// Runs a program without capturing it, for one that may leave helpers of its own running
// (which would hold a captured output open), and gives its exit code.
inline DWORD runUncaptured(std::wstring commandLine, DWORD timeoutMs, const Where& where = Where::current()) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const bool ok = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &startup, &started) != FALSE;
    require(ok, "cannot start " + toUtf8(commandLine) + ", error " + std::to_string(GetLastError()), where);
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    require(WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0, toUtf8(commandLine) + " did not end", where);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

}  // namespace testsupport
