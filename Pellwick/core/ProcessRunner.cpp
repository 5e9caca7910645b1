#include "core/ProcessRunner.h"

#include "core/ChildProcess.h"
#include "core/UniqueFd.h"
#include "core/UserAccount.h"
#include "core/Utf8Text.h"

#include <fcntl.h>

#include <algorithm>
#include <array>

namespace {

constexpr std::size_t wordsPerLine = 3;

[[nodiscard]] std::vector<std::string_view> firstWords(std::string_view line, std::size_t count) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (words.size() < count && at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find(' ', start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

[[nodiscard]] bool isShFamily(const std::filesystem::path& shell) {
    static constexpr std::array<std::string_view, 8> family = {"sh",  "bash", "zsh", "dash",
                                                               "ksh", "mksh", "ash", "yash"};
    const std::string name = shell.filename().string();
    return std::find(family.begin(), family.end(), name) != family.end();
}

} // namespace

ProcessNames runningProcessNames(const std::filesystem::path& lister,
                                 std::chrono::milliseconds timeLimit) {
    ChildProcess::Options options;
    options.program = lister;
    options.arguments = {"-axo", "args="};
    options.input = ChildProcess::Stream::inherit;
    options.output = ChildProcess::Stream::pipe;
    options.timeout = timeLimit;
    options.outputLimit = processListOutputLimit;
    auto result = ChildProcess::run(options);
    if (!result.started)
        return {};
    if (result.outputCut || result.timedOut)
        result.output.erase(std::min(result.output.size(), result.output.rfind('\n') + 1));
    return parseProcessNames(repairedUtf8(result.output));
}

ProcessNames parseProcessNames(std::string_view text) {
    ProcessNames names;
    for (const auto line : nonEmptyLines(text))
        for (const auto word : firstWords(line, wordsPerLine))
            names.insert(lastPathComponent(word));
    return names;
}

std::string lastPathComponent(std::string_view word) {
    const std::size_t end = word.find_last_not_of('/');
    if (end == std::string_view::npos)
        return word.empty() ? std::string() : std::string("/");
    const std::string_view trimmed = word.substr(0, end + 1);
    const std::size_t slash = trimmed.rfind('/');
    return std::string(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

namespace Cleaner {

std::filesystem::path userLoginShell() {
    const auto account = currentUserAccount();
    return account && !account->shell.empty() ? std::filesystem::path(account->shell) : "/bin/sh";
}

std::vector<std::string> loginShellCommand(const std::filesystem::path& shell,
                                           const std::string& script) {
    if (isShFamily(shell))
        return {shell.string(), "-ilc", script};
    return {"/bin/sh", "-lc", script};
}

std::string runLoginShell(const std::string& script, std::chrono::milliseconds timeout,
                          const LoginShellOptions& options) {
    auto command = loginShellCommand(options.shell.value_or(userLoginShell()), script);
    ChildProcess::Options child;
    child.program = command.front();
    child.arguments.assign(command.begin() + 1, command.end());
    child.environment = options.environment;
    child.output = ChildProcess::Stream::pipe;
    child.newSession = true;
    child.timeout = timeout;
    child.killGrace = options.killGrace;
    child.outputLimit = loginShellOutputLimit;
    UniqueFd folder;
    if (!options.workingDirectory.empty()) {
        folder.reset(::open(options.workingDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.valid())
            return {};
        child.workingDirectoryFd = folder.get();
    }
    return repairedUtf8(ChildProcess::run(child).output);
}

} // namespace Cleaner
