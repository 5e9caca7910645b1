#pragma once

#include <filesystem>
#include <string>

// The lexically normal absolute form of a path: no ".", "..", repeated or trailing "/".
// Symbolic links are never resolved. Relative paths are taken from "/" so the result is
// always absolute without depending on the working directory.
[[nodiscard]] std::filesystem::path standardized(const std::filesystem::path& path);

// True when `path` lies strictly inside `folder` (both standardized).
[[nodiscard]] bool isInside(const std::string& path, const std::string& folder);

// A path with a NUL byte says one thing to text checks and another to the file system, which
// stops at the NUL: such a path is refused wherever one can enter.
[[nodiscard]] bool hasNulByte(const std::filesystem::path& path);
