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
    // At the time limit the child's process group (or the child) gets SIGTERM, then SIGKILL
    // after `killGrace`; reading stops at the limit whoever still holds the pipe.
    std::optional<std::chrono::milliseconds> timeout;
    std::chrono::milliseconds killGrace{500};
};

struct Result {
    bool started = false;
    int exitStatus = -1; // -1 when the child did not exit normally
    std::string output;  // raw bytes of standard output when it was a pipe
    bool timedOut = false;
};

[[nodiscard]] Result run(const Options& options);

} // namespace ChildProcess
