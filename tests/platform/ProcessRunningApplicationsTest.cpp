#include "platform/linux/ProcessRunningApplications.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

// Tools and names of another case are no apps; each editor counts once, whatever its build.
TEST(ProcessRunningApplicationsTest, MapsExecutablesToBundleIdentifiers) {
    const std::pair<ProcessNames, std::set<std::string>> cases[] = {
        {{"node", "npm", "Code"}, {}},
        {{"code-insiders", "cursor"}, {"com.microsoft.VSCode", "com.todesktop.230313mzl4w4u92"}},
        {{"claude-desktop", "codex-desktop"},
         {"com.anthropic.claudefordesktop", "com.openai.codex"}},
        {{"kimi-desktop", "code"}, {"com.moonshot.kimichat", "com.microsoft.VSCode"}},
    };
    for (const auto& [names, bundles] : cases)
        EXPECT_EQ(ProcessRunningApplications().bundleIdentifiers(names), bundles);
}

// Against the real process list: a program started through a link named "cursor" is Cursor.
TEST(ProcessRunningApplicationsTest, SeesAnApplicationThatRuns) {
    const TempTree tree;
    const std::string cursor = tree.link("bin/cursor", "/bin/sleep").string();
    char* argv[] = {const_cast<char*>(cursor.c_str()), const_cast<char*>("30"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, cursor.c_str(), nullptr, nullptr, argv, environ), 0);
    const auto running = ProcessRunningApplications().bundleIdentifiers(runningProcessNames());
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_TRUE(running.contains("com.todesktop.230313mzl4w4u92"));
}

} // namespace
