#pragma once

#include "core/Category.h"
#include "core/CleanupAction.h"
#include "core/Risk.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Everything the program can measure and delete is described by one of these.
struct CleanupItem {
    std::string id;
    Category category = Category::other;
    std::string title;
    std::string detail;
    std::string symbol;
    Risk risk = Risk::regrows;
    std::vector<std::filesystem::path> sizeRoots;
    CleanupAction action;
    std::vector<std::string> blockingApps;
    std::optional<std::string> blockingAppName;
    bool selectedByDefault = true;
    std::optional<std::int64_t> cachedSize;
    std::vector<std::string> blockingProcesses;

    bool operator==(const CleanupItem&) const = default;
};
