// Child processes, the login shell that runs the cache probe, and the parsers of their output.
#include "core/ChildProcess.h"
#include "core/ProcessRunner.h"
#include "core/Utf8Text.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <future>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

[[nodiscard]] ChildProcess::Options shell(const std::string& script) {
    ChildProcess::Options options;
    options.program = "/bin/sh";
    options.arguments = {"-c", script};
    options.output = ChildProcess::Stream::pipe;
    return options;
}

// A killed process lingers as a zombie until its new parent reaps it; both count as gone.
[[nodiscard]] bool processGone(pid_t pid) {
    for (int attempt = 0; attempt < 500; ++attempt, std::this_thread::sleep_for(10ms)) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.find(") Z ") != std::string::npos ||
            line.find(") X ") != std::string::npos)
            return true;
    }
    return false;
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

// Input the child never reads must not kill us with SIGPIPE; endless output stops at its limit.
TEST(ChildProcessTest, LargeInputAndOutputNeitherDeadlockNorKillUs) {
    auto cat = shell("exec cat");
    cat.input = ChildProcess::Stream::pipe;
    cat.standardInput.assign(4 * 1024 * 1024, 'x');
    cat.standardInput += "end";
    EXPECT_TRUE(ChildProcess::run(cat).output == cat.standardInput);

    auto ignoring = shell("exec 0<&-; printf done");
    ignoring.input = ChildProcess::Stream::pipe;
    ignoring.standardInput.assign(1024 * 1024, 'x');
    EXPECT_EQ(ChildProcess::run(ignoring).output, "done");

    auto endless = shell("while :; do echo aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa; done");
    endless.outputLimit = 100'000;
    endless.timeout = 20s;
    const auto result = ChildProcess::run(endless);
    EXPECT_TRUE(result.outputCut);
    EXPECT_EQ(result.output.size(), endless.outputLimit);
}

// The runs go side by side, each waiting out its limit. Whatever they started is ended, and no
// descriptor or child is left behind.
TEST(ChildProcessTest, StopsAtTheLimitKeepsWhatWasPrintedAndLeavesNothingBehind) {
    const auto descriptors = openDescriptors();
    const std::string scripts[] = {
        "printf first; while :; do sleep 0.05; done",
        "trap '' TERM; printf first; while :; do sleep 0.05; done",
        "printf first; sleep 100 & exit 0", // a background child holds the pipe
    };
    std::vector<std::pair<std::string, std::future<ChildProcess::Result>>> runs;
    for (bool newSession : {true, false}) {
        for (const auto& script : scripts) {
            auto options = shell(script);
            options.input = ChildProcess::Stream::pipe;
            options.standardInput = "input";
            options.error = newSession ? ChildProcess::Stream::pipe : options.error;
            options.timeout = 500ms;
            options.killGrace = 100ms;
            options.newSession = newSession;
            runs.emplace_back(script, std::async(std::launch::async, ChildProcess::run, options));
        }
    }
    auto silent = shell("sleep 100");
    silent.output = ChildProcess::Stream::nullDevice;
    silent.timeout = 300ms;
    runs.emplace_back("without pipes", std::async(std::launch::async, ChildProcess::run, silent));
    auto background = shell("sleep 100 & printf '%s' $!; wait");
    background.newSession = true;
    background.timeout = 400ms;
    background.killGrace = 100ms;
    const auto sleeper = ChildProcess::run(background);
    for (auto& [name, run] : runs) {
        const auto result = run.get();
        EXPECT_TRUE(result.timedOut) << name;
        EXPECT_EQ(result.output, name == "without pipes" ? "" : "first") << name;
    }
    ASSERT_TRUE(sleeper.timedOut);
    EXPECT_TRUE(processGone(std::stoi(sleeper.output))) << "the session's background child";
    EXPECT_EQ(openDescriptors(), descriptors);
    errno = 0;
    EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD) << "a child is left";
}

TEST(ProcessNamesTest, ParsesCommandLinesAndListsThisVeryProcess) {
    const std::pair<std::string, ProcessNames> cases[] = {
        {"     \n\n", {}},
        {"/usr/bin/", {"bin"}},
        {"//", {"/"}},
        {"/usr/local/bin/node /usr/local/bin/npm install --global", {"node", "npm", "install"}},
        {"gradlew\tbuild  -q", {"gradlew\tbuild", "-q"}},
        {"a\nb\vc\fd\re\r\nf\xC2\x85g\xE2\x80\xA8h\xE2\x80\xA9i\n",
         {"a", "b", "c", "d", "e", "f", "g", "h", "i"}},
    };
    for (const auto& [text, names] : cases)
        EXPECT_EQ(parseProcessNames(text), names) << text;
    const auto self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    EXPECT_TRUE(runningProcessNames().contains(self));
    EXPECT_TRUE(runningProcessNames("/nonexistent/ps").empty());
}

TEST(Utf8TextTest, RepairsEveryInvalidSequence) {
    const std::string bad = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"h\xC3\xA9llo \xF0\x9F\x98\x80", "h\xC3\xA9llo \xF0\x9F\x98\x80"},
        {"a\xC3", "a" + bad},
        {"\xC0\xAF", bad + bad},
        {"\xED\xA0\x80", bad + bad + bad},
        {"\xF4\x90\x80\x80", bad + bad + bad + bad},
        {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(repairedUtf8(bytes), text) << bytes;
}

// Started with "pellwick &", an interactive shell reading the terminal would be stopped.
TEST(LoginShellTest, RunsFromTheBackgroundOfATerminalRepairsOutputAndNeedsAShell) {
    const TempTree tree;
    // A bash login shell confined to a temp home, so the real user's start-up files never run.
    Cleaner::LoginShellOptions bash;
    bash.shell = "/bin/bash";
    bash.environment =
        std::vector<std::string>{"HOME=" + tree.root().string(), "PATH=/usr/bin:/bin", "TERM=dumb"};
    const int status = runInBackgroundOfTerminal([&] {
        const auto output = Cleaner::runLoginShell("echo reached", 10s, bash);
        return output.find("reached\n") != std::string::npos ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    auto fish = bash;
    fish.shell = tree.script("bin/fish", "echo fish-ran");
    const auto output =
        Cleaner::runLoginShell("echo \"script-ran $0\"; printf 'a\\377b'", 10s, fish);
    EXPECT_EQ(output, "script-ran /bin/sh\na\xEF\xBF\xBD"
                      "b");
    fish.shell = "/nonexistent/bash";
    EXPECT_EQ(Cleaner::runLoginShell("echo x", 10s, fish), "");
}

} // namespace
