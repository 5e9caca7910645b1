#pragma once

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace CleanupActions {

// Delete everything inside each folder; the folders stay.
struct EmptyDirectories {
    std::vector<std::filesystem::path> roots;
    bool operator==(const EmptyDirectories&) const = default;
};

// Delete the entries directly inside each folder whose whole tree is older than `days`.
struct EmptyOlderThan {
    std::vector<std::filesystem::path> roots;
    int days = 0;
    bool operator==(const EmptyOlderThan&) const = default;
};

// Delete each folder itself (only generated project folders pass the guard).
struct RemoveDirectories {
    std::vector<std::filesystem::path> roots;
    bool operator==(const RemoveDirectories&) const = default;
};

// Run the simulator control tool once per argument list, in order.
struct Simctl {
    std::vector<std::vector<std::string>> commands;
    bool operator==(const Simctl&) const = default;
};

} // namespace CleanupActions

using CleanupAction = std::variant<CleanupActions::EmptyDirectories, CleanupActions::EmptyOlderThan,
                                   CleanupActions::RemoveDirectories, CleanupActions::Simctl>;

// The folders an action works on; none for the simulator tool.
[[nodiscard]] const std::vector<std::filesystem::path>& actionRoots(const CleanupAction& action);
