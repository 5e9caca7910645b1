#pragma once

#include "core/CleanupItem.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Extra folders per catalog item id, found where the user's tools keep their caches.
using CustomLocations = std::map<std::string, std::vector<std::filesystem::path>>;

enum class Platform { macOS, Linux };

#ifdef __APPLE__
inline constexpr Platform currentPlatform = Platform::macOS;
#else
inline constexpr Platform currentPlatform = Platform::Linux;
#endif

// The 27 built-in items for this user, in their fixed order. Pure: no file-system access.
[[nodiscard]] std::vector<CleanupItem> builtInCatalog(const std::filesystem::path& home,
                                                      const std::filesystem::path& claudeScratch,
                                                      const CustomLocations& customLocations,
                                                      Platform platform = currentPlatform);

// The scratch folder of Claude sessions for the process's real user id.
[[nodiscard]] std::filesystem::path claudeScratchDirectory(Platform platform = currentPlatform);

// The age rule of the scratch item, shared by its action and its detail text.
inline constexpr int claudeScratchDays = 7;
