#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// A folder in the temp directory that the test builds its fixture in; removed afterwards.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    [[nodiscard]] const std::filesystem::path& root() const { return root_; }
    [[nodiscard]] std::filesystem::path operator/(const std::filesystem::path& relative) const {
        return root_ / relative;
    }

    // Creates the file and its folders; `bytes` bytes of content.
    std::filesystem::path file(const std::filesystem::path& relative, std::size_t bytes = 1) const;
    // Creates the file and its folders with `content` as its text.
    std::filesystem::path text(const std::filesystem::path& relative,
                               const std::string& content) const;
    // Creates an executable shell script running `body`.
    std::filesystem::path script(const std::filesystem::path& relative,
                                 const std::string& body) const;
    std::filesystem::path folder(const std::filesystem::path& relative) const;
    std::filesystem::path link(const std::filesystem::path& relative,
                               const std::filesystem::path& target) const;

private:
    std::filesystem::path root_;
};

// Sets the modification time of `path` itself (not following a link).
void setModified(const std::filesystem::path& path, std::chrono::system_clock::time_point when);

// Sets every entry of a tree to the same modification time.
void setModifiedTree(const std::filesystem::path& path, std::chrono::system_clock::time_point when);

[[nodiscard]] std::chrono::system_clock::time_point daysAgo(double days);

// Gives the tree to the unprivileged user "nobody" (tests run as root in CI).
void giveToNobody(const std::filesystem::path& path);

// Runs `body` in a child process as "nobody" and returns its exit status; the body's own
// result is the exit status (0 = passed). Needed because root ignores permissions.
[[nodiscard]] int runAsNobody(const std::function<int()>& body);

[[nodiscard]] bool runningAsRoot();

// The names of the entries of `folder`, in listing order.
[[nodiscard]] std::vector<std::string> namesIn(const std::filesystem::path& folder);

// How many descriptors this process has open.
[[nodiscard]] std::size_t openDescriptors();

// How many regular files lie anywhere below `folder`; a missing folder has none.
[[nodiscard]] std::size_t filesBelow(const std::filesystem::path& folder);
