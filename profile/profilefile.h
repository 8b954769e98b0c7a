#pragma once
// Profiles as files: which file holds which part, reading them, writing them.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "profile/profile.h"

// One file of a profile. Root: the root a Registry.pol file's values belong to; 0 for a
// .reg file, which names its roots itself.
struct ProfileSource {
    std::filesystem::path File;
    RegRoot Root = 0;
};

// The root a Group Policy object gives the Registry.pol file in its "Machine" or "User"
// folder (any case); 0 for a file elsewhere.
RegRoot PolicyRootOfFolder(const std::filesystem::path& file);
// folder\Machine\Registry.pol and folder\User\Registry.pol, those that exist: the layout of
// a Group Policy object, as File > Export writes it.
std::vector<ProfileSource> PolicyFolderParts(const std::filesystem::path& folder);
// The other part beside a Registry.pol file in a Machine or User folder, when it exists.
std::optional<ProfileSource> OtherPolicyPart(const std::filesystem::path& file);

// What a path given as a profile names: a folder, its Registry.pol parts (PolicyFolderParts);
// a Registry.pol file, that part with the root its folder gives it; any other file, a .reg
// file. Raises ProfileError for a path that does not exist or a folder without parts.
std::vector<ProfileSource> ProfileSourcesOf(const std::filesystem::path& path);

// Whether the file begins like a Registry.pol file. Raises ProfileError when it cannot be read.
bool IsPolicyFile(const std::filesystem::path& file);

// The keys of every source in order; a Registry.pol file is recognised by its first bytes,
// anything else is read as a .reg file. Raises ProfileError naming the file, and the line
// or byte offset.
std::vector<ProfileKey> ReadProfile(const std::vector<ProfileSource>& sources);

// Writes the bytes over the file. Raises ProfileError naming the file.
void WriteProfileFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
