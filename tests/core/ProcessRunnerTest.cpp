#include "core/ProcessRunner.h"
#include "core/Utf8Text.h"
#include "support/TempTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

// A bash login shell confined to a temp home, so the real user's start-up files never run.
[[nodiscard]] Cleaner::LoginShellOptions bashIn(const TempTree& home) {
    Cleaner::LoginShellOptions options;
    options.shell = "/bin/bash";
    options.environment =
        std::vector<std::string>{"HOME=" + home.root().string(), "PATH=/usr/bin:/bin", "TERM=dumb"};
    options.killGrace = 200ms;
    return options;
}

// Runs `body` in a process that leads a session on a new pseudo-terminal and sits in a
// background process group there, as a program started with "pellwick &" from a terminal.
[[nodiscard]] int runInBackgroundOfTerminal(const std::function<int()>& body) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return -2;
    const std::string slaveName = ::ptsname(master);
    const pid_t leader = ::fork();
    if (leader == 0) {
        ::setsid();
        const int slave = ::open(slaveName.c_str(), O_RDWR);
        if (slave < 0 || ::ioctl(slave, TIOCSCTTY, 0) != 0)
            ::_exit(90);
        const pid_t background = ::fork();
        if (background == 0) {
            ::setpgid(0, 0);
            ::_exit(body());
        }
        int status = 0;
        ::waitpid(background, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 91);
    }
    int status = 0;
    ::waitpid(leader, &status, 0);
    ::close(master);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ProcessNamesTest, ParsesCommandLines) {
    struct Case {
        std::string text;
        ProcessNames names;
    };
    const Case cases[] = {
        {"", {}},
        {"     \n\n", {}},
        {"  /bin/zsh -l", {"zsh", "-l"}},
        {"/usr/bin/", {"bin"}},
        {"/", {"/"}},
        {"//usr//lib///", {"lib"}},
        {"/usr/local/bin/node /usr/local/bin/npm install --global", {"node", "npm", "install"}},
        {"/Applications/Visual Studio Code.app/Contents/MacOS/Electron --type=renderer",
         {"Visual", "Studio", "Electron"}},
        {"gradlew\tbuild  -q", {"gradlew\tbuild", "-q"}},
        {"a\nb\vc\fd\re\r\nf\xC2\x85g\xE2\x80\xA8h\xE2\x80\xA9i\n",
         {"a", "b", "c", "d", "e", "f", "g", "h", "i"}},
        {"/usr/bin/node x\r\n/opt/cursor/cursor --no-sandbox\r\n",
         {"node", "x", "cursor", "--no-sandbox"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseProcessNames(c.text), c.names) << c.text;
}

TEST(ProcessNamesTest, ListsThisVeryProcess) {
    const auto self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    EXPECT_TRUE(runningProcessNames().contains(self));
    EXPECT_TRUE(runningProcessNames("/nonexistent/ps").empty());
}

TEST(Utf8TextTest, RepairsEveryInvalidSequence) {
    const std::string replacement = "\xEF\xBF\xBD";
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"h\xC3\xA9llo \xF0\x9F\x98\x80", "h\xC3\xA9llo \xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a" + replacement + "b"},
        {"\xE2\x82", replacement},
        {"\xE2\x82x", replacement + "x"},
        {"a\xC3", "a" + replacement},
        {"\xC0\xAF", replacement + replacement},
        {"\xE0\x80\x80", replacement + replacement + replacement},
        {"\xED\xA0\x80", replacement + replacement + replacement},
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},
        {"\xF0\x9F\x98x", replacement + "x"},
        {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(repairedUtf8(c.bytes), c.text) << c.bytes;
}

TEST(LoginShellTest, OnlyShellsOfTheShFamilyGetTheScript) {
    struct Case {
        std::string shell;
        std::vector<std::string> command;
    };
    const Case cases[] = {
        {"/bin/bash", {"/bin/bash", "-ilc", "S"}},
        {"/usr/local/bin/yash", {"/usr/local/bin/yash", "-ilc", "S"}},
        {"/usr/bin/fish", {"/bin/sh", "-lc", "S"}},
        {"/opt/bash-5/bin/bash5", {"/bin/sh", "-lc", "S"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cleaner::loginShellCommand(c.shell, "S"), c.command) << c.shell;
}

// The cases run side by side: each waits out its limit, which leaves time for bash to start.
TEST(LoginShellTest, ReturnsWhatWasPrintedUntilTheLimit) {
    const TempTree home;
    const std::pair<std::string, std::string> cases[] = {
        {"i=0; while :; do echo line$i; i=$((i+1)); sleep 0.05; done", "line0\nline1\n"},
        {"trap '' TERM; echo before; sleep 100; echo after", "before\n"},
        {"sleep 100 & echo started", "started\n"}, // a background child holds the output
    };
    std::vector<std::future<std::string>> outputs;
    for (const auto& [script, expected] : cases)
        outputs.push_back(
            std::async(std::launch::async, Cleaner::runLoginShell, script, 1s, bashIn(home)));
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const auto output = outputs[i].get();
        EXPECT_THAT(output, HasSubstr(cases[i].second)) << cases[i].first;
        EXPECT_THAT(output, Not(HasSubstr("after"))) << cases[i].first;
    }
    errno = 0;
    EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD) << "a child is left";
}

TEST(LoginShellTest, RunsWhenStartedFromTheBackgroundOfATerminal) {
    const TempTree home;
    const int status = runInBackgroundOfTerminal([&] {
        const auto output = Cleaner::runLoginShell("echo reached", 10s, bashIn(home));
        return output.find("reached\n") != std::string::npos ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(LoginShellTest, ReplacesAShellOutsideTheShFamilyRepairsOutputAndNeedsAShell) {
    const TempTree tree;
    auto fish = bashIn(tree);
    fish.shell = tree.script("bin/fish", "echo fish-ran");
    const auto output = Cleaner::runLoginShell("echo \"script-ran $0\"", 10s, fish);
    EXPECT_THAT(output, StartsWith("script-ran /bin/sh"));
    EXPECT_THAT(output, Not(HasSubstr("fish-ran")));
    EXPECT_EQ(Cleaner::runLoginShell("printf 'a\\377b'", 10s, bashIn(tree)), "a\xEF\xBF\xBD"
                                                                             "b");
    auto missing = bashIn(tree);
    missing.shell = "/nonexistent/bash";
    EXPECT_EQ(Cleaner::runLoginShell("echo x", 10s, missing), "");
}
