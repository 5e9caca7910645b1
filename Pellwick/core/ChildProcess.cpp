#include "core/ChildProcess.h"

#include "core/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ChildProcess {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t readChunk = 64 * 1024;

struct Pipe {
    UniqueFd readEnd;
    UniqueFd writeEnd;
};

// A pipe end must not land on 0, 1 or 2: when the parent runs with a standard stream closed,
// the child's own redirections would otherwise overwrite it before it is duplicated.
[[nodiscard]] UniqueFd aboveStandardStreams(int fd) {
    if (fd > STDERR_FILENO)
        return UniqueFd(fd);
    UniqueFd original(fd);
    return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
}

[[nodiscard]] std::optional<Pipe> makePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    Pipe pipe{aboveStandardStreams(ends[0]), aboveStandardStreams(ends[1])};
    if (!pipe.readEnd.valid() || !pipe.writeEnd.valid())
        return std::nullopt;
    return pipe;
}

void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// The child would otherwise inherit this thread's blocked SIGPIPE and any signal the parent
// ignores; a shell started with SIGTERM ignored could not be stopped politely.
class SpawnAttributes {
public:
    explicit SpawnAttributes(bool newSession) {
        ::posix_spawnattr_init(&attributes_);
        sigset_t empty;
        sigemptyset(&empty);
        ::posix_spawnattr_setsigmask(&attributes_, &empty);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal :
             {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD, SIGTTIN, SIGTTOU, SIGTSTP})
            sigaddset(&defaults, signal);
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (newSession)
            flags |= POSIX_SPAWN_SETSID;
        ::posix_spawnattr_setflags(&attributes_, flags);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    [[nodiscard]] const posix_spawnattr_t* get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

class FileActions {
public:
    FileActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    void redirect(int target, Stream stream, int pipeEnd) {
        if (stream == Stream::nullDevice)
            ::posix_spawn_file_actions_addopen(&actions_, target, "/dev/null",
                                               target == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
        else if (stream == Stream::pipe)
            ::posix_spawn_file_actions_adddup2(&actions_, pipeEnd, target);
    }

    void changeDirectory(int folderFd) {
        if (folderFd >= 0)
            ::posix_spawn_file_actions_addfchdir_np(&actions_, folderFd);
    }

    [[nodiscard]] const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// Blocks SIGPIPE on this thread while it writes to a child that may already be gone, and
// swallows the SIGPIPE such a write raised before the old mask comes back.
class SigpipeBlock {
public:
    SigpipeBlock() {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
        ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous_);
    }
    ~SigpipeBlock() {
        if (!alreadyPending_) {
            sigset_t pipeOnly;
            sigemptyset(&pipeOnly);
            sigaddset(&pipeOnly, SIGPIPE);
            const timespec now{0, 0};
            while (::sigtimedwait(&pipeOnly, nullptr, &now) == SIGPIPE) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

private:
    sigset_t previous_;
    bool alreadyPending_ = false;
};

[[nodiscard]] std::vector<char*> argumentVector(const Options& options) {
    std::vector<char*> argv;
    argv.reserve(options.arguments.size() + 2);
    argv.push_back(const_cast<char*>(options.program.c_str()));
    for (const auto& argument : options.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

[[nodiscard]] std::vector<char*> environmentVector(const std::vector<std::string>& entries) {
    std::vector<char*> envp;
    envp.reserve(entries.size() + 1);
    for (const auto& entry : entries)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    return envp;
}

[[nodiscard]] int millisecondsUntil(std::optional<Clock::time_point> deadline) {
    if (!deadline)
        return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60'000));
}

[[nodiscard]] bool pastDeadline(std::optional<Clock::time_point> deadline) {
    return deadline && Clock::now() >= *deadline;
}

// glibc 2.36 declares pidfd_open without C linkage, so the system call is made directly.
// Without it (kernels before 5.3) the wait falls back to short sleeps.
[[nodiscard]] int openExitWatch(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// Watches one child; the pid stays ours (and so does its process group id) until reap().
class Child {
public:
    Child(pid_t pid, bool ownGroup)
        : pid_(pid), ownGroup_(ownGroup), exitWatch_(openExitWatch(pid)) {}

    // Waits without reaping, so the pid cannot be reused while signals may still follow.
    [[nodiscard]] bool waitForExit(std::optional<Clock::time_point> deadline) const {
        for (;;) {
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
                return errno != EINTR;
            if (info.si_pid == pid_)
                return true;
            if (pastDeadline(deadline))
                return false;
            pauseUntilExitOr(deadline);
        }
    }

    void signal(int number) const { ::kill(ownGroup_ ? -pid_ : pid_, number); }

    [[nodiscard]] int reap() const {
        int status = 0;
        pid_t reaped = -1;
        while ((reaped = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
        }
        return reaped == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    void pauseUntilExitOr(std::optional<Clock::time_point> deadline) const {
        if (exitWatch_.valid()) {
            pollfd watch{exitWatch_.get(), POLLIN, 0};
            ::poll(&watch, 1, millisecondsUntil(deadline));
            return;
        }
        const int pauseMs = std::min(deadline ? millisecondsUntil(deadline) : 10, 10);
        const timespec pause{0, static_cast<long>(pauseMs) * 1'000'000};
        ::nanosleep(&pause, nullptr);
    }

    pid_t pid_;
    bool ownGroup_;
    UniqueFd exitWatch_;
};

// Feeds standard input and collects standard output together, so a child that fills one pipe
// while waiting on the other never deadlocks with us. Stops at end of file, the deadline or
// `limit` bytes collected.
void exchange(UniqueFd& input, std::string_view toWrite, UniqueFd& output, std::string& collected,
              std::size_t limit, std::optional<Clock::time_point> deadline) {
    SigpipeBlock sigpipeBlock;
    std::size_t written = 0;
    if (toWrite.empty())
        input.reset();
    char buffer[readChunk];
    while ((input.valid() || output.valid()) && !pastDeadline(deadline)) {
        pollfd watched[2];
        nfds_t count = 0;
        if (output.valid())
            watched[count++] = {output.get(), POLLIN, 0};
        if (input.valid())
            watched[count++] = {input.get(), POLLOUT, 0};
        const int ready = ::poll(watched, count, millisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR)
            return;
        if (ready <= 0)
            continue;
        for (nfds_t i = 0; i < count; ++i) {
            if (watched[i].revents == 0)
                continue;
            if (watched[i].fd == output.get()) {
                const std::size_t room = limit - collected.size();
                const ssize_t got = ::read(output.get(), buffer, std::min(sizeof buffer, room));
                if (got > 0)
                    collected.append(buffer, static_cast<std::size_t>(got));
                else if (got == 0 || (errno != EAGAIN && errno != EINTR))
                    output.reset();
                if (collected.size() >= limit)
                    return;
            } else {
                const ssize_t put =
                    ::write(input.get(), toWrite.data() + written, toWrite.size() - written);
                if (put > 0)
                    written += static_cast<std::size_t>(put);
                if ((put < 0 && errno != EAGAIN && errno != EINTR) || written == toWrite.size())
                    input.reset();
            }
        }
    }
}

} // namespace

Result run(const Options& options) {
    Result result;
    std::optional<Pipe> inputPipe;
    std::optional<Pipe> outputPipe;
    if (options.input == Stream::pipe && !(inputPipe = makePipe()))
        return result;
    const bool capture = options.output == Stream::pipe || options.error == Stream::pipe;
    if (capture && !(outputPipe = makePipe()))
        return result;

    FileActions actions;
    actions.redirect(STDIN_FILENO, options.input, inputPipe ? inputPipe->readEnd.get() : -1);
    actions.redirect(STDOUT_FILENO, options.output, outputPipe ? outputPipe->writeEnd.get() : -1);
    actions.redirect(STDERR_FILENO, options.error, outputPipe ? outputPipe->writeEnd.get() : -1);
    actions.changeDirectory(options.workingDirectoryFd);
    const SpawnAttributes attributes(options.newSession);

    auto argv = argumentVector(options);
    std::vector<char*> envp;
    if (options.environment)
        envp = environmentVector(*options.environment);
    pid_t pid = -1;
    result.startError =
        ::posix_spawn(&pid, options.program.c_str(), actions.get(), attributes.get(), argv.data(),
                      options.environment ? envp.data() : environ);
    if (result.startError != 0)
        return result;
    result.started = true;

    UniqueFd input;
    UniqueFd output;
    if (inputPipe) {
        inputPipe->readEnd.reset();
        input = std::move(inputPipe->writeEnd);
        setNonBlocking(input.get());
    }
    if (outputPipe) {
        outputPipe->writeEnd.reset();
        output = std::move(outputPipe->readEnd);
        setNonBlocking(output.get());
    }

    const Child child(pid, options.newSession);
    std::optional<Clock::time_point> deadline;
    if (options.timeout)
        deadline = Clock::now() + *options.timeout;
    exchange(input, options.standardInput, output, result.output, options.outputLimit, deadline);
    result.outputCut = output.valid() && result.output.size() >= options.outputLimit;
    const bool readingCut = output.valid();
    input.reset();
    output.reset();

    if (result.outputCut) {
        // Whatever it would still print is not wanted: end it now rather than at the deadline.
        deadline = Clock::now();
    }
    if (!child.waitForExit(deadline)) {
        result.timedOut = true;
        child.signal(SIGTERM);
        if (!child.waitForExit(Clock::now() + options.killGrace) || options.newSession)
            child.signal(SIGKILL);
    } else if (readingCut) {
        // The child is gone but something it started still holds the pipe.
        result.timedOut = true;
        if (options.newSession)
            child.signal(SIGKILL);
    }
    result.exitStatus = child.reap();
    return result;
}

} // namespace ChildProcess
