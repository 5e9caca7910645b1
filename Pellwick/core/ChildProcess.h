#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Runs one child program with posix_spawn. Every pipe is created close-on-exec, so a child
// never inherits another child's pipe end when several start from different threads. Every
// child is reaped before the call returns.
namespace ChildProcess {

enum class Stream { inherit, nullDevice, pipe };

struct Options {
    std::filesystem::path program;
    std::vector<std::string> arguments; // without the program name; argv[0] is the program
    std::optional<std::vector<std::string>> environment; // "KEY=value"; none: inherited
    Stream input = Stream::nullDevice;
    Stream output = Stream::nullDevice; // pipe: captured into Result::output
    Stream error = Stream::nullDevice;  // pipe: joins standard output in Result::output
    std::string standardInput;          // written to the child when input is a pipe, then closed
    bool newSession = false;            // setsid: the child leads its own session and process group
    // The child starts in this open folder (fchdir), so it works exactly where the caller
    // checked, whatever the folder's path leads to by then; -1: the caller's working directory.
    int workingDirectoryFd = -1;
    // Reading stops once this many bytes arrived; the child is then ended as at the time limit
    // and Result::output holds the bytes up to the limit.
    std::size_t outputLimit = 16 * 1024 * 1024;
    // At the time limit the child's process group (or the child) gets SIGTERM, then SIGKILL
    // after `killGrace`; reading stops at the limit whoever still holds the pipe.
    std::optional<std::chrono::milliseconds> timeout;
    std::chrono::milliseconds killGrace{500};
};

struct Result {
    bool started = false;
    int startError = 0;  // posix_spawn's error when the child did not start
    int exitStatus = -1; // -1 when the child did not exit normally
    std::string output;  // raw bytes of standard output when it was a pipe
    bool timedOut = false;
    bool outputCut = false; // the output limit was reached
};

[[nodiscard]] Result run(const Options& options);

} // namespace ChildProcess
