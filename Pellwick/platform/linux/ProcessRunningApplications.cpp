#include "platform/linux/ProcessRunningApplications.h"

#include <string_view>
#include <utility>
#include <vector>

namespace {

using Executables = std::pair<std::string_view, std::vector<std::string_view>>;

// Xcode never runs on Linux, so its identifier has no executable here.
const std::vector<Executables>& executablesByBundle() {
    static const std::vector<Executables> table = {
        {"com.microsoft.VSCode", {"code", "code-insiders", "codium"}},
        {"com.todesktop.230313mzl4w4u92", {"cursor"}},
        {"com.google.antigravity-ide", {"antigravity"}},
        {"com.anthropic.claudefordesktop", {"claude-desktop"}},
        {"com.openai.codex", {"codex-desktop", "chatgpt-desktop"}},
        {"com.moonshot.kimichat", {"kimi-desktop"}},
    };
    return table;
}

} // namespace

std::set<std::string>
ProcessRunningApplications::bundleIdentifiers(const ProcessNames& runningProcesses) const {
    std::set<std::string> running;
    for (const auto& [bundle, executables] : executablesByBundle())
        for (const auto executable : executables)
            if (runningProcesses.contains(std::string(executable)))
                running.emplace(bundle);
    return running;
}
