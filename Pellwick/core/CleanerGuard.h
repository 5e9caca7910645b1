#pragma once

#include "core/BuiltInCatalog.h"
#include "core/CleanupItem.h"
#include "core/FileIdentity.h"
#include "core/FileTime.h"
#include "core/ProjectScanner.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The one place that deletes files: every root is checked against an explicit whitelist and
// against symbolic links before anything below it is touched. Stateless and blocking; the model
// runs it on a worker thread.
namespace Cleaner {

// Standardized folder paths; membership is exact string equality.
using AllowedRoots = std::set<std::string>;

// The identity each action root had when it was measured, by standardized path. What is
// deleted must be what the user saw measured and confirmed: a root whose folder is another one
// by the time it is cleaned (a link above it now leads elsewhere, it was replaced or it
// appeared only since) is left alone.
using MeasuredRoots = std::map<std::string, FileIdentity>;

// The simulator control tool; tests point it at a stand-in.
inline const std::filesystem::path defaultSimctlTool = "/usr/bin/xcrun";

// How long one simulator command may run.
inline constexpr std::chrono::minutes simctlTimeLimit{5};

// A generated project folder is removed only while its project stays untouched this long.
inline constexpr int dormantProjectDays = 60;

struct CleanOptions {
    std::optional<FileTime> now; // none: the clock, read when each root is reached
    std::filesystem::path git = ProjectScanner::defaultGitPath;
    std::filesystem::path simctlTool = defaultSimctlTool;
};

// Every action root of the built-in catalog (custom locations included), standardized. The
// simulator item has no roots; size roots are not consulted.
[[nodiscard]] AllowedRoots allowedRoots(const std::filesystem::path& home,
                                        const std::filesystem::path& claudeScratch,
                                        const CustomLocations& customLocations);

// The identities of the item's action roots as they are now (a root that is missing or a
// symbolic link has none). Taken when the item is measured.
[[nodiscard]] MeasuredRoots measuredRoots(const CleanupItem& item);

// The guard of the two emptying actions: throws CleanError::notAllowed when the standardized
// root is not whitelisted, holds a NUL byte or is a symbolic link; none when nothing exists
// there.
[[nodiscard]] std::optional<std::filesystem::path> guardedRoot(const std::filesystem::path& root,
                                                               const AllowedRoots& allowedRoots);

// Performs the item's action and returns how many entries were left alone, a root that is not
// the one measured included. Each root is opened once; every check and the removal work from
// that descriptor. Throws CleanError (a refused root, a failed simulator command), ListingError
// (a folder to empty that cannot be listed) or std::system_error (the simulator tool cannot be
// started). Roots cleaned before an error stay cleaned.
[[nodiscard]] int clean(const CleanupItem& item, const AllowedRoots& allowedRoots,
                        const MeasuredRoots& measured, const CleanOptions& options = {});

// Runs `tool simctl ARGUMENTS...` with its output discarded and waits for it. Throws
// CleanError::commandFailed on a non-zero exit or when it outlasts its time limit,
// std::system_error when it cannot start.
void runSimctl(const std::vector<std::string>& arguments,
               const std::filesystem::path& tool = defaultSimctlTool);

} // namespace Cleaner
