#include "core/CleanerGuard.h"

#include "core/CleanError.h"
#include "core/StandardPath.h"

#include <sys/stat.h>

namespace Cleaner {

AllowedRoots allowedRoots(const std::filesystem::path& home,
                          const std::filesystem::path& claudeScratch,
                          const CustomLocations& customLocations) {
    AllowedRoots allowed;
    for (const auto& item : builtInCatalog(home, claudeScratch, customLocations))
        for (const auto& root : actionRoots(item.action))
            allowed.insert(standardized(root).string());
    return allowed;
}

std::optional<std::filesystem::path> guardedRoot(const std::filesystem::path& root,
                                                 const AllowedRoots& allowedRoots) {
    const std::filesystem::path path = standardized(root);
    if (!allowedRoots.contains(path.string()))
        throw CleanError::notAllowed(path.string());
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return std::nullopt; // a failed read is no link, and nothing to clean
    if (S_ISLNK(status.st_mode))
        throw CleanError::notAllowed(path.string());
    return path;
}

} // namespace Cleaner
