#include "core/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

[[nodiscard]] ChildProcess::Options shell(const std::string& script) {
    ChildProcess::Options options;
    options.program = "/bin/sh";
    options.arguments = {"-c", script};
    options.output = ChildProcess::Stream::pipe;
    return options;
}

[[nodiscard]] std::size_t openDescriptorCount() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator()));
}

[[nodiscard]] bool noChildLeft() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// A killed process lingers as a zombie until its new parent reaps it; both count as gone.
[[nodiscard]] bool processGone(pid_t pid) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            return true;
        const auto state = line.substr(line.rfind(')') + 2, 1);
        if (state == "Z" || state == "X")
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

} // namespace

TEST(ChildProcessTest, CapturesOutputAndExitStatus) {
    struct Case {
        std::string script;
        std::string output;
        int exitStatus;
    };
    const Case cases[] = {
        {"printf 'a\\nb'", "a\nb", 0},
        {"printf out; printf err >&2; exit 3", "out", 3},
        {"kill -9 $$", "", -1},
    };
    for (const auto& c : cases) {
        const auto result = ChildProcess::run(shell(c.script));
        EXPECT_TRUE(result.started) << c.script;
        EXPECT_EQ(result.output, c.output) << c.script;
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.script;
        EXPECT_FALSE(result.timedOut) << c.script;
    }
}

TEST(ChildProcessTest, ErrorPipeJoinsOutput) {
    auto options = shell("printf out; printf err >&2");
    options.error = ChildProcess::Stream::pipe;
    EXPECT_EQ(ChildProcess::run(options).output, "outerr");
}

TEST(ChildProcessTest, MissingProgramIsNotStarted) {
    ChildProcess::Options options;
    options.program = "/nonexistent/program";
    options.output = ChildProcess::Stream::pipe;
    const auto result = ChildProcess::run(options);
    EXPECT_FALSE(result.started);
    EXPECT_TRUE(result.output.empty());
}

TEST(ChildProcessTest, PassesTheGivenEnvironmentOnly) {
    auto options = shell("printf '%s|%s' \"$PELLWICK_PROBE\" \"$HOME\"");
    options.environment = std::vector<std::string>{"PELLWICK_PROBE=yes"};
    EXPECT_EQ(ChildProcess::run(options).output, "yes|");
}

TEST(ChildProcessTest, LargeInputAndOutputDoNotDeadlock) {
    ChildProcess::Options options;
    options.program = "/bin/cat";
    options.input = ChildProcess::Stream::pipe;
    options.output = ChildProcess::Stream::pipe;
    options.standardInput.assign(4 * 1024 * 1024, 'x');
    options.standardInput += "end";
    const auto result = ChildProcess::run(options);
    EXPECT_EQ(result.output.size(), options.standardInput.size());
    EXPECT_TRUE(result.output == options.standardInput);
}

TEST(ChildProcessTest, ChildThatIgnoresInputDoesNotKillUs) {
    auto options = shell("exec 0<&-; printf done");
    options.input = ChildProcess::Stream::pipe;
    options.standardInput.assign(1024 * 1024, 'x');
    const auto result = ChildProcess::run(options);
    EXPECT_EQ(result.output, "done");
    EXPECT_EQ(result.exitStatus, 0);
}

TEST(ChildProcessTest, StopsAtTheLimitAndKeepsWhatWasPrinted) {
    struct Case {
        std::string name;
        std::string script;
    };
    const Case cases[] = {
        {"prints for longer than the limit", "printf first; while :; do sleep 0.05; done"},
        {"ignores SIGTERM", "trap '' TERM; printf first; while :; do sleep 0.05; done"},
        {"background child holds the pipe", "printf first; sleep 100 & exit 0"},
    };
    for (bool newSession : {true, false}) {
        for (const auto& c : cases) {
            auto options = shell(c.script);
            options.timeout = 1s;
            options.killGrace = 200ms;
            options.newSession = newSession;
            const auto result = ChildProcess::run(options);
            EXPECT_TRUE(result.timedOut) << c.name;
            EXPECT_EQ(result.output, "first") << c.name;
        }
    }
}

TEST(ChildProcessTest, TimeoutWithoutPipesStillStopsTheChild) {
    auto options = shell("sleep 100");
    options.output = ChildProcess::Stream::nullDevice;
    options.timeout = 500ms;
    const auto result = ChildProcess::run(options);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.exitStatus, -1);
}

TEST(ChildProcessTest, NewSessionKillsBackgroundChildrenAtTheLimit) {
    auto options = shell("sleep 100 & printf '%s' $!; wait");
    options.newSession = true;
    options.timeout = 1s;
    options.killGrace = 100ms;
    const auto result = ChildProcess::run(options);
    ASSERT_TRUE(result.timedOut);
    const pid_t background = std::stoi(result.output);
    EXPECT_TRUE(processGone(background));
}

TEST(ChildProcessTest, LeavesNoDescriptorOrChildBehind) {
    const auto before = openDescriptorCount();
    for (int i = 0; i < 40; ++i) {
        auto options = shell(i % 4 == 0 ? "sleep 100 & printf x" : "printf x");
        options.input = ChildProcess::Stream::pipe;
        options.standardInput = "input";
        options.error = i % 2 ? ChildProcess::Stream::pipe : ChildProcess::Stream::nullDevice;
        options.newSession = true;
        options.timeout = 300ms;
        options.killGrace = 50ms;
        EXPECT_EQ(ChildProcess::run(options).output, "x");
    }
    EXPECT_EQ(openDescriptorCount(), before);
    EXPECT_TRUE(noChildLeft());
}
