#pragma once

#include "core/FileTime.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

// Finds generated folders (dependency installs, build outputs, virtual environments) in
// projects nobody touched for a number of days. Stateless.
namespace ProjectScanner {

struct DormantProject {
    std::filesystem::path root;                   // the folder that directly holds the artefacts
    std::vector<std::filesystem::path> artifacts; // in the order the walks found them
    std::int64_t size = 0;

    // The artefacts' folder names in plain ascending order (".next" before "node_modules").
    [[nodiscard]] std::vector<std::string> artifactNames() const;
    bool operator==(const DormantProject&) const = default;
};

namespace Markers {
// A file or folder with one of these names exists beside the artefact.
struct Sibling {
    std::vector<std::string> names;
    bool operator==(const Sibling&) const = default;
};
// A file or folder with this name exists inside the artefact.
struct Inside {
    std::string name;
    bool operator==(const Inside&) const = default;
};
} // namespace Markers
using Marker = std::variant<Markers::Sibling, Markers::Inside>;

[[nodiscard]] const std::map<std::string, Marker>& artifactMarkers();
[[nodiscard]] const std::set<std::string>& artifactNames();
[[nodiscard]] const std::set<std::string>& skippedFolderNames();

// The git used for the ignore checks; tests point it elsewhere.
inline const std::filesystem::path defaultGitPath = "/usr/bin/git";

// How long one git check may take; an artefact whose check does not end in time counts as not
// ignored.
inline constexpr std::chrono::milliseconds defaultGitTimeLimit{10'000};

// Only absolute paths (as given, before any standardizing: "" or "~/dev" would otherwise become
// "/" or "/~/dev") without a NUL byte can be roots; others are passed over, and so is a root that
// is no folder. A root that is itself a symbolic link is followed to where it leads; nothing
// below a root is.
[[nodiscard]] std::vector<DormantProject>
scan(const std::vector<std::filesystem::path>& roots, FileTime now, int days,
     const std::filesystem::path& git = defaultGitPath,
     std::chrono::milliseconds gitTimeLimit = defaultGitTimeLimit);

[[nodiscard]] bool isArtifact(const std::filesystem::path& folder,
                              const std::filesystem::path& git = defaultGitPath,
                              std::chrono::milliseconds gitTimeLimit = defaultGitTimeLimit);
[[nodiscard]] bool isDormant(const std::filesystem::path& project, FileTime now, int days);

// The same two checks for the folder `name` inside the open project folder `projectFd`, made
// through that descriptor only (git runs inside it), so they see exactly the folder that is then
// removed through it.
[[nodiscard]] bool isArtifactAt(int projectFd, const std::string& name,
                                const std::filesystem::path& git = defaultGitPath,
                                std::chrono::milliseconds gitTimeLimit = defaultGitTimeLimit);
[[nodiscard]] bool isDormantAt(int projectFd, FileTime now, int days);

} // namespace ProjectScanner
