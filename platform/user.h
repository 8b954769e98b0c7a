#pragma once
#include <optional>
#include <string>

// The Windows name of the user running the process; empty when the platform cannot tell.
std::wstring currentUserName();

// Whether the process's access token holds the local Administrators group enabled for
// access (a deny-only membership does not count).
bool isUserAdministrator();

// Whether the process runs with its full administrator token (elevated); false for a
// filtered token under User Account Control and for standard users.
bool isProcessElevated();

// The SID of the user running the process, in its text form ("S-1-5-21-..."); empty when
// the token cannot tell.
std::wstring runningUserSid();
// The account of a SID as DOMAIN\name; none when the SID names no account that can be found.
std::optional<std::wstring> accountNameOfSid(const std::wstring& sid);
// The text with its environment variables (%SystemDrive%, ...) expanded.
std::wstring expandEnvironment(const std::wstring& text);

// Starts this executable again with administrator rights ("runas", which shows the system's
// elevation prompt), with the given command-line parameters. False when the prompt was
// declined; raises Win32Error when the program cannot be started.
bool restartElevated(const std::wstring& parameters);

// Whether the process runs as the local SYSTEM account, as deployment engines run commands.
bool isLocalSystem();
