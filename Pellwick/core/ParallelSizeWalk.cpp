#include "core/ParallelSizeWalk.h"

#include "core/SaturatingAdd.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"

#include <dirent.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace ParallelSizeWalk {
namespace {

// Small trees are not worth a thread: sharing starts after this many entries.
constexpr std::int64_t entriesBeforeSharing = 2000;

struct Subtree {
    UniqueFd fd;
    int depth = 0;
};

class Pool {
public:
    Pool(dev_t device, unsigned threads) : device_(device), threads_(threads) {}

    ~Pool() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        wake_.notify_all();
        for (auto& helper : helpers_)
            helper.join();
    }

    // Takes the subtree when a thread can walk it now; the caller walks it otherwise.
    bool offer(int fd, int depth, std::int64_t seenByCaller) {
        if (threads_ < 2 || seenByCaller < entriesBeforeSharing)
            return false;
        std::lock_guard lock(mutex_);
        if (queue_.size() >= threads_)
            return false;
        // Without a helper (no thread could start) the caller walks the subtree itself.
        if (helpers_.empty() && !startHelpers())
            return false;
        queue_.emplace_back(); // may throw, before the descriptor is taken
        queue_.back() = Subtree{UniqueFd(fd), depth};
        wake_.notify_one();
        return true;
    }

    void add(std::int64_t bytes) {
        std::lock_guard lock(mutex_);
        total_ = saturatingAdd(total_, bytes);
    }

    // The calling thread helps until every shared subtree is done.
    std::int64_t finish() {
        work(false);
        std::lock_guard lock(mutex_);
        return total_;
    }

    void walkSubtree(int fd, int depth);

private:
    bool startHelpers() {
        try {
            for (unsigned i = 1; i < threads_; ++i)
                helpers_.emplace_back([this] { work(true); });
        } catch (const std::system_error&) {
        }
        return !helpers_.empty();
    }

    void work(bool helper) {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock,
                       [&] { return !queue_.empty() || finished_ || (!helper && busy_ == 0); });
            if (queue_.empty()) {
                if (finished_ || (!helper && busy_ == 0))
                    return;
                continue;
            }
            Subtree subtree = std::move(queue_.front());
            queue_.pop_front();
            ++busy_;
            lock.unlock();
            try {
                walkSubtree(subtree.fd.get(), subtree.depth);
            } catch (...) {
                // A subtree that cannot be walked adds nothing, as an unreadable one does; an
                // exception must not end a helper thread (and with it the program).
            }
            subtree.fd.reset();
            lock.lock();
            --busy_;
            if (busy_ == 0 && queue_.empty())
                wake_.notify_all();
        }
    }

    dev_t device_;
    unsigned threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Subtree> queue_;
    std::vector<std::thread> helpers_;
    unsigned busy_ = 0;
    bool finished_ = false;
    std::int64_t total_ = 0;
};

class SizeVisitor : public TreeWalker::Visitor {
public:
    explicit SizeVisitor(Pool& pool) : pool_(pool) {}

    bool wantsStat(const TreeWalker::Entry& entry) override { return entry.type == DT_REG; }

    bool visit(const TreeWalker::Entry& entry, const struct stat* status) override {
        ++seen_;
        if (entry.type == DT_REG && status)
            total_ = saturatingAdd(total_, allocatedBytes(status->st_blocks));
        return entry.type == DT_DIR;
    }

    bool adopt(int fd, int depth) override { return pool_.offer(fd, depth, seen_); }

    [[nodiscard]] std::int64_t total() const { return total_; }

private:
    Pool& pool_;
    std::int64_t seen_ = 0;
    std::int64_t total_ = 0;
};

void Pool::walkSubtree(int fd, int depth) {
    SizeVisitor visitor(*this);
    TreeWalker::walk(fd, visitor, depth, device_);
    add(visitor.total());
}

} // namespace

std::int64_t sumBelow(int folderFd, dev_t device, unsigned threads) {
    Pool pool(device, std::max(1u, threads));
    pool.walkSubtree(folderFd, 0);
    return pool.finish();
}

unsigned defaultThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

} // namespace ParallelSizeWalk
