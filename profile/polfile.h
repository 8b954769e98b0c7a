#pragma once
// Registry.pol files, as Group Policy reads them: "PReg", version 1, then records
// [key;value;type;size;data] in UTF-16LE with NUL-terminated names. A file holds one part
// of a Group Policy object, Machine (HKEY_LOCAL_MACHINE) or User (HKEY_CURRENT_USER), and
// names no root itself.
#include <cstdint>
#include <vector>

#include "profile/profile.h"

// The keys under `root`, in order; "**del.name" records for removed values, "**delvals."
// for a key removed first.
std::vector<std::uint8_t> PolicyFileBytes(const std::vector<ProfileKey>& keys, RegRoot root);

// The records as keys under `root`: "**del.name" removes a value, "**delvals." every value
// of the key. Raises ProfileError naming the byte offset for a file that is not a version 1
// Registry.pol file or that ends inside a record.
std::vector<ProfileKey> ReadPolicyFile(const std::vector<std::uint8_t>& bytes, RegRoot root);

// Whether the bytes begin like a Registry.pol file.
bool HasPolicySignature(const std::vector<std::uint8_t>& bytes);
