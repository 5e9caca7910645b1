#include "support/TempTree.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Fixtures create and delete tens of thousands of entries. On a disk mounted with `discard`
// every deletion waits on the device, which made the suite several times slower, and no rule
// under test depends on the kind of file system (the mount tests make their own mounts). So a
// roomy tmpfs is preferred where there is one.
fs::path fixtureBase() {
    struct statfs shared {};
    constexpr unsigned long long roomNeeded = 1ULL << 30;
    if (statfs("/dev/shm", &shared) == 0 && shared.f_type == TMPFS_MAGIC &&
        static_cast<unsigned long long>(shared.f_bavail) * shared.f_bsize >= roomNeeded &&
        access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return fs::temp_directory_path();
}

} // namespace

TempTree::TempTree() {
    static const fs::path base = fixtureBase(); // looked up once per test program
    std::string pattern = (base / "pellwick-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    root_ = pattern;
    // Tests that drop to an unprivileged user must be able to reach their fixtures.
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
}

TempTree::~TempTree() {
    // Fixtures may hold read-only folders and trees deeper than std::filesystem::remove_all can
    // walk; rm takes both once the folders are writable. The name is mkdtemp's: nothing to quote.
    const std::string root = "'" + root_.string() + "'";
    (void)std::system(("chmod -R u+rwX " + root + " 2>/dev/null; rm -rf " + root).c_str());
}

fs::path TempTree::file(const fs::path& relative, std::size_t bytes) const {
    const fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << std::string(bytes, 'x');
    return path;
}

fs::path TempTree::text(const fs::path& relative, const std::string& content) const {
    const fs::path path = file(relative, 0);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

fs::path TempTree::script(const fs::path& relative, const std::string& body) const {
    const fs::path path = text(relative, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

fs::path TempTree::folder(const fs::path& relative) const {
    const fs::path path = root_ / relative;
    fs::create_directories(path);
    return path;
}

fs::path TempTree::link(const fs::path& relative, const fs::path& target) const {
    const fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    fs::create_symlink(target, path);
    return path;
}

void setModified(const fs::path& path, std::chrono::system_clock::time_point when) {
    const auto since = when.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds);
    const timespec times[2] = {{seconds.count(), long(nanos.count())},
                               {seconds.count(), long(nanos.count())}};
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::system_error(errno, std::generic_category(), "utimensat " + path.string());
}

void setModifiedTree(const fs::path& path, std::chrono::system_clock::time_point when) {
    if (fs::is_directory(fs::symlink_status(path))) {
        for (const auto& entry : fs::recursive_directory_iterator(path))
            setModified(entry.path(), when);
    }
    setModified(path, when);
}

std::chrono::system_clock::time_point daysAgo(double days) {
    return std::chrono::system_clock::now() -
           std::chrono::duration_cast<std::chrono::system_clock::duration>(
               std::chrono::duration<double>(days * 86400.0));
}

namespace {
const passwd& nobody() {
    const passwd* entry = getpwnam("nobody");
    if (!entry)
        throw std::runtime_error("no user nobody");
    return *entry;
}
} // namespace

void giveToNobody(const fs::path& path) {
    const passwd& user = nobody();
    lchown(path.c_str(), user.pw_uid, user.pw_gid);
    if (fs::is_directory(fs::symlink_status(path))) {
        for (const auto& entry : fs::recursive_directory_iterator(path))
            lchown(entry.path().c_str(), user.pw_uid, user.pw_gid);
    }
}

int runAsNobody(const std::function<int()>& body) {
    const passwd& user = nobody();
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (!runningAsRoot())
            _exit(body()); // already unprivileged
        if (setgroups(0, nullptr) != 0 || setresgid(user.pw_gid, user.pw_gid, user.pw_gid) != 0 ||
            setresuid(user.pw_uid, user.pw_uid, user.pw_uid) != 0)
            _exit(99);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool runningAsRoot() {
    return geteuid() == 0;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

std::size_t openDescriptors() {
    return std::size_t(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

std::size_t filesBelow(const fs::path& folder) {
    std::size_t count = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        count += it->is_regular_file(error) ? 1 : 0;
    return count;
}
