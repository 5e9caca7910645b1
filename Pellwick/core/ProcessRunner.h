#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The names of running processes: the last path component of each of the first three words
// of every command line ("node", "npm", "gradlew"). An item whose tool runs is held back.
using ProcessNames = std::set<std::string>;

inline const std::filesystem::path defaultProcessLister = "/bin/ps";

// How long the process lister may take, and how much it may print.
inline constexpr std::chrono::seconds processListLimit{10};
inline constexpr std::size_t processListOutputLimit = 16 * 1024 * 1024;

// Lists every process of every user; empty when the lister cannot start. A lister that hangs or
// prints without end is stopped at the limits and what it printed until then is read. Blocking.
[[nodiscard]] ProcessNames
runningProcessNames(const std::filesystem::path& lister = defaultProcessLister,
                    std::chrono::milliseconds timeLimit = processListLimit);

// Reads `ps -axo args=` output: lines at every newline character, words at U+0020 only.
[[nodiscard]] ProcessNames parseProcessNames(std::string_view text);

// The last path component as the platform reads a file path: trailing slashes are ignored,
// and a word made of slashes only is "/".
[[nodiscard]] std::string lastPathComponent(std::string_view word);

namespace Cleaner {

struct LoginShellOptions {
    // None: the user's login shell from the password database.
    std::optional<std::filesystem::path> shell;
    // None: inherited. The shell's own start-up files then build the environment it reports.
    std::optional<std::vector<std::string>> environment;
    std::chrono::milliseconds killGrace{500};
    // The folder the shell starts in; empty: the caller's working directory. A project folder's
    // own tool settings (an .npmrc there) must not decide where the user's caches are.
    std::filesystem::path workingDirectory;
};

// What the login shell may print at most; the probe's answer is a few hundred bytes.
inline constexpr std::size_t loginShellOutputLimit = 1024 * 1024;

// The user's login shell; "/bin/sh" when the password database names none.
[[nodiscard]] std::filesystem::path userLoginShell();

// The program and arguments that run `script` in `shell` as an interactive login shell.
// Shells outside the sh family (fish, tcsh, nu ...) cannot read the script's syntax, so
// "/bin/sh -lc" runs it instead.
[[nodiscard]] std::vector<std::string> loginShellCommand(const std::filesystem::path& shell,
                                                         const std::string& script);

// Runs the script in the user's login shell in a session of its own (so a terminal it was
// started from cannot stop it), with standard input and error on the null device. At the
// limit (of time, or of output) the session is terminated and whatever it printed until then is
// returned, repaired as UTF-8; empty when the shell cannot start. Blocking.
[[nodiscard]] std::string runLoginShell(const std::string& script,
                                        std::chrono::milliseconds timeout,
                                        const LoginShellOptions& options = {});

} // namespace Cleaner
