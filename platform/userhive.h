#pragma once
// Other users' hives under HKEY_USERS: a signed-in user's own key, or the user's NTUSER.DAT
// loaded under a mount name of Quillmark's own for exactly as long as it is shown. A loaded
// profile keeps its owner from signing in, so every way out unloads it, and the next start
// unloads what a killed process left.
#include <memory>
#include <string>

#include "registry/userhive_registry.h"

// The mount names begin so; what follows is the process's id and a number.
inline const wchar_t* const HiveMountPrefix = L"Quillmark.";

// HKEY_USERS\<sid> while that key exists (the user is signed in); otherwise hivePath loaded
// under a new mount, with SeBackupPrivilege and SeRestorePrivilege enabled for the load and
// the unload. Raises WideError saying why a hive cannot be loaded.
std::unique_ptr<IUserHive> OpenUserHive(const std::wstring& sid, const std::wstring& hivePath);

// Unloads the mounts of Quillmark processes that ended without unloading them (killed, or
// ended by the system); a running Quillmark's mounts are left alone. How many went.
int UnloadStaleMounts();

// Unloads every mount of this process at once: for a process that is ending by an error.
void UnloadOwnMountsNow() noexcept;
// Makes std::terminate and an exception that nothing handles unload this process's mounts
// before the process ends.
void UnloadOwnMountsOnFatalError();
