#include "core/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
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

TEST(ChildProcessTest, CapturesOutputExitStatusAndOnlyTheGivenEnvironment) {
    struct Case {
        std::string script;
        std::string output;
        int exitStatus;
    };
    const Case cases[] = {
        {"printf 'a\\nb'", "a\nb", 0},
        {"printf out; printf err >&2; exit 3", "out", 3},
        {"kill -9 $$", "", -1},
        {"printf '%s|%s' \"$PELLWICK_PROBE\" \"$HOME\"", "yes|", 0},
    };
    for (const auto& c : cases) {
        auto options = shell(c.script);
        options.environment = std::vector<std::string>{"PELLWICK_PROBE=yes"};
        const auto result = ChildProcess::run(options);
        EXPECT_TRUE(result.started) << c.script;
        EXPECT_EQ(result.output, c.output) << c.script;
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.script;
        EXPECT_FALSE(result.timedOut) << c.script;
    }
    auto joined = shell("printf out; printf err >&2");
    joined.error = ChildProcess::Stream::pipe;
    EXPECT_EQ(ChildProcess::run(joined).output, "outerr");

    ChildProcess::Options missing;
    missing.program = "/nonexistent/program";
    missing.output = ChildProcess::Stream::pipe;
    const auto notStarted = ChildProcess::run(missing);
    EXPECT_FALSE(notStarted.started);
    EXPECT_TRUE(notStarted.output.empty());
}

TEST(ChildProcessTest, LargeInputAndOutputNeitherDeadlockNorKillUs) {
    ChildProcess::Options options;
    options.program = "/bin/cat";
    options.input = ChildProcess::Stream::pipe;
    options.output = ChildProcess::Stream::pipe;
    options.standardInput.assign(4 * 1024 * 1024, 'x');
    options.standardInput += "end";
    const auto result = ChildProcess::run(options);
    EXPECT_EQ(result.output.size(), options.standardInput.size());
    EXPECT_TRUE(result.output == options.standardInput);

    auto ignoring = shell("exec 0<&-; printf done");
    ignoring.input = ChildProcess::Stream::pipe;
    ignoring.standardInput.assign(1024 * 1024, 'x');
    const auto ignored = ChildProcess::run(ignoring);
    EXPECT_EQ(ignored.output, "done");
    EXPECT_EQ(ignored.exitStatus, 0);
}

TEST(ChildProcessTest, OutputStopsAtItsLimit) {
    auto options = shell("while :; do echo aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa; done");
    options.outputLimit = 100'000;
    options.timeout = 20s;
    const auto result = ChildProcess::run(options);
    EXPECT_TRUE(result.outputCut);
    EXPECT_EQ(result.output.size(), options.outputLimit);
}

// The cases run side by side: each waits out its limit.
TEST(ChildProcessTest, StopsAtTheLimitAndKeepsWhatWasPrinted) {
    const std::string cases[] = {
        "printf first; while :; do sleep 0.05; done",
        "trap '' TERM; printf first; while :; do sleep 0.05; done",
        "printf first; sleep 100 & exit 0", // a background child holds the pipe
    };
    std::vector<std::pair<std::string, std::future<ChildProcess::Result>>> runs;
    for (bool newSession : {true, false}) {
        for (const auto& script : cases) {
            auto options = shell(script);
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
    for (auto& [name, run] : runs) {
        const auto result = run.get();
        EXPECT_TRUE(result.timedOut) << name;
        if (name == "without pipes") {
            EXPECT_EQ(result.exitStatus, -1);
        } else {
            EXPECT_EQ(result.output, "first") << name;
        }
    }
}

TEST(ChildProcessTest, NewSessionKillsBackgroundChildrenAtTheLimit) {
    auto options = shell("sleep 100 & printf '%s' $!; wait");
    options.newSession = true;
    options.timeout = 400ms;
    options.killGrace = 100ms;
    const auto result = ChildProcess::run(options);
    ASSERT_TRUE(result.timedOut);
    EXPECT_TRUE(processGone(std::stoi(result.output)));
}

TEST(ChildProcessTest, LeavesNoDescriptorOrChildBehind) {
    const auto before = openDescriptorCount();
    for (int i = 0; i < 12; ++i) {
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
    errno = 0;
    EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD) << "a child is left";
}

} // namespace
