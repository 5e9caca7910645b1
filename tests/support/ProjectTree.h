#pragma once

#include "support/TempTree.h"

#include <cstdlib>
#include <fstream>
#include <map>

// Builders of the project trees that the scanner, the guard and the attacks on them share.

// Runs git in `folder` without reading the machine's or the user's configuration.
[[nodiscard]] inline bool git(const std::filesystem::path& folder, const std::string& arguments) {
    const std::string command = "GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null git -C '" +
                                folder.string() + "' " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// A repository whose one commit holds a .gitignore listing `ignored`.
[[nodiscard]] inline bool makeRepository(const std::filesystem::path& folder,
                                         const std::string& ignored) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / ".gitignore") << ignored;
    return git(folder, "init -q") && git(folder, "config user.email test@example.com") &&
           git(folder, "config user.name Test") && git(folder, "add .gitignore") &&
           git(folder, "commit -q -m start");
}

// A project at `relative`: the marker file its artifact needs and the artifact holding `bytes`
// bytes. Answers the artifact's path.
inline std::filesystem::path addProject(const TempTree& tree, const std::string& relative,
                                        const std::string& artifact = "node_modules",
                                        std::size_t bytes = 1) {
    static const std::map<std::string, std::string> markers{
        {"node_modules", "package.json"}, {".next", "package.json"}, {"target", "Cargo.toml"}};
    tree.file(relative + "/" + markers.at(artifact));
    tree.file(relative + "/" + artifact + "/content", bytes);
    return tree / relative / artifact;
}

// Every entry of the tree untouched for longer than the scanner's 60 days.
inline void makeDormant(const TempTree& tree) {
    setModifiedTree(tree.root(), daysAgo(61));
}
