#pragma once
// A file's version resource.
#include <cstdint>
#include <optional>
#include <string>

// The product version of the fixed version record: its two 32-bit halves, most significant first.
struct FileVersion {
    std::uint32_t mostSignificant = 0, leastSignificant = 0;
};

// Nothing when the file has no readable version. An empty name means the running executable.
std::optional<FileVersion> ReadProductVersion(const std::wstring& file = {});
