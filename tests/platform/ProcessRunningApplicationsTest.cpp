#include "platform/linux/ProcessRunningApplications.h"
#include "platform/linux/ChildSessions.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

// A child sleeping for 30 seconds as `program`, in a session of its own when `ownSession`.
pid_t spawnSleeper(const std::string& program, bool ownSession = false) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownSession)
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    return failed ? -1 : pid;
}

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
    const pid_t cursor = spawnSleeper(tree.link("bin/cursor", "/bin/sleep").string());
    ASSERT_GT(cursor, 0);
    const auto running = ProcessRunningApplications().bundleIdentifiers(runningProcessNames());
    kill(cursor, SIGKILL);
    waitpid(cursor, nullptr, 0);
    EXPECT_TRUE(running.contains("com.todesktop.230313mzl4w4u92"));
}

// At quit the login shell's session ends at once; other children are not ours to end there.
TEST(ChildSessionsTest, EndsTheSessionsOurChildrenLeadOnly) {
    const pid_t shell = spawnSleeper("/bin/sleep", true);
    const pid_t other = spawnSleeper("/bin/sleep");
    ASSERT_GT(shell, 0);
    ASSERT_GT(other, 0);
    endChildSessions();
    int status = 0;
    ASSERT_EQ(waitpid(shell, &status, 0), shell);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(waitpid(other, &status, WNOHANG), 0);
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
}

} // namespace
