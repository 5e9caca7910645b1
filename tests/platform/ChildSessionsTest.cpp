#include "platform/linux/ChildSessions.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

pid_t spawnSleeper(bool ownSession) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownSession)
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char program[] = "/bin/sleep";
    char seconds[] = "30";
    char* argv[] = {program, seconds, nullptr};
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program, nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    return failed ? -1 : pid;
}

// At quit the login shell's session ends at once; other children are not ours to end there.
TEST(ChildSessionsTest, EndsTheSessionsOurChildrenLeadOnly) {
    const pid_t shell = spawnSleeper(true);
    const pid_t other = spawnSleeper(false);
    ASSERT_GT(shell, 0);
    ASSERT_GT(other, 0);

    endChildSessions();

    int status = 0;
    ASSERT_EQ(waitpid(shell, &status, 0), shell);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(waitpid(other, &status, WNOHANG), 0);
    kill(other, SIGKILL);
    waitpid(other, &status, 0);
}

} // namespace
