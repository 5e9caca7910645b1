#pragma once

#include "core/BuiltInCatalog.h"
#include "core/CleanerGuard.h"
#include "core/ProcessRunner.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Finds caches the user moved away from the tools' default places, by asking the user's own
// login shell, and vets every answer hard: each folder found becomes one the program empties.
namespace Cleaner {

// Key → value from the lines the probe printed after its begin marker.
using ProbeValues = std::map<std::string, std::string>;

inline constexpr std::string_view probeBeginMarker = "__PELLWICK_BEGIN__";

// Folders (relative to the home folder or to a volume's root) never accepted, as themselves
// or anything below them: personal data, keys and other programs' private state.
[[nodiscard]] const std::vector<std::string>& protectedRelativePaths();

// The prefixes below which each folder is an external volume ("/media/USER/" for the current
// user name ...). Every prefix ends with "/".
[[nodiscard]] std::vector<std::string> defaultVolumePrefixes();

// The desktop's personal folders inside `home` as its user-dirs.dirs in `configHome` names them
// (localized names such as "Dokumente" included), relative to `home`, together with the usual
// English names. A folder set to the home folder itself (how a desktop turns one off) is none.
[[nodiscard]] std::vector<std::string> userFolders(const std::filesystem::path& home,
                                                   const std::filesystem::path& configHome);

// $XDG_CONFIG_HOME when it is an absolute path, else HOME/.config.
[[nodiscard]] std::filesystem::path configHomeFor(const std::filesystem::path& home);

struct Vetting {
    std::filesystem::path home;
    std::vector<std::string> volumePrefixes = defaultVolumePrefixes();
    // Protected like protectedRelativePaths(), below the home folder only.
    std::vector<std::string> userFolders = {};
};

struct DiscoveryOptions {
    LoginShellOptions shell;
    // Xcode's custom DerivedData folder where the platform has that setting.
    std::optional<std::string> derivedDataLocation;
    std::vector<std::string> volumePrefixes = defaultVolumePrefixes();
    std::filesystem::path claudeScratch = claudeScratchDirectory();
};

// The shell script that prints the marker, then one KEY=value line per tool. Built once.
[[nodiscard]] const std::string& probeScript();

// Runs the probe in the login shell within `timeout`, adds the DerivedData setting and returns
// the vetted folders per item id. Never throws; blocking.
[[nodiscard]] CustomLocations discoverToolCaches(const std::filesystem::path& home,
                                                 std::chrono::milliseconds timeout,
                                                 const DiscoveryOptions& options = {});

// Only lines after the first marker count; a line's key is the text before its first "=",
// its value the rest trimmed of spaces and tabs; empty values and values with a NUL byte are
// dropped, later keys win.
[[nodiscard]] ProbeValues parseProbeOutput(std::string_view text);

// The vetted folders each probe value proposes, in discovery order without duplicates.
[[nodiscard]] CustomLocations
customLocations(const ProbeValues& values, const Vetting& vetting,
                const std::filesystem::path& claudeScratch = claudeScratchDirectory());

// Appends `candidate` to the list of `id` when it is safe, when one of its last three path
// components contains one of `hints` (none: no such test), when it neither is, lies in nor
// contains a built-in root, and when the list does not hold it yet.
void addCustomLocation(CustomLocations& result, const std::string& id,
                       const std::filesystem::path& candidate,
                       const std::vector<std::string_view>& hints, const Vetting& vetting,
                       const AllowedRoots& builtInRoots);

// An existing real folder (not a link, nor below a link) at least two levels inside the home
// folder or a volume, not in a protected place, and with no NUL byte in its path.
[[nodiscard]] bool isSafeCustomLocation(const std::filesystem::path& folder,
                                        const Vetting& vetting);

} // namespace Cleaner
